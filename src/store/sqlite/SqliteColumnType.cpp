#include "store/sqlite/SqliteColumnType.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"

namespace vip::store {

namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// The numbers between the parentheses of "type(a, b)"; "max" and anything
// unreadable count as no number.
std::vector<int> typeArguments(std::string_view args) {
  std::vector<int> numbers;
  while (!args.empty()) {
    const std::size_t comma = args.find(',');
    const std::string_view item = trim(args.substr(0, comma));
    int value = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
    numbers.push_back(ec == std::errc() && end == item.data() + item.size() && value > 0 ? value
                                                                                         : 0);
    if (comma == std::string_view::npos) break;
    args.remove_prefix(comma + 1);
  }
  return numbers;
}

// The kinds of SQL Server's types that take no arguments.
std::optional<FieldKind> plainKind(std::string_view base) {
  static constexpr std::pair<std::string_view, FieldKind> kKinds[] = {
      {"tinyint", FieldKind::Word},
      {"smallint", FieldKind::SmallInt},
      {"int", FieldKind::Integer},
      {"integer", FieldKind::Integer},
      {"bigint", FieldKind::LargeInt},
      {"real", FieldKind::Float},
      {"float", FieldKind::Float},
      {"double", FieldKind::Float},
      {"double precision", FieldKind::Float},
      {"money", FieldKind::Decimal},
      {"smallmoney", FieldKind::Decimal},
      {"datetime", FieldKind::DateTime},
      {"smalldatetime", FieldKind::DateTime},
      {"date", FieldKind::DateTime},
      {"datetime2", FieldKind::DateTime},
      {"bit", FieldKind::Boolean},
      {"boolean", FieldKind::Boolean},
  };
  for (const auto& [name, kind] : kKinds) {
    if (name == base) return kind;
  }
  return std::nullopt;
}

// Any other type by SQLite's own affinity rules.
FieldKind affinityKind(std::string_view type) {
  const auto has = [&](std::string_view part) { return type.find(part) != std::string_view::npos; };
  if (has("int")) return FieldKind::LargeInt;
  if (has("char") || has("clob") || has("text")) return FieldKind::Memo;
  if (has("real") || has("floa") || has("doub")) return FieldKind::Float;
  return FieldKind::Unknown;
}

}  // namespace

FieldDef fieldFromDeclaredType(std::string name, std::string_view declaredType) {
  FieldDef field;
  field.name = std::move(name);
  const std::string type = toLowerAscii(trim(declaredType));
  const std::size_t open = type.find('(');
  const std::string base(trim(std::string_view(type).substr(0, open)));
  std::vector<int> args;
  if (open != std::string::npos) {
    const std::size_t close = type.find(')', open);
    args = typeArguments(std::string_view(type).substr(
        open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
  }
  const int first = args.empty() ? 0 : args[0];

  if (base == "char" || base == "character" || base == "varchar" || base == "character varying") {
    field.kind = FieldKind::String;
    field.size = first;
    field.lengthUnit = LengthUnit::GbkBytes;
  } else if (base == "nchar" || base == "nvarchar" || base == "national character" ||
             base == "national character varying") {
    field.kind = FieldKind::WideString;
    field.size = first;
    field.lengthUnit = LengthUnit::Utf16Units;
  } else if (base == "text" || base == "ntext") {
    field.kind = FieldKind::Memo;
    field.lengthUnit = base == "ntext" ? LengthUnit::Utf16Units : LengthUnit::GbkBytes;
  } else if (const auto kind = plainKind(base)) {
    field.kind = *kind;
  } else if (base == "decimal" || base == "numeric") {
    // SQL Server's default precision is 18; with no places and fewer than
    // ten digits the value fits a 32-bit integer.
    const int precision = first > 0 ? first : 18;
    const int scale = args.size() > 1 ? args[1] : 0;
    field.kind = scale == 0 && precision < 10 ? FieldKind::Integer : FieldKind::Decimal;
  } else {
    field.kind = affinityKind(type);
  }
  return field;
}

}  // namespace vip::store
