#include "common/Messages.h"

namespace vip {

std::string errorDisplayText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace vip

namespace vip {

namespace {

// Where a UTF-8 text may be cut at or before `at` without splitting a character.
std::size_t characterBoundary(std::string_view text, std::size_t at) {
  while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
    --at;
  return at;
}

}  // namespace

std::string messageText(std::string_view text, std::size_t limit) {
  const std::size_t kept = text.size() > limit ? characterBoundary(text, limit) : text.size();
  std::string out;
  out.reserve(kept + 16);
  for (const char c : text.substr(0, kept)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      out += ' ';
    } else if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  if (kept < text.size()) {
    out += "... (" + std::to_string(text.size() - kept) + " more bytes)";
  }
  return out;
}

}  // namespace vip
