#include "sheet/XlsxXmlScanner.h"

#include <cstring>
#include <string_view>

namespace vip::sheet {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters that end a name in a tag.
bool endsName(char c) {
  return isSpace(c) || c == '/' || c == '>' || c == '=';
}

// Characters that never belong to a name.
bool badInName(char c) {
  return c == '<' || c == '&' || c == '"' || c == '\'' || c == '\0';
}

// Length of the well-formed UTF-8 sequence at `p` (at most `left` bytes
// available), or 0.
std::size_t utf8Length(const unsigned char* p, std::size_t left) {
  const unsigned char c = p[0];
  auto cont = [&](std::size_t i, unsigned char lo, unsigned char hi) {
    return i < left && p[i] >= lo && p[i] <= hi;
  };
  if (c >= 0xC2 && c <= 0xDF) return cont(1, 0x80, 0xBF) ? 2 : 0;
  if (c == 0xE0) return cont(1, 0xA0, 0xBF) && cont(2, 0x80, 0xBF) ? 3 : 0;
  if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
    return cont(1, 0x80, 0xBF) && cont(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (c == 0xED) return cont(1, 0x80, 0x9F) && cont(2, 0x80, 0xBF) ? 3 : 0;
  if (c == 0xF0) return cont(1, 0x90, 0xBF) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) {
    return cont(1, 0x80, 0xBF) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF) ? 4 : 0;
  }
  if (c == 0xF4) return cont(1, 0x80, 0x8F) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF) ? 4 : 0;
  return 0;
}

bool isXmlChar(unsigned long cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

std::size_t putUtf8(char* out, unsigned long cp) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// The character a reference body (between "&" and ";") stands for, or 0.
unsigned long referenceValue(std::string_view name) {
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "amp") return '&';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return 0;
  const bool hex = name[1] == 'x';
  std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 7) return 0;
  unsigned long value = 0;
  for (char c : digits) {
    unsigned long digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned long>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned long>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned long>(c - 'A' + 10);
    } else {
      return 0;
    }
    value = value * (hex ? 16 : 10) + digit;
  }
  return isXmlChar(value) ? value : 0;
}

}  // namespace

void XlsxXmlScanner::fail(const std::string& reason, std::size_t pos) const {
  throw Malformed{reason, m_consumed + pos};
}

void XlsxXmlScanner::feed(std::span<const char> chunk) {
  m_buffer.append(chunk.data(), chunk.size());
  scan(false);
}

void XlsxXmlScanner::finish() {
  scan(true);
  if (!m_buffer.empty()) fail("the part ends inside markup", 0);
  if (!m_nameStarts.empty()) {
    fail("the part ends before the element <" + std::string(m_names.data() + m_nameStarts.back()) +
             "> is closed",
         0);
  }
  if (!m_rootSeen) fail("the part holds no element", 0);
}

void XlsxXmlScanner::scan(bool last) {
  std::size_t pos = 0;
  if (!m_started) {
    if (m_buffer.size() < 3 && !last) return;
    m_started = true;
    if (m_buffer.starts_with("\xEF\xBB\xBF")) pos = 3;  // byte order mark
  }
  while (pos < m_buffer.size()) {
    const bool complete = m_buffer[pos] == '<' ? scanMarkup(pos) : scanText(pos, last);
    if (!complete) break;
  }
  if (last && pos < m_buffer.size()) fail("the part ends inside markup", pos);
  if (pos > 0) {
    m_buffer.erase(0, pos);
    m_consumed += pos;
  }
}

bool XlsxXmlScanner::scanText(std::size_t& pos, bool last) {
  const char* data = m_buffer.data();
  const std::size_t size = m_buffer.size();
  const void* found = std::memchr(data + pos, '<', size - pos);
  std::size_t end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
  if (found == nullptr && !last) {
    // Wait for the rest unless the text is long; then hand out what cannot
    // be cut inside a character, a reference or a line end.
    if (size - pos < (1u << 20)) return false;
    while (end > pos && (static_cast<unsigned char>(data[end - 1]) & 0xC0) == 0x80)
      --end;
    if (end > pos && static_cast<unsigned char>(data[end - 1]) >= 0xC0) --end;
    // A reference is at most 12 bytes: look back that far for an open "&".
    for (std::size_t k = end; k > pos && end - k < 12; --k) {
      if (data[k - 1] == ';') break;
      if (data[k - 1] == '&') {
        end = k - 1;
        break;
      }
    }
    if (end > pos && data[end - 1] == '\r') --end;
    if (end == pos) return false;
  }
  if (m_nameStarts.empty()) {
    for (std::size_t i = pos; i < end; ++i) {
      if (!isSpace(data[i])) fail("text outside the document element", i);
    }
    pos = end;
    return true;
  }
  const std::size_t textEnd = decode(pos, end, false);
  m_handler.characters(std::string_view(m_buffer.data() + pos, textEnd - pos));
  pos = end;
  return true;
}

