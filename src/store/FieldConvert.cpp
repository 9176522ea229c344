#include "store/FieldConvert.h"

#include <charconv>
#include <cmath>
#include <string>

#include "common/NumberText.h"
#include "store/StoreError.h"

namespace vip::store {

Value textToValue(const FieldDef& field, std::string_view text, const FormatSettings& settings,
                  bool& cut) {
  (void)settings;
  cut = false;
  if (!field.writable) throw StoreError("Field '" + field.name + "' cannot be modified");
  if (text.empty()) return std::monostate{};
  return std::string(text);
}

Value integerToValue(const FieldDef& field, std::int64_t value) {
  if (!field.writable) throw StoreError("Field '" + field.name + "' cannot be modified");
  return value;
}

Value doubleToValue(const FieldDef& field, double value, const FormatSettings& settings,
                    bool& cut) {
  (void)settings;
  cut = false;
  if (!field.writable) throw StoreError("Field '" + field.name + "' cannot be modified");
  return value;
}

Value dateTimeToValue(const FieldDef& field, const vip::DateTime& value,
                      const FormatSettings& settings, bool& cut) {
  (void)settings;
  cut = false;
  if (!field.writable) throw StoreError("Field '" + field.name + "' cannot be modified");
  return value;
}

std::string valueToText(const Value& value, const FormatSettings& settings) {
  (void)settings;
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&value)) return vip::formatGeneral(*d);
  return {};
}

bool parseFloatText(std::string_view text, char decimalSeparator, long double& out) {
  (void)decimalSeparator;
  double d = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
  if (ec != std::errc() || p != text.data() + text.size() || text.empty()) return false;
  out = d;
  return true;
}

bool parseDateTimeText(std::string_view text, const FormatSettings& settings, vip::DateTime& out) {
  (void)text;
  (void)settings;
  (void)out;
  return false;
}

}  // namespace vip::store
