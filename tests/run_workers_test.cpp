// Workers on threads: an exception in any of them reaches the caller, and a wavefront
// whose step throws stops every block instead of leaving them waiting.
#include "threads/run_workers.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>

#include "threads/wavefront.hpp"

namespace {

using namespace stemloop;

TEST(RunWorkers, EveryWorkerRunsAndTheFirstFailureReachesTheCaller) {
  std::atomic<int> ran{0};
  std::atomic<int> told{0};  // every worker writes it
  run_workers(3, [&](int, int workers) {
    ran++;
    told = workers;
  });
  EXPECT_EQ(ran.load(), told.load());
  EXPECT_THROW(run_workers(3,
                           [&](int w, int) {
                             if (w == 1) throw std::bad_alloc();
                           }),
               std::bad_alloc);
  EXPECT_THROW(run_workers(1, [&](int, int) { throw std::runtime_error("x"); }),
               std::runtime_error);
}

TEST(RunWorkers, AWavefrontStepThatThrowsStopsTheOthers) {
  for (int threads : {1, 2, 4}) {
    EXPECT_THROW(run_wavefront(400, 400, threads, 32,
                               [](int first, int, int c) {
                                 if (first == 64 && c == 10) throw std::bad_alloc();
                                 return true;
                               }),
                 std::bad_alloc)
        << threads;
  }
}

}  // namespace
