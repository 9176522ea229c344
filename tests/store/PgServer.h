#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdlib>
#include <string>

namespace vip::test {

// A loopback port nothing listens on, 0 when none could be had: bound, not
// listening, then closed. The test server listens there; a connect to it is
// refused.
int freeLoopbackPort();

// A throw-away PostgreSQL server for the tests of one test program: a fresh
// cluster in a temporary folder, listening on 127.0.0.1 at a free port (and a
// unix socket inside the folder). It starts on first use and stops when the
// program exits; if the program dies, the server is told to quit as well.
// As root the cluster runs as "nobody", since PostgreSQL refuses root.
class PgServer {
 public:
  // The server, started on the first call. Never throws: a server that could
  // not start reports why through failure().
  static PgServer& instance();

  bool running() const { return m_pid > 0; }
  const std::string& failure() const { return m_failure; }
  int port() const { return m_port; }
  // "PostgreSQL 15.5 at 127.0.0.1:PORT".
  std::string description() const;

  // Creates an empty database (dropping one of that name first) and returns
  // the program's connection string for it. Fails the test on error.
  std::string createDatabase(const std::string& name);
  // The program's connection string (Provider=MSDASQL; PostgreSQL Unicode).
  std::string connectionString(const std::string& database) const;
  // The same, as ODBC takes it.
  std::string odbcConnectionString(const std::string& database) const;

  // For fault tests: stop the server (fast shutdown) and start it again on
  // the same cluster and port. restart() returns false with failure() set.
  void stop();
  bool restart();

  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

 private:
  PgServer();
  ~PgServer();

  bool initCluster();
  bool startPostmaster();
  bool waitUntilReady();
  std::string logTail() const;

  std::string m_binDir;
  std::string m_root;  // temporary folder: data/, the socket, the logs
  std::string m_version;
  std::string m_failure;
  int m_port = 0;
  pid_t m_pid = -1;
  pid_t m_owner = -1;
};

}  // namespace vip::test

// Opens a test that needs the server: in CI (environment variable CI set) a
// server that cannot start fails the test; elsewhere the test is skipped.
#define VIP_REQUIRE_POSTGRES()                                                    \
  do {                                                                            \
    auto& vipPg_ = ::vip::test::PgServer::instance();                             \
    if (!vipPg_.running()) {                                                      \
      if (std::getenv("CI") != nullptr) {                                         \
        FAIL() << "PostgreSQL test server unavailable: " << vipPg_.failure();     \
      }                                                                           \
      GTEST_SKIP() << "PostgreSQL test server unavailable: " << vipPg_.failure(); \
    }                                                                             \
  } while (false)
