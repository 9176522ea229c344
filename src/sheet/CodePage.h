#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vip::sheet {

// The 8-bit code page that a BIFF5/7 workbook's strings are written in (its
// CODEPAGE record), turned into UTF-8 through iconv. A byte sequence the code
// page does not define refuses the text rather than replacing a character.
class CodePage {
 public:
  static constexpr std::uint16_t kWindowsLatin1 = 1252;

  explicit CodePage(std::uint16_t id = kWindowsLatin1);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  std::uint16_t id() const { return m_id; }
  // Switches to another code page, as a CODEPAGE record says.
  void select(std::uint16_t id);
  void appendUtf8(std::span<const unsigned char> bytes, std::string& out);

 private:
  void openConverter();

  std::uint16_t m_id;
  void* m_converter = nullptr;  // iconv_t, opened at the first non-ASCII text
};

}  // namespace vip::sheet
