#pragma once

#include <string>
#include <vector>

namespace vip::test {

// Workbooks made for a test, in a folder of their own that goes with the
// object: a category workbook of two categories, and member workbooks of any
// length whose every member has a principal and a gift balance (so every
// row writes a member and two entries).
class GeneratedWorkbooks {
 public:
  GeneratedWorkbooks();
  ~GeneratedWorkbooks();
  GeneratedWorkbooks(const GeneratedWorkbooks&) = delete;
  GeneratedWorkbooks& operator=(const GeneratedWorkbooks&) = delete;

  const std::string& categories() const { return m_categories; }
  // A member workbook of `count` members, card numbers "C<n>" from 1 (with
  // `prefix` before the n), each with a principal of 100 and a gift of 50.
  std::string members(int count, const std::string& prefix = "C");
  // A workbook of these rows (the first one the titles) named `name`.
  std::string write(const std::string& name, const std::vector<std::vector<std::string>>& rows);
  // The titles of the member workbook, and one member row of them.
  static std::vector<std::string> memberTitles();
  static std::vector<std::string> member(const std::string& cardNo, const std::string& principal,
                                         const std::string& gift = "0");
  const std::string& folder() const { return m_folder; }

 private:
  std::string m_folder;
  std::string m_categories;
};

}  // namespace vip::test
