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

// A throw-away PostgreSQL server for the tests: a fresh cluster in a
// temporary folder, listening on 127.0.0.1 at a free port (and a unix socket
// inside the folder). As root the cluster runs as "nobody", since PostgreSQL
// refuses root.
//
// Under CTest the test programs share one server that a fixture starts
// before them and stops after them (vip_pg_fixture; the environment variable
// VIP_PG_SHARED names the file that describes it), so the tests can run one
// per process and in parallel. A program run by hand starts its own server
// on first use and stops it when it exits; if the program dies, the server
// is told to quit as well.
class PgServer {
 public:
  // The shared server, or this program's own. Never throws: a server that
  // could not start reports why through failure().
  static PgServer& instance();
  // A server of this program's own, for tests that stop it: the shared one
  // must stay up for the tests running beside them.
  static PgServer& isolated();

  // For the fixture: a new server that outlives this program, and the file
  // that tells the test programs about it. stopDetached() ends one.
  static bool startDetached(const std::string& describeIn, std::string& failure);
  static bool stopDetached(const std::string& describedIn, std::string& failure);

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
  enum class Lifetime { WithProgram, Detached };
  explicit PgServer(Lifetime lifetime);
  // Attaches to the server a file describes.
  explicit PgServer(const std::string& describedIn);
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
  Lifetime m_lifetime = Lifetime::WithProgram;
  bool m_attached = false;  // someone else's server: never stopped here
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
