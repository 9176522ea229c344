#include "store/sqlite/SqliteColumnType.h"

#include <cctype>
#include <charconv>
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
  } else if (base == "tinyint") {
    field.kind = FieldKind::Word;
  } else if (base == "smallint") {
    field.kind = FieldKind::SmallInt;
  } else if (base == "int" || base == "integer") {
    field.kind = FieldKind::Integer;
  } else if (base == "bigint") {
    field.kind = FieldKind::LargeInt;
  } else if (base == "real" || base == "float" || base == "double" || base == "double precision") {
    field.kind = FieldKind::Float;
  } else if (base == "decimal" || base == "numeric") {
    // SQL Server's default precision is 18; with no places and fewer than
    // ten digits the value fits a 32-bit integer.
    const int precision = first > 0 ? first : 18;
    const int scale = args.size() > 1 ? args[1] : 0;
    field.kind = scale == 0 && precision < 10 ? FieldKind::Integer : FieldKind::Decimal;
  } else if (base == "money" || base == "smallmoney") {
    field.kind = FieldKind::Decimal;
  } else if (base == "datetime" || base == "smalldatetime" || base == "date" ||
             base == "datetime2") {
    field.kind = FieldKind::DateTime;
  } else if (base == "bit" || base == "boolean") {
    field.kind = FieldKind::Boolean;
  } else if (type.find("int") != std::string::npos) {
    field.kind = FieldKind::LargeInt;
  } else if (type.find("char") != std::string::npos || type.find("clob") != std::string::npos ||
             type.find("text") != std::string::npos) {
    field.kind = FieldKind::Memo;
  } else if (type.find("real") != std::string::npos || type.find("floa") != std::string::npos ||
             type.find("doub") != std::string::npos) {
    field.kind = FieldKind::Float;
  } else {
    field.kind = FieldKind::Unknown;
  }
  return field;
}

}  // namespace vip::store
