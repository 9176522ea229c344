#pragma once

#include <string>

namespace vip::import {

enum class Phase { Categories = 1, Members = 2 };

// How the import talks to its operator; the window and the command line each
// implement it. The engine never touches a user interface itself.
class Operator {
 public:
  virtual ~Operator() = default;
  // Appends one line to the progress log.
  virtual void writeLog(const std::string& line) = 0;
  // Shows a notice and returns once it has been acknowledged.
  virtual void msgBox(const std::string& text) = 0;
  // Handles waiting input; called once at the start of every row.
  virtual void processEvents() = 0;
  // The path checks passed: the run begins (the window disables btnImport and
  // btnClose here).
  virtual void importStarted() = 0;
  // Row `row` of `rows` of a phase is about to be imported (0 of n at the start).
  virtual void progress(Phase phase, int row, int rows) = 0;
  // Whether the operator asked the run to stop (the command line's
  // interrupt); asked before each row, so a row is never cut in two.
  virtual bool interruptRequested() { return false; }
};

}  // namespace vip::import
