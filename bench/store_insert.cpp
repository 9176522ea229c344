// The store side of a member import, without the workbook: reads the cell
// texts of the members from a TSV (the title row first, then one member per
// line, as the generator writes it) and does per member what the member phase
// does through the data layer: a serial number drawn by AssignAutoSerialNo,
// the member columns written as text, the record posted (committed by
// itself), then the principal ("C") and gift ("F") entries, each with its own
// serial number and its own commit. The raw libsqlite3 loop does the same
// statements with the same commits, so the two can be set side by side.
//
// Usage: store_insert --connect CONNSTR MEMBERS.tsv [--limit N]
// stdout: one summary line with the counts and rates.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/DateTime.h"
#include "store/BusinessDate.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/SerialNo.h"

namespace {

using vip::store::Query;

// Sheet titles and the member columns they feed, in the member table's order.
struct TitleColumn {
  std::string_view title;
  std::string_view column;
  std::string_view emptyDefault;
};
constexpr TitleColumn kMemberColumns[] = {
    {"类别编号", "VCT_No", ""},
    {"会员卡ID", "VCM_CardID", ""},
    {"会员卡号", "VCM_CardNo", ""},
    {"姓名", "VCM_GuestName", ""},
    {"性别", "VCM_Sex", "0"},
    {"手机号码", "VCM_MobileNo", ""},
    {"创建日期", "VCM_CreateDate", ""},
    {"到期日期", "VCM_EndDate", ""},
    {"总余额", "VCM_Balance", "0"},
    {"本金余额", "VCM_BalancePayed", "0"},
    {"赠送余额", "VCM_BalanceFree", "0"},
};

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> cells;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      cells.push_back(line.substr(start));
      return cells;
    }
    cells.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

std::string base64(std::string_view in) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(in[k]); };
  for (; i + 2 < in.size(); i += 3) {
    const unsigned v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  if (in.size() - i == 1) {
    const unsigned v = byte(i) << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += "==";
  } else if (in.size() - i == 2) {
    const unsigned v = byte(i) << 16 | byte(i + 1) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += '=';
  }
  return out;
}

// The total balance as "0.00" text; the benchmark's data holds cents only.
std::string twoDecimals(const std::string& text) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2Lf", std::strtold(text.c_str(), nullptr));
  return buffer;
}

struct Counts {
  std::uint64_t members = 0;
  std::uint64_t entries = 0;
  std::uint64_t failed = 0;
};

class MemberWriter {
 public:
  MemberWriter(vip::store::Connection& connection, std::string sysDate)
      : m_qryInsert(connection, "qryInsert"),
        m_qryDetail(connection, "qryDetail"),
        m_sysDate(std::move(sysDate)) {
    m_qryInsert.setSql(vip::store::Statement::selectEmpty("VipCardMaster"));
    m_qryInsert.open();
  }

  void setTitles(const std::vector<std::string_view>& titles) {
    m_columnOf.assign(titles.size(), nullptr);
    for (std::size_t c = 0; c < titles.size(); ++c) {
      for (const TitleColumn& entry : kMemberColumns) {
        if (entry.title == titles[c]) {
          m_columnOf[c] = &entry;
          break;
        }
      }
    }
  }

  // One member row; throws what the data layer throws, like the import's row.
  void writeMember(const std::vector<std::string_view>& cells, Counts& counts) {
    if (m_qryInsert.inInsertState()) m_qryInsert.cancel();
    m_qryInsert.append();
    vip::store::AssignAutoSerialNo("VIPCardMaster", "VCM_ID", &m_qryInsert);
    float principal = 0;
    float gift = 0;
    for (std::size_t c = 0; c < m_columnOf.size(); ++c) {
      const TitleColumn* entry = m_columnOf[c];
      if (entry == nullptr) continue;
      std::string text(c < cells.size() ? cells[c] : std::string_view());
      if (text.empty()) {
        text = entry->column == "VCM_CreateDate" ? vip::todayText() : entry->emptyDefault;
      }
      if (entry->column == "VCM_Sex") text = text == "女" ? "1" : "0";
      m_qryInsert.setText(entry->column, text);
      if (entry->column == "VCM_Balance") {
        m_qryInsert.setText("VCM_BalanceE", base64(twoDecimals(text)));
      } else if (entry->column == "VCM_BalancePayed") {
        principal = std::strtof(text.c_str(), nullptr);
      } else if (entry->column == "VCM_BalanceFree") {
        gift = std::strtof(text.c_str(), nullptr);
      }
    }
    const std::string memberNo = m_qryInsert.fieldAsText("VCM_ID");
    m_qryInsert.post();
    ++counts.members;
    if (principal > 0) {
      writeEntry(memberNo, "C", "初始化本金余额", principal, false);
      ++counts.entries;
    }
    if (gift > 0) {
      writeEntry(memberNo, "F", "初始化赠送余额", gift, true);
      ++counts.entries;
    }
  }

