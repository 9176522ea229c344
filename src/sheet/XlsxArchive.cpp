#include "sheet/XlsxArchive.h"

#include <zip.h>

#include <array>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/AsciiCase.h"
#include "sheet/SheetError.h"

namespace vip::sheet {

namespace {

// A part name as it is looked up: ASCII letters lowered, "\" read as "/",
// without a leading "/".
std::string normalisedName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name)
    out.push_back(c == '\\' ? '/' : toLowerAscii(c));
  const std::size_t start = out.find_first_not_of('/');
  return start == std::string::npos ? std::string() : out.substr(start);
}

std::string zipErrorText(zip_error_t* error) {
  std::string text = zip_error_strerror(error);
  return text;
}

struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// Inflates a large part on a second thread, a few chunks ahead of the
// parser, so that inflating and parsing a big worksheet overlap. At most
// kChunks buffers exist; the destructor stops and joins the thread on every
// path, a parse failure included.
class ReadAhead {
 public:
  static constexpr std::size_t kChunks = 4, kChunkSize = std::size_t{256} * 1024;

  explicit ReadAhead(zip_file_t* file) : m_file(file) {
    for (std::size_t i = 0; i < kChunks; ++i)
      m_free.emplace_back(kChunkSize);
    m_thread = std::thread([this] { run(); });
  }
  ~ReadAhead() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next chunk into `chunk` (its size set to the bytes inflated); false
  // at the end. A damaged stream leaves its reason in `error`.
  bool next(std::vector<char>& chunk, std::string& error) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_full.empty() || m_done; });
    if (m_full.empty()) {
      error = m_error;
      return false;
    }
    if (!chunk.empty()) m_free.push_back(std::move(chunk));
    chunk = std::move(m_full.front());
    m_full.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return true;
  }

 private:
  void run() {
    for (;;) {
      std::vector<char> buffer;
      {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stop || !m_free.empty(); });
        if (m_stop) return;
        buffer = std::move(m_free.back());
        m_free.pop_back();
      }
      buffer.resize(kChunkSize);
      const zip_int64_t got = zip_fread(m_file, buffer.data(), buffer.size());
      {
        std::lock_guard lock(m_mutex);
        if (got < 0) {
          m_error = zip_error_strerror(zip_file_get_error(m_file));
          m_done = true;
        } else if (got == 0) {
          m_done = true;
        } else {
          buffer.resize(static_cast<std::size_t>(got));
          m_full.push_back(std::move(buffer));
        }
      }
      m_changed.notify_all();
      if (got <= 0) return;
    }
  }

  zip_file_t* m_file;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<char>> m_full;
  std::vector<std::vector<char>> m_free;
  std::string m_error;
  bool m_done = false;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace

XlsxArchive::XlsxArchive(std::span<const unsigned char> bytes, std::string fileName, Limits limits)
    : m_fileName(std::move(fileName)), m_limits(limits) {
  if (bytes.empty()) fail("the file is empty");
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source == nullptr) {
    std::string text = zipErrorText(&error);
    zip_error_fini(&error);
    fail("cannot read the zip package: " + text);
  }
  // No ZIP_CHECKCONS: some writers leave harmless differences between local
  // headers and the central directory; damage shows as a CRC error on read.
  m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (m_zip == nullptr) {
    zip_source_free(source);
    bool notZip = zip_error_code_zip(&error) == ZIP_ER_NOZIP;
    std::string text = zipErrorText(&error);
    zip_error_fini(&error);
    if (notZip) fail("not a zip package (truncated, or not an .xlsx workbook)");
    fail("damaged zip package: " + text);
  }
  zip_error_fini(&error);
  try {
    indexEntries();
  } catch (...) {
    zip_discard(m_zip);
    throw;
  }
}

XlsxArchive::~XlsxArchive() {
  if (m_zip != nullptr) zip_discard(m_zip);
}

void XlsxArchive::fail(const std::string& reason) const {
  throw SheetError(m_fileName + ": " + reason);
}

std::optional<std::uint64_t> XlsxArchive::locate(std::string_view part) const {
  const auto found = m_entries.find(normalisedName(part));
  if (found == m_entries.end()) return std::nullopt;
  return found->second;
}

void XlsxArchive::indexEntries() {
  const zip_int64_t count = zip_get_num_entries(m_zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<std::uint64_t>(i);
    const char* name = zip_get_name(m_zip, index, ZIP_FL_ENC_RAW);
    if (name == nullptr) fail("damaged zip package: " + std::string(zip_strerror(m_zip)));
    if (!m_entries.emplace(normalisedName(name), index).second)
      fail("the package holds two entries named " + std::string(name) +
           ", so which one is the part is unclear");
  }
}

bool XlsxArchive::contains(std::string_view part) const {
  return locate(part).has_value();
}

void XlsxArchive::read(std::string_view part,
                       const std::function<void(std::span<const char>)>& sink) {
  std::optional<std::uint64_t> index = locate(part);
  if (!index) fail("the part " + std::string(part) + " is missing");
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(m_zip, *index, 0, &stat) != 0) {
    fail("cannot read the part " + std::string(part) + ": " + zip_strerror(m_zip));
  }
  if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
    fail("the part " + std::string(part) + " is encrypted");
  }
  std::uint64_t compressed = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;

  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(m_zip, *index, 0));
  if (!file) fail("cannot read the part " + std::string(part) + ": " + zip_strerror(m_zip));

  std::uint64_t partRead = 0;
  auto account = [&](std::uint64_t size) {
    partRead += size;
    m_totalRead += size;
    if (m_totalRead > m_limits.totalBytes) {
      fail("the package inflates to more than " + std::to_string(m_limits.totalBytes >> 20) +
           " MiB (a zip bomb?)");
    }
    if (partRead > m_limits.ratioFloor && partRead / m_limits.maxRatio > compressed) {
      fail("the part " + std::string(part) + " inflates more than " +
           std::to_string(m_limits.maxRatio) + " times its compressed size (a zip bomb?)");
    }
  };
  auto damaged = [&](const std::string& reason) {
    fail("the part " + std::string(part) + " is damaged: " + reason);
  };

  if (compressed >= m_limits.readAheadFloor) {
    ReadAhead ahead(file.get());
    std::vector<char> chunk;
    std::string error;
    while (ahead.next(chunk, error)) {
      account(chunk.size());
      sink(std::span<const char>(chunk.data(), chunk.size()));
    }
    if (!error.empty()) damaged(error);
    return;
  }

  std::array<char, std::size_t{256} * 1024> buffer;
  for (;;) {
    zip_int64_t got = zip_fread(file.get(), buffer.data(), buffer.size());
    if (got < 0) damaged(zip_error_strerror(zip_file_get_error(file.get())));
    if (got == 0) break;
    account(static_cast<std::uint64_t>(got));
    sink(std::span<const char>(buffer.data(), static_cast<std::size_t>(got)));
  }
}

std::string XlsxArchive::readSmall(std::string_view part, std::size_t maxBytes) {
  std::string text;
  read(part, [&](std::span<const char> chunk) {
    if (text.size() + chunk.size() > maxBytes) {
      fail("the part " + std::string(part) + " is larger than " + std::to_string(maxBytes >> 20) +
           " MiB");
    }
    text.append(chunk.data(), chunk.size());
  });
  return text;
}

}  // namespace vip::sheet
