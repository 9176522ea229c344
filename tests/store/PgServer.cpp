#include "PgServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace vip::test {
namespace {

constexpr const char* kUser = "vip";
// Only for the throw-away cluster; host connections need it.
constexpr const char* kPassword = "pgtest-Zq81";

std::string findBinDir() {
  if (const char* env = std::getenv("VIP_PG_BIN")) return env;
  std::string best;
  int bestVersion = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const int version = std::atoi(entry.path().filename().c_str());
    if (version > bestVersion && fs::exists(entry.path() / "bin" / "postgres")) {
      bestVersion = version;
      best = (entry.path() / "bin").string();
    }
  }
  return best;
}

struct Account {
  bool switchUser = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

// PostgreSQL refuses to run as root: as root, run it as "nobody".
Account serverAccount() {
  Account account;
  if (::geteuid() != 0) return account;
  const passwd* pw = ::getpwnam("nobody");
  if (pw == nullptr) return account;
  account.switchUser = true;
  account.uid = pw->pw_uid;
  account.gid = pw->pw_gid;
  if (const group* gr = ::getgrnam("nogroup")) account.gid = gr->gr_gid;
  return account;
}

// Forks and execs `argv` as the server account with output to `logPath`.
// With `dieWithParent` the child gets SIGQUIT (immediate shutdown) when this
// program ends without stopping it.
pid_t spawn(const std::vector<std::string>& argv, const std::string& logPath,
            const Account& account, bool dieWithParent) {
  std::vector<char*> args;
  for (const auto& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) return -1;
  if (account.switchUser && ::fchown(log, account.uid, account.gid) != 0) {
    ::close(log);
    return -1;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(log, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
    const int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
    if (account.switchUser) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 ||
          ::setuid(account.uid) != 0) {
        ::_exit(126);
      }
    }
    // Set after the change of user, which clears it.
    if (dieWithParent) {
      ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
      if (::getppid() != parent) ::_exit(1);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(log);
  return pid;
}

// Waits up to `timeout` for `pid`; true when it exited (status in `status`).
bool waitFor(pid_t pid, std::chrono::milliseconds timeout, int& status) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || r < 0) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A minimal ODBC session for the helper's own statements.
class AdminSession {
 public:
  explicit AdminSession(const std::string& odbc) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
    SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
    std::vector<SQLCHAR> text(odbc.begin(), odbc.end());
    text.push_back(0);
    const SQLRETURN rc = SQLDriverConnect(m_dbc, nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT);
    m_connected = SQL_SUCCEEDED(rc);
    if (!m_connected) m_error = diagnostics(SQL_HANDLE_DBC, m_dbc);
  }
  ~AdminSession() {
    if (m_connected) SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
  }
  AdminSession(const AdminSession&) = delete;
  AdminSession& operator=(const AdminSession&) = delete;

  bool connected() const { return m_connected; }
  const std::string& error() const { return m_error; }

  // Runs `sql`; returns the first column of the first row ("" if none).
  bool run(const std::string& sql, std::string& firstValue) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
    std::vector<SQLCHAR> text(sql.begin(), sql.end());
    text.push_back(0);
    SQLRETURN rc = SQLExecDirect(stmt, text.data(), SQL_NTS);
    bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    firstValue.clear();
    if (!ok) {
      m_error = diagnostics(SQL_HANDLE_STMT, stmt);
    } else {
      SQLSMALLINT columns = 0;
      SQLNumResultCols(stmt, &columns);
      if (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
        char buffer[256] = {};
        SQLLEN indicator = 0;
        if (SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator)) &&
            indicator >= 0) {
          firstValue = buffer;
        }
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
  }

 private:
  static std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string all;
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; SQL_SUCCEEDED(
             SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length));
         ++i) {
      if (!all.empty()) all += " ";
      all += reinterpret_cast<const char*>(message);
    }
    return all;
  }

  SQLHENV m_env = SQL_NULL_HENV;
  SQLHDBC m_dbc = SQL_NULL_HDBC;
  bool m_connected = false;
  std::string m_error;
};

