#include "sheet/CodePage.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

constexpr std::uint16_t kUtf16 = 1200;

// Code page numbers whose iconv name is not simply "CP<number>". The Mac
// pages carry the names iconv gives them; glibc lacks a few of them (Greek,
// Turkish, Croatian, ...), which then refuse the workbook by name.
constexpr std::pair<std::uint16_t, std::string_view> kNames[] = {
    {367, "ASCII"},        {708, "ISO-8859-6"},  // Arabic ASMO 708
    {1200, "UTF-16LE"},    {1361, "JOHAB"},
    {10000, "MACINTOSH"},  // Mac Roman
    {10001, "SHIFT_JIS"},  // Mac Japanese
    {10002, "BIG5"},       // Mac Chinese (traditional)
    {10003, "EUC-KR"},     // Mac Korean
    {10004, "MACARABIC"},  {10005, "MACHEBREW"},
    {10006, "MACGREEK"},   {10007, "MAC-CYRILLIC"},
    {10008, "GB2312"},                         // Mac Chinese (simplified)
    {10010, "MACROMANIA"}, {10017, "MAC-UK"},  // Mac Ukrainian
    {10021, "MACTHAI"},    {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},  // Mac Icelandic
    {10081, "MACTURKISH"}, {10082, "MACCROATIAN"},
    {20127, "ASCII"},      {20866, "KOI8-R"},
    {20932, "EUC-JP"},     {21010, "UTF-16LE"},  // Unicode, as some Mac versions of Excel record it
    {21866, "KOI8-U"},     {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"}, {28595, "ISO-8859-5"},
    {28597, "ISO-8859-7"}, {28605, "ISO-8859-15"},
    {32768, "MACINTOSH"},  // Mac Roman, as older writers record it
    {32769, "CP1252"},     // Windows Latin 1, likewise
    {51949, "EUC-KR"},     {54936, "GB18030"},
    {65000, "UTF-7"},      {65001, "UTF-8"},
};

}  // namespace

std::string codePageName(std::uint16_t id) {
  const auto found = std::find_if(std::begin(kNames), std::end(kNames),
                                  [id](const auto& entry) { return entry.first == id; });
  if (found != std::end(kNames)) return std::string(found->second);
  return "CP" + std::to_string(id);
}

void CodePage::select(std::uint16_t id) {
  if (id == m_id) return;
  m_converter.reset();
  m_id = id;
}

void CodePage::appendUtf8(std::span<const unsigned char> bytes, std::string& out) {
  bool ascii = m_id != kUtf16;
  for (std::size_t i = 0; i < bytes.size() && ascii; ++i)
    ascii = bytes[i] < 0x80;
  if (ascii) {
    out.append(bytes.begin(), bytes.end());
    return;
  }
  if (!m_converter) {
    auto converter = std::make_unique<Iconv>("UTF-8", codePageName(m_id).c_str());
    if (!converter->isOpen())
      throw SheetError("the workbook's text is in code page " + std::to_string(m_id) +
                       ", which this system cannot convert");
    m_converter = std::move(converter);
  }
  // UTF-8 takes at most 3 bytes for each byte of a code page text (4 for
  // each pair of UTF-16 bytes), so one buffer of that size always suffices.
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 3 + 4);
  const std::span<const char> in(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const Iconv::Result result = m_converter->convert(in, std::span<char>(out).subspan(start));
  if (result.status != Iconv::Status::Done) {
    out.resize(start);
    throw SheetError(
        std::string("a text is not valid in the workbook's code page ") + std::to_string(m_id) +
        (result.status == Iconv::Status::Incomplete ? " (it ends inside a character)" : ""));
  }
  out.resize(start + result.written);
}

}  // namespace vip::sheet
