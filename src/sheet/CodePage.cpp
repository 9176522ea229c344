#include "sheet/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "sheet/SheetError.h"

namespace vip::sheet {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// iconv's name for a Windows code page number as workbooks record it.
std::string iconvName(std::uint16_t id) {
  switch (id) {
    case 367:
      return "ASCII";
    case 1200:
      return "UTF-16LE";
    case 10000:
    case 32768:  // Apple Roman, as older writers record it
      return "MACINTOSH";
    case 32769:
      return "CP1252";
    default:
      return "CP" + std::to_string(id);
  }
}

}  // namespace

CodePage::CodePage(std::uint16_t id) : m_id(id) {}

CodePage::~CodePage() {
  if (m_converter) iconv_close(static_cast<iconv_t>(m_converter));
}

void CodePage::select(std::uint16_t id) {
  if (id == m_id) return;
  if (m_converter) iconv_close(static_cast<iconv_t>(m_converter));
  m_converter = nullptr;
  m_id = id;
}

void CodePage::openConverter() {
  const iconv_t converter = iconv_open("UTF-8", iconvName(m_id).c_str());
  if (converter == kNoConverter)
    throw SheetError("the workbook's text is in code page " + std::to_string(m_id) +
                     ", which this system cannot convert");
  m_converter = converter;
}

void CodePage::appendUtf8(std::span<const unsigned char> bytes, std::string& out) {
  bool ascii = m_id != 1200;
  for (std::size_t i = 0; i < bytes.size() && ascii; ++i)
    ascii = bytes[i] < 0x80;
  if (ascii) {
    out.append(bytes.begin(), bytes.end());
    return;
  }
  if (!m_converter) openConverter();
  const auto converter = static_cast<iconv_t>(m_converter);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);

  // UTF-8 takes at most 3 bytes for each byte of a code page text (4 for
  // each pair of UTF-16 bytes), so one buffer of that size always suffices.
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 3 + 4);
  // iconv's interface takes a non-const input pointer that it never writes through.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t inLeft = bytes.size();
  char* dest = out.data() + start;
  std::size_t destLeft = out.size() - start;
  const std::size_t result = iconv(converter, &in, &inLeft, &dest, &destLeft);
  const int error = errno;
  if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
    out.resize(start);
    throw SheetError(std::string("a text is not valid in the workbook's code page ") +
                     std::to_string(m_id) +
                     (error == EINVAL ? " (it ends inside a character)" : ""));
  }
  out.resize(out.size() - destLeft);
}

}  // namespace vip::sheet
