#include "import/TitleHint.h"

#include <array>
#include <cstdio>
#include <vector>

#include "common/Messages.h"

namespace vip::import {

namespace {

// Characters that show as nothing, or as an ordinary blank where a known
// title has none: what a title copied from a web page or a chat tends to carry.
struct InvisibleCharacter {
  std::string_view utf8;
  char32_t code;
};
constexpr std::array<InvisibleCharacter, 25> kInvisibleCharacters = {{
    {"\u00A0", 0x00A0}, {"\u00AD", 0x00AD}, {"\u034F", 0x034F}, {"\u061C", 0x061C},
    {"\u180E", 0x180E}, {"\u200B", 0x200B}, {"\u200C", 0x200C}, {"\u200D", 0x200D},
    {"\u200E", 0x200E}, {"\u200F", 0x200F}, {"\u202A", 0x202A}, {"\u202B", 0x202B},
    {"\u202C", 0x202C}, {"\u202D", 0x202D}, {"\u202E", 0x202E}, {"\u2060", 0x2060},
    {"\u2061", 0x2061}, {"\u2062", 0x2062}, {"\u2063", 0x2063}, {"\u2064", 0x2064},
    {"\u2066", 0x2066}, {"\u2067", 0x2067}, {"\u2068", 0x2068}, {"\u2069", 0x2069},
    {"\uFEFF", 0xFEFF},
}};

constexpr std::string_view kIdeographicSpace = "\u3000";

// What one character of a title is, for folding it.
struct Piece {
  enum Kind { Plain, Blank, IdeographicSpace, FullWidth, Invisible };
  Kind kind = Plain;
  std::size_t length = 1;  // in bytes
  char ascii = 0;          // FullWidth: the character it stands for
  char32_t code = 0;       // Invisible: the code point
};

bool isAsciiBlank(unsigned char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' ||
         byte == '\f';
}

// U+FF01-U+FF5E are EF BC 81 - EF BD 9E; each stands for U+0021-U+007E.
std::optional<char> fullWidthAt(std::string_view text, std::size_t at) {
  if (at + 3 > text.size() || static_cast<unsigned char>(text[at]) != 0xEF) return std::nullopt;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  const auto third = static_cast<unsigned char>(text[at + 2]);
  if (second == 0xBC && third >= 0x81 && third <= 0xBF)
    return static_cast<char>(0x21 + (third - 0x81));
  if (second == 0xBD && third >= 0x80 && third <= 0x9E)
    return static_cast<char>(0x60 + (third - 0x80));
  return std::nullopt;
}

Piece pieceAt(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (isAsciiBlank(byte)) return {Piece::Blank};
  if (byte < 0x20 || byte == 0x7F) return {Piece::Invisible, 1, 0, byte};
  if (byte < 0x80) return {};
  const std::string_view rest = text.substr(at);
  if (rest.starts_with(kIdeographicSpace)) return {Piece::IdeographicSpace, 3};
  if (const std::optional<char> ascii = fullWidthAt(text, at)) return {Piece::FullWidth, 3, *ascii};
  for (const InvisibleCharacter& invisible : kInvisibleCharacters) {
    if (rest.starts_with(invisible.utf8))
      return {Piece::Invisible, invisible.utf8.size(), 0, invisible.code};
  }
  return {};
}

// The text with the given kinds of difference taken away.
std::string folded(std::string_view text, unsigned differences) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Piece piece = pieceAt(text, at);
    const std::string_view bytes = text.substr(at, piece.length);
    at += piece.length;
    switch (piece.kind) {
      case Piece::Plain:
        out += bytes;
        break;
      case Piece::Blank:
        if ((differences & kBlanks) == 0) out += bytes;
        break;
      case Piece::IdeographicSpace:
        if ((differences & kBlanks) != 0) break;
        if ((differences & kWidth) != 0) {
          out += ' ';
        } else {
          out += bytes;
        }
        break;
      case Piece::FullWidth:
        if ((differences & kWidth) != 0) {
          out += piece.ascii;
        } else {
          out += bytes;
        }
        break;
      case Piece::Invisible:
        if ((differences & kInvisible) == 0) out += bytes;
        break;
    }
  }
  return out;
}

// Fewest kinds first, so a title is said to differ only in what it must.
constexpr std::array<unsigned, 7> kDifferenceSets = {kBlanks,
                                                     kWidth,
                                                     kInvisible,
                                                     kBlanks | kWidth,
                                                     kBlanks | kInvisible,
                                                     kWidth | kInvisible,
                                                     kBlanks | kWidth | kInvisible};

}  // namespace

std::optional<NearMiss> findNearMiss(std::span<const std::string_view> known,
                                     std::string_view title) {
  for (const std::string_view knownTitle : known) {
    if (knownTitle == title) return std::nullopt;
  }
  for (const unsigned differences : kDifferenceSets) {
    const std::string folding = folded(title, differences);
    if (folding.empty()) continue;
    for (std::size_t entry = 0; entry < known.size(); ++entry) {
      if (folded(known[entry], differences) == folding) return NearMiss{entry, differences};
    }
  }
  return std::nullopt;
}

std::string nearMissText(std::string_view title, std::string_view known, unsigned differences) {
  std::vector<std::string_view> kinds;
  if ((differences & kBlanks) != 0) kinds.push_back("空格");
  if ((differences & kWidth) != 0) kinds.push_back("全角/半角");
  if ((differences & kInvisible) != 0) kinds.push_back("不可见字符");
  // "空格", "空格和全角/半角", "空格、全角/半角和不可见字符"
  std::string joined;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (i > 0) joined += i + 1 == kinds.size() ? "和" : "、";
    joined += kinds[i];
  }
  return "'" + shownText(title) + "' 与 '" + std::string(known) + "' 仅差" + joined;
}

std::string shownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Piece piece = pieceAt(text, at);
    if (piece.kind == Piece::Invisible) {
      char code[16];
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(piece.code));
      out += code;
    } else {
      out += text.substr(at, piece.length);
    }
    at += piece.length;
  }
  constexpr std::size_t kShownLimit = 100;
  return vip::messageText(out, kShownLimit);
}

}  // namespace vip::import
