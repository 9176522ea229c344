#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {

// A streaming reader for the UTF-8 XML of package parts, several times
// faster than a general parser on the large worksheets that writers produce
// (hundreds of MB of small elements). It accepts well-formed XML without a
// document type declaration: elements, attributes, character and predefined
// entity references, CDATA sections, comments and processing instructions;
// it checks tag nesting and UTF-8, and refuses anything else with a reason.
// Chunks are scanned as they come; only an unfinished token is carried over.
class XlsxXmlScanner {
 public:
  // One piece of markup (a tag, comment, CDATA section) may not be longer.
  static constexpr std::size_t kMaxToken = 16u << 20;

  explicit XlsxXmlScanner(XlsxXmlHandler& handler) : m_handler(handler) {}

  // Both throw XlsxXmlScanner::Malformed with the reason and the byte offset;
  // exceptions from the handler pass through unchanged.
  void feed(std::span<const char> chunk);
  void finish();

  struct Malformed {
    std::string reason;
    std::uint64_t offset;
  };

 private:
  // Each returns false when the token is not complete in the buffer yet.
  bool scanText(std::size_t& pos, bool last);
  bool scanMarkup(std::size_t& pos);
  bool scanStartTag(std::size_t& pos);
  bool scanEndTag(std::size_t& pos);
  void scan(bool last);
  [[noreturn]] void fail(const std::string& reason, std::size_t pos) const;
  // Decodes references and checks UTF-8 in [begin, end) of the buffer,
  // in place; returns the new end.
  std::size_t decode(std::size_t begin, std::size_t end, bool attribute);
  void pushElement(std::size_t nameBegin, std::size_t nameEnd);

  XlsxXmlHandler& m_handler;
  std::string m_buffer;          // bytes not consumed yet
  std::uint64_t m_consumed = 0;  // bytes dropped from the front of the buffer
  std::string m_names;           // the open elements' names, back to back
  std::vector<std::uint32_t> m_nameStarts;
  std::vector<const char*> m_attributes;
  std::vector<std::size_t> m_attributeOffsets;
  bool m_rootSeen = false;
  bool m_started = false;
};

}  // namespace vip::sheet
