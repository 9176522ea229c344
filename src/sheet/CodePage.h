#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/Iconv.h"

namespace vip::sheet {

// iconv's name for a code page number as a CODEPAGE record gives it: the
// Windows, DOS and Mac pages Excel writes, through one table; a number the
// table lacks is tried as "CP<number>".
std::string codePageName(std::uint16_t id);

// The 8-bit code page that a BIFF2-7 workbook's strings are written in (its
// CODEPAGE record), turned into UTF-8 through iconv. A byte sequence the code
// page does not define refuses the text rather than replacing a character.
class CodePage {
 public:
  static constexpr std::uint16_t kWindowsLatin1 = 1252;

  explicit CodePage(std::uint16_t id = kWindowsLatin1) : m_id(id) {}

  std::uint16_t id() const { return m_id; }
  // Switches to another code page, as a CODEPAGE record says.
  void select(std::uint16_t id);
  void appendUtf8(std::span<const unsigned char> bytes, std::string& out);

 private:
  std::uint16_t m_id;
  std::unique_ptr<Iconv> m_converter;  // opened at the first non-ASCII text
};

}  // namespace vip::sheet
