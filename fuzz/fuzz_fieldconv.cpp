// Cell texts of any bytes written into columns of every kind and length unit:
// each either gives a value or a StoreError, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/DecimalText.h"
#include "common/FormatSettings.h"
#include "store/FieldConvert.h"
#include "store/StoreError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  using vip::store::FieldKind;
  using vip::store::LengthUnit;
  vip::store::FieldDef field;
  field.name = "F";
  field.kind = static_cast<FieldKind>(data[0] % (static_cast<int>(FieldKind::Unknown) + 1));
  field.lengthUnit = static_cast<LengthUnit>(data[1] % 3);
  field.size = data[1] / 3 % 16;
  vip::FormatSettings settings;
  if (data[0] & 0x80) {
    settings.shortDateFormat = "m/d/yy";
    settings.dateSeparator = '/';
    settings.decimalSeparator = ',';
  }
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  try {
    bool cut = false;
    const vip::store::Value value = vip::store::textToValue(field, text, settings, cut);
    (void)vip::store::valueToText(value, settings);
  } catch (const vip::store::StoreError&) {
  }
  if (const auto number = vip::DecimalText::read(text, settings.decimalSeparator)) {
    (void)number->toLongDouble();
    (void)number->toTenThousandths();
    (void)number->roundedText(2, settings.decimalSeparator);
  }
  return 0;
}
