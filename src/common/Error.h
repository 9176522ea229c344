#pragma once

#include <stdexcept>
#include <string>

namespace vip {

// Base of the error types that cross a subsystem boundary. The message is the
// operator-facing text, passed on unchanged inside the program's own lines.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vip
