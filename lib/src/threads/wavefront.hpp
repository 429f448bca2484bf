// Blocks of rows filled step by step on several threads, the order of the fill and of
// both ensemble passes: a cell of row r at step c may read every row before r up to
// step c and its own row before c, so a block's step c waits until the block before it
// has finished step c. Every cell is computed the same way whatever the number of
// threads, so the tables do not depend on it.
#pragma once

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "threads/run_workers.hpp"

namespace stemloop {

// Waits until a block has finished step c, or the pass has stopped.
inline void wait_for_step(const std::atomic<int>& done, int c, const std::atomic<bool>& stopped) {
  for (int spins = 0;
       done.load(std::memory_order_acquire) <= c && !stopped.load(std::memory_order_relaxed);
       spins++)
    if (spins > 64) std::this_thread::yield();
}

// Calls step(first, last, c) for the rows first..last of each block of `block_rows` rows
// and the steps c = 0 .. steps-1, blocks taken in order and dealt round to the threads
// (a thread starts a block only once it has finished its previous one). A step that
// returns false stops the pass, and run_wavefront returns false; a step that throws
// stops the others too, and the exception reaches the caller.
template <class Step>
bool run_wavefront(int rows, int steps, int threads, int block_rows, const Step& step) {
  const int blocks = rows > 0 ? (rows + block_rows - 1) / block_rows : 0;
  // done[b]: steps block b has finished; a stopped block counts as finished.
  std::vector<std::atomic<int>> done(static_cast<size_t>(blocks));
  for (auto& d : done) d.store(0, std::memory_order_relaxed);
  std::atomic<bool> stopped{false};
  run_workers(std::clamp(threads, 1, std::max(1, blocks)), [&](int w, int workers) {
    for (int b = w; b < blocks; b += workers) {
      const int first = b * block_rows, last = std::min(rows, first + block_rows) - 1;
      for (int c = 0; c < steps; c++) {
        if (b > 0) wait_for_step(done[static_cast<size_t>(b - 1)], c, stopped);
        bool go = false;
        try {
          go = !stopped.load(std::memory_order_relaxed) && step(first, last, c);
        } catch (...) {
          stopped.store(true, std::memory_order_relaxed);
          throw;
        }
        if (!go) {
          stopped.store(true, std::memory_order_relaxed);
          done[static_cast<size_t>(b)].store(steps, std::memory_order_release);
          break;
        }
        done[static_cast<size_t>(b)].store(c + 1, std::memory_order_release);
      }
    }
  });
  return !stopped.load();
}

}  // namespace stemloop
