#pragma once

#include <string>

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
  // A member workbook of `count` members, card numbers "C<n>" from 1.
  std::string members(int count);
  const std::string& folder() const { return m_folder; }

 private:
  std::string m_folder;
  std::string m_categories;
};

}  // namespace vip::test
