#pragma once

#include <exception>
#include <span>
#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace vip::sheet {

class XlsxArchive;

// What a part's reader does with the elements it meets. Names arrive with any
// namespace prefix removed, so the transitional and the Strict vocabularies
// read alike; attributes come as expat gives them (name, value, ..., nullptr).
class XlsxXmlHandler {
 public:
  virtual ~XlsxXmlHandler() = default;
  virtual void startElement(std::string_view name, const char** attributes) = 0;
  virtual void endElement(std::string_view name) = 0;
  virtual void characters(std::string_view text) = 0;
};

// The local part of a qualified name: "x:c" -> "c", "c" -> "c".
std::string_view xmlLocalName(const char* qualified);
// The value of the attribute whose local name is `name`, or nullptr.
const char* xmlAttribute(const char** attributes, std::string_view name);

// A streaming XML parser (expat) over one part of the package. Document type
// declarations and entity declarations are refused outright: a workbook part
// never needs them, and they are how entity-expansion bombs and external
// entity reads get in. Errors throw SheetError naming the file and the part;
// an exception thrown by the handler stops the parse and is passed on as is.
class XlsxXmlParser {
 public:
  XlsxXmlParser(XlsxXmlHandler& handler, std::string fileName, std::string partName);
  ~XlsxXmlParser();
  XlsxXmlParser(XlsxXmlParser&&) = delete;
  XlsxXmlParser(const XlsxXmlParser&) = delete;
  XlsxXmlParser& operator=(const XlsxXmlParser&) = delete;

  void feed(std::span<const char> chunk);
  void finish();

 private:
  void parse(const char* data, int length, bool last);
  [[noreturn]] void fail();
  XML_ParserStruct* m_parser;
  XlsxXmlHandler& m_handler;
  std::string m_fileName;
  std::string m_partName;
  std::string m_refusal;              // why a declaration handler stopped the parse
  std::exception_ptr m_handlerError;  // what a handler threw, rethrown by feed()

  friend struct XlsxXmlCallbacks;
};

// Streams one part of the package through a fresh parser into `handler`.
void readXmlPart(XlsxArchive& archive, const std::string& part, XlsxXmlHandler& handler);

}  // namespace vip::sheet
