#include "sheet/XlsxStyles.h"

#include "sheet/NumberFormat.h"
#include "sheet/XlsxValues.h"
#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {

namespace {

// Formats are collected first and the cell formats classified at the end:
// <numFmts> comes before <cellXfs> in every writer's output, but nothing
// forces it.
class StylesHandler : public XlsxXmlHandler {
 public:
  void startElement(std::string_view name, const char** attributes) override {
    if (name == "numFmts") {
      m_inNumFmts = true;
    } else if (name == "cellXfs") {
      m_inCellXfs = true;
    } else if (name == "numFmt" && m_inNumFmts) {
      const char* id = xmlAttribute(attributes, "numFmtId");
      const char* code = xmlAttribute(attributes, "formatCode");
      auto number = id ? XlsxValues::index(id) : std::nullopt;
      if (number && code != nullptr) m_formats.define(*number, code);
    } else if (name == "xf" && m_inCellXfs) {
      const char* id = xmlAttribute(attributes, "numFmtId");
      auto number = id ? XlsxValues::index(id) : std::nullopt;
      m_xfFormats.push_back(number.value_or(0));
    }
  }
  void endElement(std::string_view name) override {
    if (name == "numFmts") m_inNumFmts = false;
    if (name == "cellXfs") m_inCellXfs = false;
  }
  void characters(std::string_view) override {}

  std::vector<NumberStyle> styles() const {
    std::vector<NumberStyle> result;
    result.reserve(m_xfFormats.size());
    for (std::uint32_t id : m_xfFormats)
      result.push_back(m_formats.classify(id));
    return result;
  }

 private:
  bool m_inNumFmts = false;
  bool m_inCellXfs = false;
  NumberFormatTable m_formats;
  std::vector<std::uint32_t> m_xfFormats;
};

}  // namespace

XlsxStyles XlsxStyles::read(XlsxArchive& archive, const std::string& part) {
  StylesHandler handler;
  readXmlPart(archive, part, handler);
  XlsxStyles result;
  result.m_styles = handler.styles();
  return result;
}

}  // namespace vip::sheet
