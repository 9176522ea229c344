#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vip::import {

// The kinds of difference that make a title typed by hand miss a known one
// while looking the same on screen; a set of them is their bits or'ed.
enum TitleDifference : unsigned {
  kBlanks = 1u,     // spaces, tabs and line breaks, the ideographic space U+3000 too
  kWidth = 2u,      // full-width forms U+FF01-U+FF5E and U+3000 for their ASCII characters
  kInvisible = 4u,  // zero-width and format characters, the no-break space, controls
};

struct NearMiss {
  std::size_t entry = 0;  // the known title, in table order
  unsigned differences = 0;
};

// The known title that `title` equals once the fewest kinds of difference
// are taken away (the first in table order among equals); nothing for a
// title that equals one already, or that differs in more than these.
// Only a hint: the import compares titles byte for byte.
std::optional<NearMiss> findNearMiss(std::span<const std::string_view> known,
                                     std::string_view title);

// "'姓名 ' 与 '姓名' 仅差空格"; several kinds read "仅差空格和全角/半角".
std::string nearMissText(std::string_view title, std::string_view known, unsigned differences);

// A text from a sheet as a report line quotes it: invisible characters as
// "<U+200B>", so the operator sees where they are; other controls escaped
// and a long text shortened as in messages.
std::string shownText(std::string_view text);

}  // namespace vip::import
