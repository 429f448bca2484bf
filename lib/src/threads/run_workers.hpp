// Runs one job on several threads without ever letting an exception leave a thread:
// std::thread would end the process for it. A thread that cannot be started (no memory
// for its stack or its state) leaves its share to the workers that did start.
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace stemloop {

// Calls work(w, workers) for w = 0 .. workers-1: worker 0 on the calling thread, the
// others on threads of their own, at most `wanted` in all. `workers` is the number that
// could be started, the same for every worker and known before any begins. Once all
// have ended, the first exception a worker threw is rethrown here.
template <class Work>
void run_workers(int wanted, const Work& work) {
  std::mutex mutex;
  std::condition_variable started;
  int workers = 0;  // 0 while threads are still being started
  std::vector<std::exception_ptr> failures(static_cast<size_t>(wanted > 1 ? wanted : 1));
  const auto run = [&](int w) {
    // The thread's exception state is thread-local memory allocated on first use; claimed
    // now, a bad_alloc thrown later when memory has run out does not end the process.
    volatile int in_flight = std::uncaught_exceptions();  // volatile: the call is pure
    (void)in_flight;
    int count;
    {
      std::unique_lock<std::mutex> lock(mutex);
      started.wait(lock, [&] { return workers > 0; });
      count = workers;
    }
    try {
      work(w, count);
    } catch (...) {
      failures[static_cast<size_t>(w)] = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  try {
    pool.reserve(failures.size() - 1);
    for (int w = 1; w < wanted; w++) pool.emplace_back(run, w);
  } catch (const std::system_error&) {
    // no thread to be had: the ones started share the work
  } catch (const std::bad_alloc&) {
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    workers = static_cast<int>(pool.size()) + 1;
  }
  started.notify_all();
  run(0);
  for (std::thread& thread : pool) thread.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace stemloop
