#include "sheet/XlsxSharedStrings.h"

#include "sheet/SheetData.h"
#include "sheet/SheetError.h"
#include "sheet/XlsxArchive.h"
#include "sheet/XlsxValues.h"
#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {

namespace {

// <si> holds either one <t> or rich-text runs <r><t>; their texts are joined.
// Phonetic guides (<rPh><t>) are reading aids, not part of the string.
class SharedStringsHandler : public XlsxXmlHandler {
 public:
  SharedStringsHandler(SheetData& sheet, const std::string& fileName)
      : m_sheet(sheet), m_fileName(fileName) {}

  void startElement(std::string_view name, const char**) override {
    if (name == "si") {
      m_inItem = true;
      m_text.clear();
    } else if (name == "rPh") {
      ++m_phonetic;
    } else if (name == "t" && m_inItem && m_phonetic == 0) {
      m_inText = true;
    }
  }

  void endElement(std::string_view name) override {
    if (name == "t") {
      m_inText = false;
    } else if (name == "rPh") {
      if (m_phonetic > 0) --m_phonetic;
    } else if (name == "si" && m_inItem) {
      m_inItem = false;
      if (m_count >= XlsxSharedStrings::kMaxStrings) {
        throw SheetError(m_fileName + ": the shared string table holds more than " +
                         std::to_string(XlsxSharedStrings::kMaxStrings) + " strings");
      }
      XlsxValues::decodeEscapes(m_text);
      m_sheet.addString(m_text);
      ++m_count;
    }
  }

  void characters(std::string_view text) override {
    if (m_inText) m_text.append(text);
  }

  std::uint32_t count() const { return m_count; }

 private:
  SheetData& m_sheet;
  const std::string& m_fileName;
  std::string m_text;
  std::uint32_t m_count = 0;
  int m_phonetic = 0;
  bool m_inItem = false;
  bool m_inText = false;
};

}  // namespace

std::uint32_t XlsxSharedStrings::read(XlsxArchive& archive, const std::string& part,
                                      SheetData& sheet) {
  SharedStringsHandler handler(sheet, archive.fileName());
  readXmlPart(archive, part, handler);
  return handler.count();
}

}  // namespace vip::sheet
