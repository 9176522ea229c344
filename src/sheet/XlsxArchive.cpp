#include "sheet/XlsxArchive.h"

#include <zip.h>

#include <array>
#include <memory>

#include "sheet/SheetError.h"

namespace vip::sheet {

namespace {

std::string zipErrorText(zip_error_t* error) {
  std::string text = zip_error_strerror(error);
  return text;
}

struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
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
}

XlsxArchive::~XlsxArchive() {
  if (m_zip != nullptr) zip_discard(m_zip);
}

void XlsxArchive::fail(const std::string& reason) const {
  throw SheetError(m_fileName + ": " + reason);
}

std::optional<std::uint64_t> XlsxArchive::locate(std::string_view part) const {
  while (!part.empty() && part.front() == '/')
    part.remove_prefix(1);
  std::string name(part);
  zip_int64_t index = zip_name_locate(m_zip, name.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
  if (index < 0) return std::nullopt;
  return static_cast<std::uint64_t>(index);
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

  std::array<char, 256 * 1024> buffer;
  std::uint64_t partRead = 0;
  for (;;) {
    zip_int64_t got = zip_fread(file.get(), buffer.data(), buffer.size());
    if (got < 0) {
      fail("the part " + std::string(part) +
           " is damaged: " + zip_error_strerror(zip_file_get_error(file.get())));
    }
    if (got == 0) break;
    auto size = static_cast<std::uint64_t>(got);
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
