// Holds every packet of one NFQUEUE queue for a fixed time, then accepts it:
// a link with a known latency for the store benchmarks on kernels without
// netem. One thread; packets leave in the order they came, none is dropped.
//
// usage: netdelay [--queue N] [--delay-us US] [--server-port PORT]
//
// Every packet waits the same time, so the packets waiting form a queue in
// the order of their deadlines: the oldest is always the next to leave.
// With --server-port, TCP packets are told apart by direction, and every
// burst of data towards the server that follows data from it (or opens a
// connection's talk) counts as one round trip: a request the client had to
// wait for.
//
// SIGUSR1 prints the counters on stdout (packets, data packets each way,
// round trips, the most packets held at once, netlink overruns, and how late
// after their due time packets left, mean and most); SIGTERM and SIGINT let
// every packet still held go at once, print the counters and end.

#include <arpa/inet.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::uint16_t queue = 0;
  std::chrono::microseconds delay{500};
  std::uint16_t serverPort = 0;
};

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Ports and payload length of an IPv4 TCP packet, from its first bytes.
struct Segment {
  std::uint16_t sourcePort = 0;
  std::uint16_t destinationPort = 0;
  std::size_t payloadBytes = 0;
};

std::uint16_t readBigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::optional<Segment> parseSegment(std::span<const std::uint8_t> packet) {
  constexpr std::uint8_t kTcp = 6;
  if (packet.size() < 20 || packet[0] >> 4 != 4 || packet[9] != kTcp) return std::nullopt;
  const std::size_t ipHeader = (packet[0] & 0x0fU) * 4U;
  const std::size_t total = readBigEndian16(packet, 2);
  if (packet.size() < ipHeader + 20) return std::nullopt;
  const auto tcp = packet.subspan(ipHeader);
  const std::size_t tcpHeader = (tcp[12] >> 4) * 4U;
  if (total < ipHeader + tcpHeader) return std::nullopt;
  return Segment{readBigEndian16(tcp, 0), readBigEndian16(tcp, 2), total - ipHeader - tcpHeader};
}

class Counters {
 public:
  explicit Counters(std::uint16_t serverPort) : m_serverPort(serverPort) {}

  void count(const std::optional<Segment>& segment) {
    ++m_packets;
    if (m_serverPort == 0 || !segment || segment->payloadBytes == 0) return;
    if (segment->destinationPort == m_serverPort) {
      ++m_toServer;
      auto& last = m_lastData[segment->sourcePort];
      if (last != Direction::ToServer) ++m_roundTrips;
      last = Direction::ToServer;
    } else if (segment->sourcePort == m_serverPort) {
      ++m_fromServer;
      m_lastData[segment->destinationPort] = Direction::FromServer;
    }
  }
  void noteWaiting(std::size_t waiting) {
    if (waiting > m_mostWaiting) m_mostWaiting = waiting;
  }
  void noteOverrun() { ++m_overruns; }
  // How long after its due time a packet left: the delayer's own lag.
  void noteLate(Clock::duration late) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(late).count();
    m_lateSum += static_cast<unsigned long long>(micros);
    if (micros > m_lateMost) m_lateMost = micros;
    ++m_released;
  }

  void print() const {
    std::printf(
        "packets %llu to_server %llu from_server %llu round_trips %llu most_waiting %zu "
        "overruns %llu late_us_mean %llu late_us_most %lld\n",
        m_packets, m_toServer, m_fromServer, m_roundTrips, m_mostWaiting, m_overruns,
        m_released ? m_lateSum / m_released : 0ULL, static_cast<long long>(m_lateMost));
    std::fflush(stdout);
  }

 private:
  enum class Direction : std::uint8_t { None, ToServer, FromServer };
  std::uint16_t m_serverPort;
  unsigned long long m_packets = 0, m_toServer = 0, m_fromServer = 0, m_roundTrips = 0;
  unsigned long long m_overruns = 0, m_released = 0, m_lateSum = 0;
  std::chrono::microseconds::rep m_lateMost = 0;
  std::size_t m_mostWaiting = 0;
  // The last data direction of each connection, by the client's port.
  std::array<Direction, 65536> m_lastData{};
};

