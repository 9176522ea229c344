#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct DumpRun {
  int status = -1;
  std::vector<std::string> out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `vipimport-cli dump ARGS` with stdout and stderr captured in files.
DumpRun dump(const std::string& args) {
  const std::string base = ::testing::TempDir() + "dump_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string command = std::string("'") + VIP_CLI + "' dump " + args + " >'" + base +
                              ".out' 2>'" + base + ".err' </dev/null";
  const int raw = std::system(command.c_str());
  DumpRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::istringstream lines(slurp(base + ".out"));
  for (std::string line; std::getline(lines, line);)
    run.out.push_back(line);
  run.err = slurp(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return run;
}

std::string fixture(const std::string& name) {
  return "'" + std::string(VIP_FIXTURES) + "/sheet/xls/" + name + "'";
}

TEST(DumpCommand, WritesTheCountsThenOneArrayPerRow) {
  const DumpRun run = dump(fixture("xlwt_used_range_b3_d10.xls"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(run.out.size(), 11u);
  EXPECT_EQ(run.out[0], "{\"rows\": 10, \"cols\": 4}");
  EXPECT_EQ(run.out[1], "[\"\",\"\",\"\",\"\"]");
  EXPECT_EQ(run.out[3], "[\"\",\"B3\",\"\",\"\"]");
  EXPECT_EQ(run.out[6], "[\"\",\"\",\"42\",\"\"]");
  EXPECT_EQ(run.out[10], "[\"\",\"\",\"\",\"D10\"]");
}

TEST(DumpCommand, EscapesTextAndShowsFailedCells) {
  const DumpRun run = dump(fixture("xlwt_values.xls"));
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.out.size(), 24u);
  EXPECT_EQ(run.out[0], "{\"rows\": 23, \"cols\": 2}");
  EXPECT_EQ(run.out[9], "[\"chinese\",\"会员卡 VIP\"]");
  EXPECT_EQ(run.out[20], "[\"escapes\",\"quote \\\" backslash \\\\ tab\\u0009 line\\u000aend\"]");
  EXPECT_EQ(run.out[23],
            "[\"error\",{\"error\": \"Could not convert variant of type (Error) into type "
            "(String)\"}]");
}

TEST(DumpCommand, ExitStatuses) {
  const DumpRun missing = dump("'/nonexistent/members.xls'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_EQ(missing.err.rfind("/nonexistent/members.xls: ", 0), 0u) << missing.err;

  const DumpRun damaged = dump(fixture("hostile_fat_cycle.xls"));
  EXPECT_EQ(damaged.status, 1);
  EXPECT_TRUE(damaged.out.empty());
  EXPECT_NE(damaged.err.find("cycle"), std::string::npos) << damaged.err;

  for (const char* usage : {"", "a.xls b.xls", "--bogus"}) {
    const DumpRun run = dump(usage);
    EXPECT_EQ(run.status, 2) << usage;
    EXPECT_TRUE(run.out.empty()) << usage;
    EXPECT_NE(run.err.find("usage: vipimport-cli dump WORKBOOK"), std::string::npos) << usage;
  }

  const DumpRun help = dump("--help");
  EXPECT_EQ(help.status, 0);
  ASSERT_FALSE(help.out.empty());
  EXPECT_EQ(help.out[0], "usage: vipimport-cli dump WORKBOOK");
}

}  // namespace
