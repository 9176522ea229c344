// The PostgreSQL server the test programs share under CTest:
//   vip_pg_fixture start FILE   starts one and describes it in FILE
//   vip_pg_fixture stop FILE    stops the server FILE describes
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "PgServer.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
    std::fputs("usage: vip_pg_fixture start|stop FILE\n", stderr);
    return 2;
  }
  std::string failure;
  // A start that found no server left nothing to stop.
  if (std::strcmp(argv[1], "stop") == 0 && !std::filesystem::exists(argv[2])) return 0;
  const bool start = std::strcmp(argv[1], "start") == 0;
  const bool done = start ? vip::test::PgServer::startDetached(argv[2], failure)
                          : vip::test::PgServer::stopDetached(argv[2], failure);
  if (done) return 0;
  std::fprintf(stderr, "vip_pg_fixture %s: %s\n", argv[1], failure.c_str());
  // Without CI the PostgreSQL tests skip themselves when there is no server.
  return start && std::getenv("CI") == nullptr ? 0 : 1;
}
