#include "store/TextLength.h"

#include "common/Iconv.h"
#include "common/Utf8.h"

namespace vip::store {
namespace {

// One converter per thread: an iconv descriptor keeps state and must not be
// shared between threads.
class GbkMeter {
 public:
  // Bytes of one well-formed non-ASCII UTF-8 character in GBK; 1 where GBK
  // has no such character (the store keeps a '?').
  std::size_t bytesOf(std::string_view utf8Char) {
    if (!m_converter.isOpen()) return 2;
    char out[8];
    const Iconv::Result result = m_converter.convert(utf8Char, out);
    if (result.status != Iconv::Status::Done) return 1;
    return result.written;
  }

 private:
  Iconv m_converter{"GBK", "UTF-8"};
};

GbkMeter& gbkMeter() {
  thread_local GbkMeter meter;
  return meter;
}

std::size_t unitsOf(std::string_view text, std::size_t pos, const Utf8Char& ch, LengthUnit unit) {
  if (!ch.valid) return 1;
  switch (unit) {
    case LengthUnit::GbkBytes:
      return ch.codePoint < 0x80 ? 1 : gbkMeter().bytesOf(text.substr(pos, ch.length));
    case LengthUnit::Utf16Units:
      return ch.codePoint >= 0x10000 ? 2 : 1;
    case LengthUnit::Characters:
      return 1;
  }
  return 1;
}

}  // namespace

std::size_t textLength(std::string_view text, LengthUnit unit) {
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char ch = decodeUtf8(text, pos);
    length += unitsOf(text, pos, ch, unit);
    pos += ch.length;
  }
  return length;
}

std::string_view fittingPrefix(std::string_view text, std::size_t limit, LengthUnit unit,
                               bool& cut) {
  cut = false;
  // Every unit counts a character as at most its UTF-8 bytes, so a text no
  // longer in bytes than the limit always fits.
  if (text.size() <= limit) return text;
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Char ch = decodeUtf8(text, pos);
    length += unitsOf(text, pos, ch, unit);
    if (length > limit) {
      cut = true;
      return text.substr(0, pos);
    }
    pos += ch.length;
  }
  return text;
}

}  // namespace vip::store