// Signals arrive as readable data on a descriptor polled beside the queue's.
class SignalReader {
 public:
  SignalReader() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGUSR1})
      sigaddset(&set, signal);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) fail("sigprocmask");
    m_fd = signalfd(-1, &set, SFD_CLOEXEC);
    if (m_fd < 0) fail("signalfd");
  }
  ~SignalReader() { close(m_fd); }
  SignalReader(const SignalReader&) = delete;
  SignalReader& operator=(const SignalReader&) = delete;

  int fd() const { return m_fd; }
  int next() const {
    signalfd_siginfo info{};
    if (read(m_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
  }

 private:
  int m_fd = -1;
};

class Delayer {
 public:
  explicit Delayer(const Options& options) : m_options(options), m_counters(options.serverPort) {
    m_handle = nfq_open();
    if (!m_handle) fail("nfq_open");
    m_queue = nfq_create_queue(m_handle, options.queue, &Delayer::onPacket, this);
    if (!m_queue) {
      const int error = errno;
      nfq_close(m_handle);
      errno = error;
      fail("cannot bind queue " + std::to_string(options.queue));
    }
    configure();
  }
  ~Delayer() {
    nfq_destroy_queue(m_queue);
    nfq_close(m_handle);
  }
  Delayer(const Delayer&) = delete;
  Delayer& operator=(const Delayer&) = delete;

  void run(const SignalReader& signals) {
    std::array<pollfd, 2> fds{{{nfq_fd(m_handle), POLLIN, 0}, {signals.fd(), POLLIN, 0}}};
    for (;;) {
      const auto wait = timeUntilNextDue();
      const int ready = ppoll(fds.data(), fds.size(), wait ? &*wait : nullptr, nullptr);
      if (ready < 0 && errno != EINTR) fail("ppoll");
      if (fds[0].revents & POLLIN) receive();
      releaseDue(Clock::now());
      if ((fds[1].revents & POLLIN) && !onSignal(signals.next())) break;
    }
    releaseAll();
  }
  const Counters& counters() const { return m_counters; }

 private:
  struct Held {
    std::uint32_t id;
    Clock::time_point due;
  };

  void configure() {
    // The TCP header is all the counters read; verdicts keep the packet whole.
    constexpr unsigned kCopiedBytes = 128;
    constexpr std::uint32_t kMostWaiting = 1U << 16;
    constexpr unsigned kReceiveBuffer = 16U << 20;
    if (nfq_set_mode(m_queue, NFQNL_COPY_PACKET, kCopiedBytes) < 0) fail("nfq_set_mode");
    if (nfq_set_queue_maxlen(m_queue, kMostWaiting) < 0) fail("nfq_set_queue_maxlen");
    // Large loopback writes stay one packet instead of being cut up for us.
    nfq_set_queue_flags(m_queue, NFQA_CFG_F_GSO, NFQA_CFG_F_GSO);
    nfnl_rcvbufsiz(nfq_nfnlh(m_handle), kReceiveBuffer);
  }

  static int onPacket(nfq_q_handle*, nfgenmsg*, nfq_data* data, void* self) {
    static_cast<Delayer*>(self)->hold(data);
    return 0;
  }

  void hold(nfq_data* data) {
    const nfqnl_msg_packet_hdr* header = nfq_get_msg_packet_hdr(data);
    if (!header) return;
    unsigned char* bytes = nullptr;
    const int length = nfq_get_payload(data, &bytes);
    std::optional<Segment> segment;
    if (length > 0) segment = parseSegment({bytes, static_cast<std::size_t>(length)});
    m_counters.count(segment);
    m_held.push_back({ntohl(header->packet_id), m_receivedAt + m_options.delay});
    m_counters.noteWaiting(m_held.size());
  }

  void receive() {
    alignas(8) static char buffer[1 << 16];
    for (;;) {
      const ssize_t got = recv(nfq_fd(m_handle), buffer, sizeof buffer, MSG_DONTWAIT);
      if (got < 0) {
        if (errno == EAGAIN || errno == EINTR) return;
        // The kernel could not hand us some packets: they wait unreleased.
        if (errno == ENOBUFS) {
          m_counters.noteOverrun();
          continue;
        }
        fail("recv");
      }
      m_receivedAt = Clock::now();
      nfq_handle_packet(m_handle, buffer, static_cast<int>(got));
    }
  }

  std::optional<timespec> timeUntilNextDue() const {
    if (m_held.empty()) return std::nullopt;
    const auto left = m_held.front().due - Clock::now();
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    if (nanoseconds <= 0) return timespec{0, 0};
    return timespec{static_cast<time_t>(nanoseconds / 1'000'000'000),
                    static_cast<long>(nanoseconds % 1'000'000'000)};
  }

  // One verdict covers every packet up to the newest id due: the older ones
  // have all been released before it.
  void releaseDue(Clock::time_point now) {
    std::optional<std::uint32_t> last;
    while (!m_held.empty() && m_held.front().due <= now) {
      m_counters.noteLate(now - m_held.front().due);
      last = m_held.front().id;
      m_held.pop_front();
    }
    if (last && nfq_set_verdict_batch(m_queue, *last, NF_ACCEPT) < 0) fail("nfq_set_verdict_batch");
  }
  void releaseAll() {
    if (m_held.empty()) return;
    nfq_set_verdict_batch(m_queue, m_held.back().id, NF_ACCEPT);
    m_held.clear();
  }

  bool onSignal(int signal) {
    if (signal == SIGUSR1) {
      m_counters.print();
      return true;
    }
    return signal == 0;
  }

  Options m_options;
  Counters m_counters;
  nfq_handle* m_handle = nullptr;
  nfq_q_handle* m_queue = nullptr;
  std::deque<Held> m_held;
  Clock::time_point m_receivedAt;
};

template <typename Number>
bool parseNumber(std::string_view text, Number& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc{} && end == text.data() + text.size();
}

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view name = argv[i], value = argv[i + 1];
    long long delay = 0;
    bool ok = false;
    if (name == "--queue") {
      ok = parseNumber(value, options.queue);
    } else if (name == "--delay-us") {
      ok = parseNumber(value, delay) && delay >= 0;
      options.delay = std::chrono::microseconds(delay);
    } else if (name == "--server-port") {
      ok = parseNumber(value, options.serverPort);
    }
    if (!ok) return std::nullopt;
  }
  if (argc % 2 == 0) return std::nullopt;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parseOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr, "usage: %s [--queue N] [--delay-us US] [--server-port PORT]\n", argv[0]);
    return 2;
  }
  // Wake up on time to the microsecond, not within the default 50 us slack.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  try {
    const SignalReader signals;
    Delayer delayer(*options);
    std::fprintf(stderr, "netdelay: holding the packets of queue %u for %lld us\n",
                 unsigned{options->queue}, static_cast<long long>(options->delay.count()));
    delayer.run(signals);
    delayer.counters().print();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "netdelay: %s\n", error.what());
    return 1;
  }
  return 0;
}