// Folders of test servers whose program was killed (its server then quits
// with it, but the folder stays): older than ten minutes and without a
// running postmaster.
void removeAbandonedClusters() {
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator("/tmp", ec)) {
    if (entry.path().filename().string().rfind("vip-pg-", 0) != 0) continue;
    const auto modified = fs::last_write_time(entry.path(), ec);
    if (ec || now - modified < std::chrono::minutes(10)) continue;
    std::ifstream pidFile(entry.path() / "data" / "postmaster.pid");
    long pid = 0;
    if (pidFile >> pid && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
      continue;
    }
    fs::remove_all(entry.path(), ec);
  }
}

}  // namespace

int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

PgServer& PgServer::instance() {
  if (const char* shared = std::getenv("VIP_PG_SHARED"); shared != nullptr && *shared != 0) {
    static PgServer server{std::string(shared)};
    return server;
  }
  static PgServer server(Lifetime::WithProgram);
  return server;
}

PgServer& PgServer::isolated() {
  if (std::getenv("VIP_PG_SHARED") == nullptr) return instance();
  static PgServer server(Lifetime::WithProgram);
  return server;
}

PgServer::PgServer(const std::string& describedIn) : m_owner(::getpid()), m_attached(true) {
  std::ifstream in(describedIn);
  long pid = 0;
  if (!(in >> m_port >> pid >> m_root) || !std::getline(in >> std::ws, m_version) || m_port <= 0) {
    m_failure = "the shared test server is not described in " + describedIn;
    return;
  }
  m_pid = static_cast<pid_t>(pid);
  std::printf("PostgreSQL tests run against %s\n", description().c_str());
  std::fflush(stdout);
}

bool PgServer::startDetached(const std::string& describeIn, std::string& failure) {
  PgServer server(Lifetime::Detached);
  if (!server.running()) {
    failure = server.failure();
    return false;
  }
  std::ofstream out(describeIn);
  out << server.m_port << ' ' << server.m_pid << ' ' << server.m_root << ' ' << server.m_version
      << '\n';
  if (!out) {
    failure = "cannot write " + describeIn;
    return false;
  }
  std::printf("PostgreSQL tests run against %s\n", server.description().c_str());
  // The server stays up for the test programs; stopDetached() ends it.
  server.m_attached = true;
  return true;
}

bool PgServer::stopDetached(const std::string& describedIn, std::string& failure) {
  PgServer server{describedIn};
  if (!server.failure().empty()) {
    failure = server.failure();
    return false;
  }
  ::kill(server.m_pid, SIGINT);  // fast shutdown
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::kill(server.m_pid, 0) == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (::kill(server.m_pid, 0) == 0) ::kill(server.m_pid, SIGKILL);
  std::error_code ec;
  fs::remove_all(server.m_root, ec);
  fs::remove(describedIn, ec);
  return true;
}

PgServer::PgServer(Lifetime lifetime) : m_owner(::getpid()), m_lifetime(lifetime) {
  m_binDir = findBinDir();
  if (m_binDir.empty()) {
    m_failure = "no PostgreSQL server binaries under /usr/lib/postgresql (scripts/install-deps)";
    return;
  }
  removeAbandonedClusters();
  char pattern[] = "/tmp/vip-pg-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    m_failure = std::string("cannot create a temporary folder: ") + std::strerror(errno);
    return;
  }
  m_root = pattern;
  if (!initCluster() || !startPostmaster()) {
    stop();
    return;
  }
  std::printf("PostgreSQL tests run against %s\n", description().c_str());
  std::fflush(stdout);
}

PgServer::~PgServer() {
  // A forked child (a concurrency test's worker) must not stop the server,
  // nor may a program stop a server it only uses.
  if (::getpid() != m_owner || m_attached) return;
  stop();
  if (!m_root.empty()) {
    std::error_code ec;
    fs::remove_all(m_root, ec);
  }
}

std::string PgServer::description() const {
  return "PostgreSQL " + m_version + " at 127.0.0.1:" + std::to_string(m_port);
}