std::size_t XlsxXmlScanner::decode(std::size_t begin, std::size_t end, bool attribute) {
  char* b = m_buffer.data();
  std::size_t out = begin;
  std::size_t i = begin;
  while (i < end) {
    const auto c = static_cast<unsigned char>(b[i]);
    if (c >= 0x20 && c < 0x80 && c != '&') {
      b[out++] = static_cast<char>(c);
      ++i;
    } else if (c >= 0x80) {
      const std::size_t length = utf8Length(reinterpret_cast<unsigned char*>(b + i), end - i);
      if (length == 0) fail("a byte sequence that is not UTF-8", i);
      for (std::size_t k = 0; k < length; ++k)
        b[out++] = b[i++];
    } else if (c == '&') {
      const std::size_t limit = end - i < 12 ? end : i + 12;
      const void* semicolon = std::memchr(b + i + 1, ';', limit - i - 1);
      if (semicolon == nullptr) fail("a malformed or undefined entity reference", i);
      const auto close = static_cast<std::size_t>(static_cast<const char*>(semicolon) - b);
      const unsigned long value = referenceValue(std::string_view(b + i + 1, close - i - 1));
      if (value == 0) fail("a malformed or undefined entity reference", i);
      out += putUtf8(b + out, value);  // never longer than the reference
      i = close + 1;
    } else if (c == '\r') {
      // Line ends read as "\n" (a "\r" itself is written as a reference).
      b[out++] = attribute ? ' ' : '\n';
      ++i;
      if (i < end && b[i] == '\n') ++i;
    } else if (c == '\n' || c == '\t') {
      b[out++] = attribute ? ' ' : static_cast<char>(c);
      ++i;
    } else {
      fail("a control character that XML does not allow", i);
    }
  }
  return out;
}

bool XlsxXmlScanner::scanMarkup(std::size_t& pos) {
  const std::string_view rest(m_buffer.data() + pos, m_buffer.size() - pos);
  if (rest.size() < 2) return false;
  if (rest[1] == '/') return scanEndTag(pos);
  if (rest[1] != '?' && rest[1] != '!') return scanStartTag(pos);

  std::string_view closing;
  std::size_t skip = 2;
  if (rest[1] == '?') {
    closing = "?>";
  } else if (rest.starts_with("<!--")) {
    closing = "-->";
    skip = 4;
  } else if (rest.starts_with("<![CDATA[")) {
    closing = "]]>";
    skip = 9;
  } else if (rest.size() < 9) {
    return false;  // not enough to tell the kind yet
  } else if (rest.starts_with("<!DOCTYPE")) {
    fail("a document type declaration, which workbooks never use", pos);
  } else {
    fail("malformed markup after \"<!\"", pos);
  }
  const std::size_t close = rest.find(closing, skip);
  if (close == std::string_view::npos) {
    if (rest.size() > kMaxToken) fail("markup longer than 16 MiB", pos);
    return false;
  }
  if (skip == 9) {  // CDATA: its text is literal, only line ends and UTF-8 checked
    if (m_nameStarts.empty()) fail("a CDATA section outside the document element", pos);
    const std::size_t begin = pos + 9;
    const std::size_t end = pos + close;
    // References are not expanded in CDATA: check it by hand, then hand it out.
    char* b = m_buffer.data();
    std::size_t out = begin;
    for (std::size_t i = begin; i < end;) {
      const auto c = static_cast<unsigned char>(b[i]);
      if (c >= 0x80) {
        const std::size_t length = utf8Length(reinterpret_cast<unsigned char*>(b + i), end - i);
        if (length == 0) fail("a byte sequence that is not UTF-8", i);
        for (std::size_t k = 0; k < length; ++k)
          b[out++] = b[i++];
      } else if (c == '\r') {
        b[out++] = '\n';
        ++i;
        if (i < end && b[i] == '\n') ++i;
      } else if (c < 0x20 && c != '\n' && c != '\t') {
        fail("a control character that XML does not allow", i);
      } else {
        b[out++] = b[i++];
      }
    }
    m_handler.characters(std::string_view(b + begin, out - begin));
  }
  pos += close + closing.size();
  return true;
}