 private:
  void writeEntry(const std::string& memberNo, std::string_view flag, std::string_view descript,
                  float amount, bool withGiftColumns) {
    m_qryDetail.close();
    m_qryDetail.setSql(vip::store::Statement::selectEmpty("VIPCardDetail"));
    m_qryDetail.open();
    m_qryDetail.append();
    vip::store::AssignAutoSerialNo("VIPCardDetail", "VCD_ID", &m_qryDetail);
    m_qryDetail.setText("VCM_ID", memberNo);
    m_qryDetail.setText("VCD_Flag", flag);
    m_qryDetail.setText("VCD_SysDate", m_sysDate);
    m_qryDetail.setDateTime("VCD_DateTime", vip::localNow());
    m_qryDetail.setText("VCD_Descript", descript);
    m_qryDetail.setDouble("VCD_CRMoney", static_cast<double>(amount));
    m_qryDetail.setDouble("VCD_Balance", static_cast<double>(amount));
    m_qryDetail.setText("VCD_ClerkName", "系统");
    if (withGiftColumns) {
      m_qryDetail.setDouble("VCD_KaZengBalance", static_cast<double>(amount));
      m_qryDetail.setText("VCD_KaZengBeginDate", m_sysDate);
      m_qryDetail.setText("VCD_KaZengEndDate", "9999-12-31");
    }
    m_qryDetail.post();
  }

  Query m_qryInsert;
  Query m_qryDetail;
  std::string m_sysDate;
  std::vector<const TitleColumn*> m_columnOf;
};

int usage() {
  std::fprintf(stderr, "usage: store_insert --connect CONNSTR MEMBERS.tsv [--limit N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string connect;
  std::string tsvPath;
  std::uint64_t limit = UINT64_MAX;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--connect" && i + 1 < argc) {
      connect = argv[++i];
    } else if (arg == "--limit" && i + 1 < argc) {
      limit = std::strtoull(argv[++i], nullptr, 10);
    } else if (tsvPath.empty() && !arg.starts_with("-")) {
      tsvPath = arg;
    } else {
      return usage();
    }
  }
  if (connect.empty() || tsvPath.empty()) return usage();

  std::ifstream in(tsvPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: cannot be read\n", tsvPath.c_str());
    return 1;
  }
  std::string line;
  if (!std::getline(in, line)) {
    std::fprintf(stderr, "%s: no title row\n", tsvPath.c_str());
    return 1;
  }
  const std::string titleLine = line;

  try {
    vip::store::Connection connection;
    vip::store::Query qryTmp(connection, "qryTmp");
    std::string sysDate;
    const auto result = vip::store::connectStore(connection, qryTmp, connect, sysDate);
    if (!result.opened) {
      std::fprintf(stderr, "连接数据库失败!\n%s\n", result.reason.c_str());
      return 3;
    }
    MemberWriter writer(connection, sysDate);
    writer.setTitles(splitTabs(titleLine));

    Counts counts;
    const auto start = std::chrono::steady_clock::now();
    while (counts.members + counts.failed < limit && std::getline(in, line)) {
      try {
        writer.writeMember(splitTabs(line), counts);
      } catch (const std::exception& e) {
        if (++counts.failed <= 5) std::fprintf(stderr, "row failed: %s\n", e.what());
      }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double records = static_cast<double>(counts.members + counts.entries);
    std::printf(
        "members %llu entries %llu failed %llu seconds %.3f members/s %.0f "
        "allocations/s %.0f inserts/s %.0f\n",
        static_cast<unsigned long long>(counts.members),
        static_cast<unsigned long long>(counts.entries),
        static_cast<unsigned long long>(counts.failed), seconds,
        static_cast<double>(counts.members) / seconds, records / seconds, records / seconds);
    return counts.failed == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
