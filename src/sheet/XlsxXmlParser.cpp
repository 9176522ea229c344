#include "sheet/XlsxXmlParser.h"

#include <expat.h>

#include <climits>
#include <cstring>

#include "sheet/SheetError.h"
#include "sheet/XlsxArchive.h"

namespace vip::sheet {

std::string_view xmlLocalName(const char* qualified) {
  const char* colon = std::strrchr(qualified, ':');
  return colon ? std::string_view(colon + 1) : std::string_view(qualified);
}

const char* xmlAttribute(const char** attributes, std::string_view name) {
  for (const char** a = attributes; a[0] != nullptr; a += 2) {
    if (xmlLocalName(a[0]) == name) return a[1];
  }
  return nullptr;
}

// The C callbacks: no exception may cross expat's frames, so a handler's
// exception is kept and the parser stopped.
struct XlsxXmlCallbacks {
  static XlsxXmlParser& self(void* data) { return *static_cast<XlsxXmlParser*>(data); }

  static void stop(XlsxXmlParser& parser) {
    parser.m_handlerError = std::current_exception();
    XML_StopParser(parser.m_parser, XML_FALSE);
  }

  static void start(void* data, const XML_Char* name, const XML_Char** attributes) {
    XlsxXmlParser& parser = self(data);
    try {
      parser.m_handler.startElement(xmlLocalName(name), attributes);
    } catch (...) {
      stop(parser);
    }
  }

  static void end(void* data, const XML_Char* name) {
    XlsxXmlParser& parser = self(data);
    try {
      parser.m_handler.endElement(xmlLocalName(name));
    } catch (...) {
      stop(parser);
    }
  }

  static void text(void* data, const XML_Char* chars, int length) {
    XlsxXmlParser& parser = self(data);
    try {
      parser.m_handler.characters(std::string_view(chars, static_cast<std::size_t>(length)));
    } catch (...) {
      stop(parser);
    }
  }

  static void refuse(XlsxXmlParser& parser, const char* what) {
    if (parser.m_refusal.empty()) parser.m_refusal = what;
    XML_StopParser(parser.m_parser, XML_FALSE);
  }

  static void doctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    refuse(self(data), "holds a document type declaration, which workbooks never use");
  }

  static void entity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                     const XML_Char*, const XML_Char*, const XML_Char*) {
    refuse(self(data), "declares an entity, which workbooks never use");
  }

  static int externalEntity(XML_Parser parser, const XML_Char*, const XML_Char*, const XML_Char*,
                            const XML_Char*) {
    refuse(self(XML_GetUserData(parser)), "refers to an external entity");
    return XML_STATUS_ERROR;
  }
};

XlsxXmlParser::XlsxXmlParser(XlsxXmlHandler& handler, std::string fileName, std::string partName)
    : m_parser(XML_ParserCreate(nullptr)),
      m_handler(handler),
      m_fileName(std::move(fileName)),
      m_partName(std::move(partName)) {
  if (m_parser == nullptr) throw SheetError(m_fileName + ": out of memory for the XML parser");
  XML_SetUserData(m_parser, this);
  XML_SetElementHandler(m_parser, XlsxXmlCallbacks::start, XlsxXmlCallbacks::end);
  XML_SetCharacterDataHandler(m_parser, XlsxXmlCallbacks::text);
  XML_SetStartDoctypeDeclHandler(m_parser, XlsxXmlCallbacks::doctype);
  XML_SetEntityDeclHandler(m_parser, XlsxXmlCallbacks::entity);
  XML_SetExternalEntityRefHandler(m_parser, XlsxXmlCallbacks::externalEntity);
  XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

XlsxXmlParser::~XlsxXmlParser() {
  XML_ParserFree(m_parser);
}

void XlsxXmlParser::feed(std::span<const char> chunk) {
  // expat takes int lengths; the archive hands out far smaller chunks, but a
  // caller's span is split all the same.
  while (chunk.size() > INT_MAX / 2) {
    parse(chunk.data(), INT_MAX / 2, false);
    chunk = chunk.subspan(INT_MAX / 2);
  }
  parse(chunk.data(), static_cast<int>(chunk.size()), false);
}

void XlsxXmlParser::finish() {
  parse(nullptr, 0, true);
}

void XlsxXmlParser::parse(const char* data, int length, bool last) {
  if (XML_Parse(m_parser, data, length, last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) fail();
}

void XlsxXmlParser::fail() {
  if (m_handlerError) std::rethrow_exception(m_handlerError);
  std::string where =
      m_partName + " (line " + std::to_string(XML_GetCurrentLineNumber(m_parser)) + ")";
  if (!m_refusal.empty()) throw SheetError(m_fileName + ": the part " + where + " " + m_refusal);
  throw SheetError(m_fileName + ": malformed XML in " + where + ": " +
                   XML_ErrorString(XML_GetErrorCode(m_parser)));
}

void readXmlPart(XlsxArchive& archive, const std::string& part, XlsxXmlHandler& handler) {
  XlsxXmlParser parser(handler, archive.fileName(), part);
  archive.read(part, [&](std::span<const char> chunk) { parser.feed(chunk); });
  parser.finish();
}

}  // namespace vip::sheet
