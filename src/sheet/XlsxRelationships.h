#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vip::sheet {

class XlsxArchive;

// The relationships of one package part (its "_rels/<name>.rels" part): which
// part each relationship id points at, by type.
class XlsxRelationships {
 public:
  struct Relationship {
    std::string id;
    std::string type;    // the full type URI, transitional or Strict
    std::string target;  // the resolved part name, without a leading "/"
    bool external = false;
  };

  // Reads the relationships of `sourcePart` ("" for the package itself); a
  // part without a relationships part has none.
  static XlsxRelationships read(XlsxArchive& archive, const std::string& sourcePart);

  const Relationship* byId(std::string_view id) const;
  // The first relationship whose type ends in "/<kind>", e.g. "officeDocument".
  const Relationship* byKind(std::string_view kind) const;
  static bool isKind(const Relationship& rel, std::string_view kind);

  // A target as written in a relationship, resolved against the folder of
  // `sourcePart`: "worksheets/sheet1.xml" from "xl/workbook.xml" gives
  // "xl/worksheets/sheet1.xml"; "/xl/x.xml" is absolute; ".." steps up.
  static std::string resolve(const std::string& sourcePart, std::string_view target);

 private:
  std::vector<Relationship> m_rels;
};

}  // namespace vip::sheet
