#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vip::store {

// Serial numbers drawn a block at a time inside a transaction, per counter:
// the counter was raised by the whole block, the numbers are handed out one
// by one, and at the commit the counter is set back to the last number
// handed out (the counter row is locked until then, so nobody else drew).
class NumberBlocks {
 public:
  struct Leftover {
    std::string key;
    std::int32_t lastDrawn;  // the counter's value with the whole block taken
    std::int32_t lastUsed;   // the value it should keep
  };

  // The next number of the key's block; nothing when it has none left.
  std::optional<std::int32_t> take(const std::string& key);
  // A block [first, last] just drawn for the key; hands out `first`.
  std::int32_t add(const std::string& key, std::int32_t first, std::int32_t last);
  // The blocks not used up, to give back at the commit.
  std::vector<Leftover> leftovers() const;
  void clear() { m_blocks.clear(); }

 private:
  // Wider than the numbers: `next` passes the top of the range by one.
  struct Block {
    std::int64_t next = 0;
    std::int64_t last = 0;
  };
  std::map<std::string, Block> m_blocks;
};

}  // namespace vip::store
