#include "store/NumberBlocks.h"

namespace vip::store {

std::optional<std::int32_t> NumberBlocks::take(const std::string& key) {
  const auto found = m_blocks.find(key);
  if (found == m_blocks.end() || found->second.next > found->second.last) return std::nullopt;
  return static_cast<std::int32_t>(found->second.next++);
}

std::int32_t NumberBlocks::add(const std::string& key, std::int32_t first, std::int32_t last) {
  m_blocks[key] = Block{std::int64_t{first} + 1, last};
  return first;
}

std::vector<NumberBlocks::Leftover> NumberBlocks::leftovers() const {
  std::vector<Leftover> out;
  for (const auto& [key, block] : m_blocks) {
    if (block.next <= block.last) {
      out.push_back(
          {key, static_cast<std::int32_t>(block.last), static_cast<std::int32_t>(block.next - 1)});
    }
  }
  return out;
}

}  // namespace vip::store
