#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sheet/SheetError.h"
#include "sheet/Workbook.h"

namespace vip::sheet {
namespace {

using Bytes = std::vector<unsigned char>;

std::string fixture(const std::string& name) {
  return std::string(VIP_FIXTURES) + "/sheet/xls/" + name;
}

Bytes load(const std::string& name) {
  std::ifstream in(fixture(name), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The whole sheet as text, errors marked, for comparing two reads.
std::string dump(const Workbook& workbook) {
  std::string out =
      std::to_string(workbook.rowCount()) + "x" + std::to_string(workbook.colCount()) + "\n";
  for (int row = 1; row <= workbook.rowCount(); ++row)
    for (const Cell& cell : workbook.rowCells(row)) {
      out += std::to_string(row) + "," + std::to_string(cell.col) + "=";
      try {
        out += workbook.cellText(cell);
      } catch (const SheetError&) {
        out += "#ERROR";
      }
      out += "\n";
    }
  return out;
}

// Opening fails with one line that names the file and says why, quickly.
TEST(XlsHostile, DamagedFilesAreRefusedWithAClearReason) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"hostile_empty.xls", "empty"},
      {"hostile_csv_renamed.xls", "not an Excel workbook"},
      {"hostile_random_after_signature.xls", "damaged compound file"},
      {"hostile_truncated_file.xls", "past the end of the file"},
      {"hostile_truncated_stream.xls", "truncated"},
      {"hostile_record_overrun.xls", "truncated"},
      {"hostile_fat_cycle.xls", "cycle"},
      {"hostile_directory_cycle.xls", "cycle"},
      {"hostile_sector_out_of_range.xls", "sector 16777200"},
      {"hostile_huge_stream_size.xls", "declares 2147483632 bytes"},
      {"hostile_fat_count.xls", "5000000 FAT sectors"},
      {"hostile_sst_index_past_end.xls", "shared string 5"},
      {"hostile_sst_string_overrun.xls", "shared string table is truncated"},
      {"hostile_column_out_of_range.xls", "column 301"},
      {"hostile_sheet_offset.xls", "past the end of the workbook stream"},
      {"hostile_encrypted.xls", "encrypted"},
      {"hostile_encrypted_ooxml.xlsx", "encrypted (saved with a password)"},
      {"biff4_workbook.xls", "an Excel 4.0 workbook"},
      {"hostile_no_workbook_stream.xls", "no workbook stream"},
      {"hostile_no_worksheet.xls", "no worksheet"},
      {"no_such_file.xls", "cannot open"},
  };
  for (const auto& [name, reason] : cases) {
    const auto start = std::chrono::steady_clock::now();
    try {
      Workbook::open(fixture(name));
      ADD_FAILURE() << name << " opened";
    } catch (const SheetError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(fixture(name) + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(reason), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << name;
  }
}

// Messages say where in the workbook stream the reader stopped and how many
// bytes it needed there.
TEST(XlsHostile, TruncatedRecordsNameTheirStreamOffset) {
  const auto refusal = [](const Bytes& bytes) {
    try {
      Workbook::fromBytes(bytes, "cut.xls");
    } catch (const SheetError& error) {
      return std::string(error.what());
    }
    return std::string("opened");
  };
  // A bare BIFF2 stream: BOF (8 bytes), then a NUMBER record whose value is
  // cut to 5 of its 8 bytes, its data at offset 12.
  Bytes number = {0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00, 0x03, 0x00, 0x0C, 0x00,
                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 1,    2,    3,    4,    5};
  EXPECT_EQ(refusal(number),
            "cut.xls: a NUMBER record is truncated: 8 bytes needed at offset 19, 5 left");
  // A BIFF8 LABEL whose text needs 4 bytes where 3 are left.
  Bytes label = load("crafted_empty_label.xls");
  const unsigned char before[] = {0x04, 0x02, 0x0F, 0x00};  // LABEL "before": 15 bytes
  const auto at = std::search(label.begin(), label.end(), std::begin(before), std::end(before));
  ASSERT_NE(at, label.end());
  const auto recordOffset = static_cast<std::size_t>(at - label.begin());
  label[recordOffset + 10] = 9;  // claims 9 characters where 6 are
  const std::string message = refusal(label);
  EXPECT_NE(message.find("a text cell is truncated: 3 more bytes needed at offset "),
            std::string::npos)
      << message;
}

TEST(XlsHostile, SharedStringCountThatLiesIsNotTrusted) {
  // The table claims 4,294,967,295 strings and holds two: the two are read
  // and nothing is allocated for the rest.
  const auto workbook = Workbook::open(fixture("hostile_sst_count_lies.xls"));
  EXPECT_EQ(workbook->cellText(1, 1), "b");
}

void putU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

TEST(XlsHostile, DifatChainThatLoops) {
  // 300 sectors; the header asks for 250 FAT sectors, 109 listed in the
  // header and the rest in a DIFAT sector that names itself as the next.
  Bytes file(512 * 301, 0);
  const unsigned char signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(signature), std::end(signature), file.begin());
  file[26] = 0x03;  // major version 3
  file[28] = 0xFE;
  file[29] = 0xFF;  // byte order
  file[30] = 9;     // 512-byte sectors
  file[32] = 6;     // 64-byte mini sectors
  putU32(file, 44, 250);
  putU32(file, 56, 4096);
  putU32(file, 68, 1);  // first DIFAT sector
  putU32(file, 72, 2);
  for (std::size_t i = 0; i < 109; ++i)
    putU32(file, 76 + 4 * i, 2);
  const std::size_t difat = 2 * 512;  // sector 1
  for (std::size_t i = 0; i < 127; ++i)
    putU32(file, difat + 4 * i, 2);
  putU32(file, difat + 4 * 127, 1);
  try {
    Workbook::fromBytes(file, "loop.xls");
    FAIL() << "opened";
  } catch (const SheetError& error) {
    EXPECT_NE(std::string(error.what()).find("DIFAT chain runs in a cycle"), std::string::npos)
        << error.what();
  }
}

// A MULRK or MULBLANK record whose last column is not its first plus its
// cells is refused, not read as a shorter or longer run.
TEST(XlsHostile, MultipleCellRecordWithAWrongLastColumn) {
  const Bytes whole = load("crafted_mulrk.xls");
  const struct {
    unsigned char type;
    std::size_t cellSize;
    const char* reason;
  } cases[] = {
      {0xBD, 6, "a MULRK record's last column does not match its cells"},
      {0xBE, 2, "a MULBLANK record's last column does not match its cells"},
  };
  const auto u16At = [](const Bytes& bytes, std::size_t at) -> std::size_t {
    return static_cast<std::size_t>(bytes[at] | bytes[at + 1] << 8);
  };
  for (const auto& c : cases) {
    // The first record of the type whose front and end agree: its last
    // column goes one further.
    Bytes damaged = whole;
    bool found = false;
    for (std::size_t at = 0; !found && at + 10 <= damaged.size(); ++at) {
      if (damaged[at] != c.type || damaged[at + 1] != 0) continue;
      const std::size_t length = u16At(damaged, at + 2);
      if (length < 6 || (length - 6) % c.cellSize != 0 || at + 4 + length > damaged.size())
        continue;
      const std::size_t lastAt = at + 4 + length - 2;
      if (u16At(damaged, lastAt) != u16At(damaged, at + 6) + (length - 6) / c.cellSize - 1)
        continue;
      damaged[lastAt] = static_cast<unsigned char>(damaged[lastAt] + 1);
      found = true;
    }
    ASSERT_TRUE(found) << c.reason;
    try {
      Workbook::fromBytes(damaged, "crafted_mulrk.xls");
      ADD_FAILURE() << "opened without " << c.reason;
    } catch (const SheetError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
  }
}

// A file cut anywhere is refused, or, where only the padding after the
// data was lost, gives exactly the whole workbook: never a part of it.
TEST(XlsHostile, EveryTruncationIsRefusedOrComplete) {
  for (const char* name : {"xlwt_values.xls", "crafted_formulas.xls", "crafted_biff5_cp936.xls",
                           "xlwt_short_last_sector.xls", "biff4_worksheet.xls"}) {
    const Bytes whole = load(name);
    const std::string expected = dump(*Workbook::fromBytes(whole, name));
    for (std::size_t size = 0; size < whole.size(); ++size) {
      const std::span<const unsigned char> part(whole.data(), size);
      try {
        const auto workbook = Workbook::fromBytes(part, name);
        ASSERT_EQ(dump(*workbook), expected) << name << " cut at " << size;
      } catch (const SheetError&) {
      }
    }
  }
}

// Every single damaged byte gives a SheetError or a workbook, never a crash
// (the sanitizer build checks the reads).
TEST(XlsHostile, EveryDamagedByteIsHandled) {
  for (const char* name : {"crafted_formulas.xls", "crafted_sst_split.xls", "crafted_mulrk.xls",
                           "biff2_worksheet.xls", "biff3_worksheet.xls"}) {
    const Bytes whole = load(name);
    for (std::size_t i = 0; i < whole.size(); ++i) {
      for (const int mask : {0xFF, 0x80, 0x01}) {
        Bytes damaged = whole;
        damaged[i] = static_cast<unsigned char>(damaged[i] ^ mask);
        try {
          const auto workbook = Workbook::fromBytes(damaged, name);
          dump(*workbook);
        } catch (const SheetError&) {
        }
      }
    }
  }
}

}  // namespace
}  // namespace vip::sheet
