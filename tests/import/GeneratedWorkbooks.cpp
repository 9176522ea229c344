#include "import/GeneratedWorkbooks.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "sheet/XlsxWriter.h"

namespace vip::test {

GeneratedWorkbooks::GeneratedWorkbooks() {
  char folder[] = "/tmp/vipimport-books-XXXXXX";
  if (::mkdtemp(folder) != nullptr) m_folder = folder;
  m_categories = m_folder + "/categories.xlsx";
  sheet::XlsxWriter writer(m_categories);
  writer.addRow({"类别编号", "类别名称"});
  writer.addRow({"01", "金卡"});
  writer.addRow({"02", "银卡"});
  writer.close();
}

GeneratedWorkbooks::~GeneratedWorkbooks() {
  std::error_code ec;
  if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
}

std::vector<std::string> GeneratedWorkbooks::memberTitles() {
  return {"类别编号", "会员卡ID", "会员卡号", "姓名",     "性别",    "手机号码",
          "创建日期", "到期日期", "总余额",   "本金余额", "赠送余额"};
}

std::vector<std::string> GeneratedWorkbooks::member(const std::string& cardNo,
                                                    const std::string& principal,
                                                    const std::string& gift) {
  return {"01",         "ID" + cardNo, cardNo,    "会员" + cardNo, "男", "13800000000",
          "2024-01-01", "2030-12-31",  principal, principal,       gift};
}

std::string GeneratedWorkbooks::write(const std::string& name,
                                      const std::vector<std::vector<std::string>>& rows) {
  const std::string path = m_folder + "/" + name;
  sheet::XlsxWriter writer(path);
  for (const auto& row : rows)
    writer.addRow(row);
  writer.close();
  return path;
}

std::string GeneratedWorkbooks::members(int count, const std::string& prefix) {
  const std::string path = m_folder + "/members" + prefix + std::to_string(count) + ".xlsx";
  sheet::XlsxWriter writer(path);
  writer.addRow(memberTitles());
  for (int n = 1; n <= count; ++n) {
    const std::string number = std::to_string(n);
    writer.addRow({n % 2 == 0 ? "02" : "01", "ID" + prefix + number, prefix + number,
                   "会员" + number, n % 3 == 0 ? "女" : "男", "1380000" + number, "2024-01-01",
                   "2030-12-31", "150", "100", "50"});
  }
  writer.close();
  return path;
}

}  // namespace vip::test
