#include "Options.h"

#include <algorithm>
#include <cstdio>

namespace vip::cli {

namespace {

bool isHelp(const std::string& arg) {
  return arg == "-h" || arg == "--help";
}

// "--name" and "--name=..." begin an option; "-" alone (standard input) and
// negative numbers are operands.
bool looksLikeOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

}  // namespace

Options::Options(std::string command, std::string usage)
    : m_command(std::move(command)), m_usage(std::move(usage)) {}

Options& Options::value(std::string name, std::string& target, Need need) {
  m_declared.push_back({std::move(name), Kind::Value, need, &target, nullptr});
  return *this;
}

Options& Options::flag(std::string name, bool& target) {
  m_declared.push_back({std::move(name), Kind::Flag, Need::Optional, nullptr, &target});
  return *this;
}

Options& Options::operand(std::string name, std::string& target, Need need) {
  m_declared.push_back({std::move(name), Kind::Operand, need, &target, nullptr});
  return *this;
}

bool Options::given(std::string_view name) const {
  return std::any_of(m_declared.begin(), m_declared.end(),
                     [name](const Declared& d) { return d.name == name && d.given; });
}

Options::Declared* Options::findOption(std::string_view name) {
  for (Declared& declared : m_declared)
    if (declared.kind != Kind::Operand && declared.name == name) return &declared;
  return nullptr;
}

Options::Declared* Options::nextOperand() {
  for (Declared& declared : m_declared)
    if (declared.kind == Kind::Operand && !declared.given) return &declared;
  return nullptr;
}

std::optional<int> Options::parse(const std::vector<std::string>& args) {
  bool help = false;
  const std::string error = read(args, help);
  if (help) {
    std::fputs(m_usage.c_str(), stdout);
    return 0;
  }
  if (error.empty()) return std::nullopt;
  std::fprintf(stderr, "%s: %s\n\n%s", m_command.c_str(), error.c_str(), m_usage.c_str());
  return 2;
}

std::string Options::read(const std::vector<std::string>& args, bool& help) {
  // Help wins over any error elsewhere on the line.
  help = std::any_of(args.begin(), std::find(args.begin(), args.end(), "--"), isHelp);
  if (help) return {};
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string error;
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && looksLikeOption(arg)) {
      error = readOption(args, i);
    } else {
      error = readOperand(arg, i + 1);
    }
    if (!error.empty()) return error;
  }
  return checkRequired();
}

std::string Options::readOption(const std::vector<std::string>& args, std::size_t& i) {
  const std::string& arg = args[i];
  const std::size_t equals = arg.find('=');
  const std::string name = arg.substr(0, equals);
  Declared* option = findOption(name);
  if (option == nullptr) return "unknown option '" + name + "'";
  if (option->given) return "option '" + name + "' given twice";
  option->given = true;
  if (option->kind == Kind::Flag) {
    if (equals != std::string::npos) return "option '" + name + "' takes no value";
    *option->flag = true;
    return {};
  }
  if (equals != std::string::npos) {
    *option->value = arg.substr(equals + 1);
    return {};
  }
  // "--categories --members m.xls" lacks a value rather than naming a file
  // "--members"; such a value can still be given as "--categories=--x".
  if (i + 1 == args.size() || args[i + 1].starts_with("--"))
    return "option '" + name + "' needs a value";
  *option->value = args[++i];
  return {};
}

std::string Options::readOperand(const std::string& arg, std::size_t position) {
  Declared* operand = nextOperand();
  // The argument itself is not echoed: it may be a connection string.
  if (operand == nullptr) return "unexpected argument " + std::to_string(position);
  operand->given = true;
  *operand->value = arg;
  return {};
}

std::string Options::checkRequired() const {
  for (const Declared& declared : m_declared) {
    if (declared.need != Need::Required || declared.given) continue;
    return declared.kind == Kind::Operand ? declared.name + " is missing"
                                          : "option '" + declared.name + "' is required";
  }
  return {};
}

}  // namespace vip::cli
