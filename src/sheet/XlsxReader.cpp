#include "sheet/XlsxReader.h"

#include <string_view>

#include "sheet/SheetError.h"
#include "sheet/XlsxArchive.h"
#include "sheet/XlsxRelationships.h"
#include "sheet/XlsxSharedStrings.h"
#include "sheet/XlsxSheetParser.h"
#include "sheet/XlsxStyles.h"
#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {

namespace {

// workbook.xml: the 1904 date system flag and the sheets in workbook order.
class WorkbookHandler : public XlsxXmlHandler {
 public:
  void startElement(std::string_view name, const char** attributes) override {
    if (name == "workbookPr") {
      const char* flag = xmlAttribute(attributes, "date1904");
      if (flag != nullptr) {
        std::string_view value = flag;
        date1904 = value == "1" || value == "true";
      }
    } else if (name == "sheets") {
      m_inSheets = true;
    } else if (name == "sheet" && m_inSheets) {
      // r:id, in whichever relationships namespace the file uses.
      const char* id = xmlAttribute(attributes, "id");
      sheetIds.emplace_back(id != nullptr ? id : "");
    }
  }
  void endElement(std::string_view name) override {
    if (name == "sheets") m_inSheets = false;
  }
  void characters(std::string_view) override {}

  bool date1904 = false;
  std::vector<std::string> sheetIds;

 private:
  bool m_inSheets = false;
};

// An OpenDocument spreadsheet is a zip too; say so rather than "no workbook".
void refuseOpenDocument(XlsxArchive& archive) {
  if (!archive.contains("mimetype")) return;
  std::string mimetype = archive.readSmall("mimetype", 4096);
  if (mimetype.starts_with("application/vnd.oasis.opendocument")) {
    throw SheetError(archive.fileName() + ": an OpenDocument file (" + mimetype +
                     "), not an .xlsx workbook");
  }
}

std::string officeDocumentPart(XlsxArchive& archive) {
  XlsxRelationships packageRels = XlsxRelationships::read(archive, "");
  const XlsxRelationships::Relationship* main = packageRels.byKind("officeDocument");
  std::string part = main != nullptr ? main->target : "xl/workbook.xml";
  if (!archive.contains(part)) {
    refuseOpenDocument(archive);
    throw SheetError(archive.fileName() + ": the package holds no workbook (" + part +
                     " is missing); not an .xlsx workbook");
  }
  return part;
}

}  // namespace

SheetData readXlsx(std::span<const unsigned char> bytes, const std::string& name,
                   const XlsxArchive::Limits& limits) {
  XlsxArchive archive(bytes, name, limits);
  std::string workbookPart = officeDocumentPart(archive);

  WorkbookHandler workbook;
  readXmlPart(archive, workbookPart, workbook);
  XlsxRelationships rels = XlsxRelationships::read(archive, workbookPart);

  // The first worksheet in workbook order, whatever sheet was active when
  // the file was saved; chart sheets and macro sheets are not worksheets.
  const XlsxRelationships::Relationship* sheetRel = nullptr;
  for (const std::string& id : workbook.sheetIds) {
    const XlsxRelationships::Relationship* rel = rels.byId(id);
    if (rel == nullptr) {
      std::string message = name;
      message += ": the workbook lists a sheet whose relationship \"";
      message += id;
      message += "\" is missing";
      throw SheetError(message);
    }
    if (!rel->external && XlsxRelationships::isKind(*rel, "worksheet")) {
      sheetRel = rel;
      break;
    }
  }
  if (sheetRel == nullptr) throw SheetError(name + ": the workbook holds no worksheet");
  if (!archive.contains(sheetRel->target)) {
    throw SheetError(name + ": the worksheet part " + sheetRel->target + " is missing");
  }

  SheetData sheet(SheetData::kXlsxMaxRows, SheetData::kXlsxMaxCols);
  sheet.setDate1904(workbook.date1904);

  XlsxStyles styles;
  if (const auto* rel = rels.byKind("styles"); rel != nullptr && archive.contains(rel->target)) {
    styles = XlsxStyles::read(archive, rel->target);
  }
  std::uint32_t sharedStrings = 0;
  if (const auto* rel = rels.byKind("sharedStrings");
      rel != nullptr && archive.contains(rel->target)) {
    sharedStrings = XlsxSharedStrings::read(archive, rel->target, sheet);
  }

  XlsxSheetParser cells(sheet, styles, sharedStrings, name);
  readXmlPart(archive, sheetRel->target, cells);
  sheet.finish();
  return sheet;
}

}  // namespace vip::sheet
