#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vip::cli {

// The options and operands of one command, declared once and then parsed
// from its arguments. An option takes its value as "--name VALUE" or
// "--name=VALUE"; "-h" and "--help" show the usage; "--" ends the options,
// so that an operand may begin with "-". An unknown option, a missing value,
// an option given twice, a missing required option or operand and a surplus
// operand are usage errors. Messages name options, never values: a value
// may be a connection string with a password.
class Options {
 public:
  enum class Need { Optional, Required };

  // `command` names the command in messages ("vipimport-cli import");
  // `usage` is its help text.
  Options(std::string command, std::string usage);

  // An option with a value, written to `target` when given.
  Options& value(std::string name, std::string& target, Need need = Need::Optional);
  // An option without a value: `target` becomes true when given.
  Options& flag(std::string name, bool& target);
  // An argument that is not an option, taken in the order declared.
  Options& operand(std::string name, std::string& target, Need need = Need::Required);

  // Parses `args`. When the command ends here, returns its exit status: 0
  // once the usage is on stdout (help), 2 once a usage error and the usage
  // are on stderr. Nothing when the command goes on.
  std::optional<int> parse(const std::vector<std::string>& args);

  // Whether the option `name` was given.
  bool given(std::string_view name) const;

 private:
  enum class Kind { Value, Flag, Operand };
  struct Declared {
    std::string name;
    Kind kind;
    Need need;
    std::string* value = nullptr;
    bool* flag = nullptr;
    bool given = false;
  };

  // Returns the usage error, empty when the arguments are sound.
  std::string read(const std::vector<std::string>& args, bool& help);
  std::string readOption(const std::vector<std::string>& args, std::size_t& i);
  std::string readOperand(const std::string& arg, std::size_t position);
  std::string checkRequired() const;
  Declared* findOption(std::string_view name);
  Declared* nextOperand();

  std::string m_command;
  std::string m_usage;
  std::vector<Declared> m_declared;
};

}  // namespace vip::cli