bool PgServer::initCluster() {
  const Account account = serverAccount();
  if (account.switchUser && ::chown(m_root.c_str(), account.uid, account.gid) != 0) {
    m_failure = "cannot hand " + m_root + " to the server account: " + std::strerror(errno);
    return false;
  }
  const std::string pwfile = m_root + "/pwfile";
  {
    std::ofstream out(pwfile);
    out << kPassword << "\n";
  }
  if (account.switchUser && ::chown(pwfile.c_str(), account.uid, account.gid) != 0) {
    m_failure = "cannot hand the password file to the server account";
    return false;
  }
  const pid_t pid = spawn({m_binDir + "/initdb", "-D", m_root + "/data", "-U", kUser,
                           "--pwfile=" + pwfile, "--auth-local=trust", "--auth-host=scram-sha-256",
                           "--encoding=UTF8", "--locale=C", "--no-sync"},
                          m_root + "/initdb.log", account, false);
  int status = 0;
  if (pid < 0 || !waitFor(pid, std::chrono::seconds(120), status) || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    if (pid > 0) ::kill(pid, SIGKILL);
    m_failure = m_binDir + "/initdb failed (status " + std::to_string(status) + "): " + logTail();
    return false;
  }
  fs::remove(pwfile);
  return true;
}

bool PgServer::startPostmaster() {
  const Account account = serverAccount();
  if (m_port == 0) m_port = freeLoopbackPort();
  if (m_port == 0) {
    m_failure = "no free port on 127.0.0.1";
    return false;
  }
  m_pid = spawn({m_binDir + "/postgres", "-D", m_root + "/data", "-p", std::to_string(m_port), "-k",
                 m_root, "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off", "-c",
                 "full_page_writes=off", "-c", "max_connections=60"},
                m_root + "/server.log", account, m_lifetime == Lifetime::WithProgram);
  if (m_pid < 0) {
    m_failure = "cannot start postgres";
    return false;
  }
  return waitUntilReady();
}

bool PgServer::waitUntilReady() {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::string lastError;
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      m_failure = "postgres exited at start: " + logTail();
      return false;
    }
    AdminSession session(odbcConnectionString("postgres"));
    if (session.connected()) {
      std::string version;
      if (session.run("SHOW server_version", version)) {
        m_version = version;
        return true;
      }
      lastError = session.error();
    } else {
      lastError = session.error();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  m_failure = "postgres did not accept connections: " + lastError + " " + logTail();
  return false;
}

void PgServer::stop() {
  if (m_pid <= 0 || m_attached) return;
  ::kill(m_pid, SIGINT);  // fast shutdown: clients are disconnected
  int status = 0;
  if (!waitFor(m_pid, std::chrono::seconds(30), status)) {
    ::kill(m_pid, SIGKILL);
    waitFor(m_pid, std::chrono::seconds(5), status);
  }
  m_pid = -1;
}

bool PgServer::restart() {
  stop();
  m_failure.clear();
  return startPostmaster();
}

std::string PgServer::logTail() const {
  std::string text;
  for (const char* name : {"/initdb.log", "/server.log"}) {
    std::ifstream in(m_root + name);
    std::stringstream buffer;
    buffer << in.rdbuf();
    text += buffer.str();
  }
  if (text.size() > 2000) text = "..." + text.substr(text.size() - 2000);
  return text;
}

std::string PgServer::odbcConnectionString(const std::string& database) const {
  return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(m_port) +
         ";Database=" + database + ";Uid=" + kUser + ";Pwd=" + kPassword + ";";
}

std::string PgServer::connectionString(const std::string& database) const {
  return "Provider=MSDASQL;Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=" +
         std::to_string(m_port) + ";Database=" + database + ";Uid=" + kUser + ";Pwd=" + kPassword;
}

std::string PgServer::createDatabase(const std::string& name) {
  AdminSession session(odbcConnectionString("postgres"));
  if (!session.connected()) {
    ADD_FAILURE() << "cannot reach the PostgreSQL test server: " << session.error();
    return {};
  }
  std::string ignored;
  if (!session.run("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)", ignored) ||
      !session.run("CREATE DATABASE " + name, ignored)) {
    ADD_FAILURE() << "cannot create database " << name << ": " << session.error();
    return {};
  }
  return connectionString(name);
}

}  // namespace vip::test