bool XlsxXmlScanner::scanStartTag(std::size_t& pos) {
  const char* b = m_buffer.data();
  const std::size_t size = m_buffer.size();
  auto incomplete = [&]() {
    if (size - pos > kMaxToken) fail("a tag longer than 16 MiB", pos);
    return false;
  };

  std::size_t p = pos + 1;
  const std::size_t nameBegin = p;
  while (p < size && !endsName(b[p])) {
    if (badInName(b[p])) fail("a malformed tag", p);
    ++p;
  }
  if (p == size) return incomplete();
  const std::size_t nameEnd = p;
  if (nameEnd == nameBegin) fail("a malformed tag", pos);

  m_attributeOffsets.clear();
  bool selfClosing = false;
  for (;;) {
    const std::size_t spaceBegin = p;
    while (p < size && isSpace(b[p]))
      ++p;
    if (p == size) return incomplete();
    if (b[p] == '>') break;
    if (b[p] == '/') {
      if (p + 1 == size) return incomplete();
      if (b[p + 1] != '>') fail("a malformed tag", p);
      selfClosing = true;
      ++p;
      break;
    }
    if (p == spaceBegin) fail("attributes not separated by a blank", p);
    const std::size_t attributeBegin = p;
    while (p < size && !endsName(b[p])) {
      if (badInName(b[p])) fail("a malformed attribute", p);
      ++p;
    }
    const std::size_t attributeEnd = p;
    while (p < size && isSpace(b[p]))
      ++p;
    if (p == size) return incomplete();
    if (b[p] != '=' || attributeEnd == attributeBegin) fail("a malformed attribute", p);
    ++p;
    while (p < size && isSpace(b[p]))
      ++p;
    if (p == size) return incomplete();
    const char quote = b[p];
    if (quote != '"' && quote != '\'') fail("an attribute value without quotes", p);
    const void* closing = std::memchr(b + p + 1, quote, size - p - 1);
    if (closing == nullptr) return incomplete();
    const std::size_t valueBegin = p + 1;
    const auto valueEnd = static_cast<std::size_t>(static_cast<const char*>(closing) - b);
    if (std::memchr(b + valueBegin, '<', valueEnd - valueBegin) != nullptr) {
      fail("\"<\" in an attribute value", valueBegin);
    }
    m_attributeOffsets.insert(m_attributeOffsets.end(),
                              {attributeBegin, attributeEnd, valueBegin, valueEnd});
    p = valueEnd + 1;
  }
  // p is at the closing '>'.
  if (m_nameStarts.empty() && m_rootSeen) fail("a second document element", pos);
  m_rootSeen = true;

  // The tag is whole: terminate the names and values in place.
  char* w = m_buffer.data();
  w[nameEnd] = '\0';
  m_attributes.clear();
  for (std::size_t i = 0; i < m_attributeOffsets.size(); i += 4) {
    w[m_attributeOffsets[i + 1]] = '\0';
    const std::size_t valueEnd = decode(m_attributeOffsets[i + 2], m_attributeOffsets[i + 3], true);
    w[valueEnd] = '\0';
    m_attributes.push_back(w + m_attributeOffsets[i]);
    m_attributes.push_back(w + m_attributeOffsets[i + 2]);
  }
  m_attributes.push_back(nullptr);

  std::string_view local(w + nameBegin, nameEnd - nameBegin);
  if (const std::size_t colon = local.rfind(':'); colon != std::string_view::npos) {
    local.remove_prefix(colon + 1);
  }
  m_handler.startElement(local, m_attributes.data());
  if (selfClosing) {
    m_handler.endElement(local);
  } else {
    pushElement(nameBegin, nameEnd);
  }
  pos = p + 1;
  return true;
}

void XlsxXmlScanner::pushElement(std::size_t nameBegin, std::size_t nameEnd) {
  m_nameStarts.push_back(static_cast<std::uint32_t>(m_names.size()));
  m_names.append(m_buffer, nameBegin, nameEnd - nameBegin);
  m_names.push_back('\0');
}

bool XlsxXmlScanner::scanEndTag(std::size_t& pos) {
  const char* b = m_buffer.data();
  const std::size_t size = m_buffer.size();
  std::size_t p = pos + 2;
  const std::size_t nameBegin = p;
  while (p < size && !endsName(b[p]))
    ++p;
  const std::size_t nameEnd = p;
  while (p < size && isSpace(b[p]))
    ++p;
  if (p == size) {
    if (size - pos > kMaxToken) fail("a tag longer than 16 MiB", pos);
    return false;
  }
  if (b[p] != '>' || nameEnd == nameBegin) fail("a malformed end tag", pos);
  if (m_nameStarts.empty()) fail("an end tag without its start tag", pos);
  const char* open = m_names.data() + m_nameStarts.back();
  const std::string_view name(b + nameBegin, nameEnd - nameBegin);
  if (name != std::string_view(open)) {
    fail("</" + std::string(name) + "> where </" + open + "> was due", pos);
  }
  m_handler.endElement(xmlLocalName(open));
  m_names.resize(m_nameStarts.back());
  m_nameStarts.pop_back();
  pos = p + 1;
  return true;
}

}  // namespace vip::sheet
