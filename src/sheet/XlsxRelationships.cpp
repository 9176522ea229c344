#include "sheet/XlsxRelationships.h"

#include "sheet/XlsxArchive.h"
#include "sheet/XlsxXmlParser.h"

namespace vip::sheet {

namespace {

std::string relsPartOf(const std::string& sourcePart) {
  std::size_t slash = sourcePart.rfind('/');
  std::string folder = slash == std::string::npos ? "" : sourcePart.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? sourcePart : sourcePart.substr(slash + 1);
  return folder + "_rels/" + file + ".rels";
}

class RelationshipsHandler : public XlsxXmlHandler {
 public:
  RelationshipsHandler(std::vector<XlsxRelationships::Relationship>& rels, std::string sourcePart)
      : m_rels(rels), m_sourcePart(std::move(sourcePart)) {}

  void startElement(std::string_view name, const char** attributes) override {
    if (name != "Relationship") return;
    const char* id = xmlAttribute(attributes, "Id");
    const char* type = xmlAttribute(attributes, "Type");
    const char* target = xmlAttribute(attributes, "Target");
    const char* mode = xmlAttribute(attributes, "TargetMode");
    if (id == nullptr || type == nullptr || target == nullptr) return;
    XlsxRelationships::Relationship rel;
    rel.id = id;
    rel.type = type;
    rel.external = mode != nullptr && std::string_view(mode) == "External";
    rel.target = rel.external ? target : XlsxRelationships::resolve(m_sourcePart, target);
    m_rels.push_back(std::move(rel));
  }
  void endElement(std::string_view) override {}
  void characters(std::string_view) override {}

 private:
  std::vector<XlsxRelationships::Relationship>& m_rels;
  std::string m_sourcePart;
};

}  // namespace

XlsxRelationships XlsxRelationships::read(XlsxArchive& archive, const std::string& sourcePart) {
  XlsxRelationships result;
  std::string relsPart = relsPartOf(sourcePart);
  if (!archive.contains(relsPart)) return result;
  RelationshipsHandler handler(result.m_rels, sourcePart);
  readXmlPart(archive, relsPart, handler);
  return result;
}

const XlsxRelationships::Relationship* XlsxRelationships::byId(std::string_view id) const {
  for (const Relationship& rel : m_rels) {
    if (rel.id == id) return &rel;
  }
  return nullptr;
}

bool XlsxRelationships::isKind(const Relationship& rel, std::string_view kind) {
  std::string_view type = rel.type;
  return type.size() > kind.size() && type.ends_with(kind) &&
         type[type.size() - kind.size() - 1] == '/';
}

const XlsxRelationships::Relationship* XlsxRelationships::byKind(std::string_view kind) const {
  for (const Relationship& rel : m_rels) {
    if (!rel.external && isKind(rel, kind)) return &rel;
  }
  return nullptr;
}

std::string XlsxRelationships::resolve(const std::string& sourcePart, std::string_view target) {
  std::vector<std::string_view> segments;
  std::string folder;
  if (target.starts_with('/')) {
    target.remove_prefix(1);
  } else {
    std::size_t slash = sourcePart.rfind('/');
    if (slash != std::string::npos) folder = sourcePart.substr(0, slash);
  }
  auto push = [&segments](std::string_view path) {
    while (!path.empty()) {
      std::size_t slash = path.find('/');
      std::string_view segment = path.substr(0, slash);
      if (segment == "..") {
        if (!segments.empty()) segments.pop_back();
      } else if (!segment.empty() && segment != ".") {
        segments.push_back(segment);
      }
      if (slash == std::string_view::npos) break;
      path.remove_prefix(slash + 1);
    }
  };
  push(folder);
  push(target);
  std::string result;
  for (std::string_view segment : segments) {
    if (!result.empty()) result += '/';
    result += segment;
  }
  return result;
}

}  // namespace vip::sheet
