#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <thread>

#include "store/StoreError.h"

namespace vip::store {

// Draws a serial number, trying again when another client got in the way: a
// serialization failure, a busy store, or the counter row created by someone
// else at the same moment. Any other failure, or the last attempt's, is the
// row's. Between attempts the other client is given a moment to finish.
template <typename Draw, typename Retryable>
std::int32_t drawWithRetries(Draw&& draw, Retryable&& retryable) {
  constexpr int kAttempts = 6;
  thread_local std::minstd_rand jitter{std::random_device{}()};
  for (int attempt = 1;; ++attempt) {
    try {
      return draw();
    } catch (const StoreError& error) {
      if (attempt >= kAttempts || !retryable(error)) throw;
    }
    const auto pause = std::chrono::milliseconds(5 * attempt + static_cast<int>(jitter() % 10));
    std::this_thread::sleep_for(pause);
  }
}

}  // namespace vip::store
