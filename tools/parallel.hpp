// Runs tasks on a fixed number of threads and hands the results back in submission order,
// so what a program prints does not depend on the number of threads. At most `window`
// tasks are held at once, which bounds memory on long inputs. Tasks that say how much
// memory they need run only while the others running leave room for them: a large task
// waits for the ones before it to finish rather than run short, and runs alone if it must.
#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace stemloop_tools {

// Bytes the process may still take: the machine's memory, or less when an address-space
// limit (ulimit -v) leaves less room beside what the process already maps; 0 when unknown.
inline size_t measure_memory_budget() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  size_t budget = static_cast<size_t>(pages) * static_cast<size_t>(page_size);
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    size_t mapped = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      unsigned long size = 0;
      if (std::fscanf(statm, "%lu", &size) == 1) mapped = size * static_cast<size_t>(page_size);
      std::fclose(statm);
    }
    const size_t room = limit.rlim_cur > mapped ? limit.rlim_cur - mapped : 0;
    budget = std::min(budget, room);
  }
  return budget;
}

// The stack a new thread maps: the stack limit, as glibc takes it, or 8 MiB.
inline size_t thread_stack_bytes() {
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    return static_cast<size_t>(limit.rlim_cur);
  return size_t{8} << 20;
}

// The budget as measured on the first call, before records hold any memory.
inline size_t memory_budget() {
  static const size_t budget = measure_memory_budget();
  return budget;
}

// Under an address-space limit, threads share malloc's one arena: an arena of their own
// would reserve 64 MiB of address space each, room the records' tables need. Returns
// whether they share it.
inline bool share_malloc_arena_under_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
  return mallopt(M_ARENA_MAX, 1) == 1;
}

template <typename Task, typename Result>
class OrderedRunner {
 public:
  // Each thread gets its own worker from make_worker (for example one holding its own
  // Folder). A worker should not throw; if one does, the exception ends the run on the
  // submitting thread. Results go to `sink` on the submitting thread. cost(task), when
  // given, is the memory a task needs while it runs, out of `budget` bytes.
  using Worker = std::function<Result(Task&)>;
  using Sink = std::function<void(Result&)>;
  using Cost = std::function<size_t(const Task&)>;
  using Retry = std::function<bool(const Result&)>;

  // Threads start as tasks wait for one, up to `threads`, and under a budget only while a
  // task fits beside the running ones with the new thread's stack: when memory is short,
  // fewer threads hold less of it. retry(result), when given, tells a result that ran
  // short of memory: a task that gave one while others ran is run again, alone.
  OrderedRunner(int threads, std::function<Worker()> make_worker, Sink sink, Cost cost = nullptr,
                size_t budget = 0, Retry retry = nullptr)
      : make_worker_(std::move(make_worker)),
        sink_(std::move(sink)),
        retry_(std::move(retry)),
        max_threads_(threads > 1 ? static_cast<size_t>(threads) : 0),
        window_(std::max<size_t>(max_threads_, 1) * 4),
        done_(window_),
        cost_(std::move(cost)),
        budget_(budget) {
    const bool shared_arena = share_malloc_arena_under_limit();
    per_thread_ = thread_stack_bytes() + (shared_arena ? 0 : size_t{64} << 20);
    if (max_threads_ == 0) inline_worker_ = make_worker_();
  }

  ~OrderedRunner() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  OrderedRunner(const OrderedRunner&) = delete;
  OrderedRunner& operator=(const OrderedRunner&) = delete;

  // Queues one task; waits while the window is full, passing finished results to the sink.
  void submit(Task task) {
    if (inline_worker_) {
      Result result = inline_worker_(task);
      sink_(result);
      return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    deliver(lock, false);
    while (submitted_ - delivered_ >= window_) deliver(lock, true);
    queue_.push_back(Queued{submitted_++, std::move(task), false});
    grow();
    if (threads_.empty()) {
      // Not one thread could start: this task, the first, and all after it run here.
      Queued first = std::move(queue_.front());
      queue_.pop_front();
      delivered_++;
      lock.unlock();
      inline_worker_ = make_worker_();
      Result result = inline_worker_(first.task);
      sink_(result);
      return;
    }
    lock.unlock();
    work_ready_.notify_one();
  }

  // Waits for every queued task and passes the remaining results to the sink.
  void finish() {
    if (threads_.empty()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    while (delivered_ < submitted_) deliver(lock, true);
  }

 private:
  // Sinks the results that are next in order; with `wait`, first waits for at least one.
  void deliver(std::unique_lock<std::mutex>& lock, bool wait) {
    if (wait) result_ready_.wait(lock, [this] { return slot(delivered_).has_value(); });
    if (failure_) std::rethrow_exception(failure_);
    while (slot(delivered_)) {
      Result result = std::move(*slot(delivered_));
      slot(delivered_).reset();
      delivered_++;
      lock.unlock();
      sink_(result);
      lock.lock();
    }
  }

  std::optional<Result>& slot(size_t index) { return done_[index % window_]; }

  size_t cost_of(const Task& task) const { return cost_ ? cost_(task) : 0; }

  // Whether the next task fits beside the running ones in `room` bytes of the budget.
  bool fits_beside(size_t room) const {
    if (queue_.front().alone) return false;
    if (!cost_ || budget_ == 0) return true;
    return running_cost_ + cost_of(queue_.front().task) <= room;
  }

  // Whether the next task may start: nothing else runs, or it fits beside what does.
  bool fits() const { return running_ == 0 || fits_beside(budget_); }

  // Starts threads, with the mutex held, while more tasks wait than threads are free to
  // take them; under a budget only while the next task fits beside the running ones once
  // the new thread's stack is taken from the budget (the first thread always starts).
  void grow() {
    while (threads_.size() < max_threads_ && queue_.size() > waiting_) {
      if (!threads_.empty() && !fits_beside(budget_ - std::min(budget_, per_thread_))) return;
      try {
        threads_.emplace_back([this, worker = make_worker_()]() mutable { work(worker); });
      } catch (const std::system_error&) {
        max_threads_ = threads_.size();  // no more threads to be had
        return;
      } catch (const std::bad_alloc&) {
        max_threads_ = threads_.size();
        return;
      }
      waiting_++;  // counted from its start: it takes a task before it waits
      // A budget of 0 means none is known: keep it so, not an empty one.
      if (budget_ != 0) budget_ -= std::min(budget_ - 1, per_thread_);
    }
  }

  void work(Worker& worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [this] { return queue_.empty() ? stopping_ : fits(); });
      if (queue_.empty()) return;
      waiting_--;
      Queued next = std::move(queue_.front());
      queue_.pop_front();
      const size_t index = next.index;
      Task& task = next.task;
      const size_t cost = cost_of(task);
      running_++;
      running_cost_ += cost;
      bool shared = running_ > 1;
      grow();  // the tasks behind this one may want a thread of their own
      lock.unlock();
      std::exception_ptr failure;
      std::optional<Result> result;
      try {
        result.emplace(worker(task));
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      shared = shared || running_ > 1;
      running_--;
      running_cost_ -= cost;
      waiting_++;
      if (!failure && shared && retry_ && retry_(*result)) {
        queue_.push_front(Queued{index, std::move(task), true});
        work_ready_.notify_all();
        continue;
      }
      if (failure) {
        if (!failure_) failure_ = failure;
        result.emplace();
      }
      slot(index) = std::move(result);
      if (index == delivered_) result_ready_.notify_one();
      work_ready_.notify_all();  // the room this task leaves may let the next one start
    }
  }

  std::function<Worker()> make_worker_;
  Sink sink_;
  Retry retry_;
  size_t max_threads_;
  size_t window_;
  Worker inline_worker_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable result_ready_;
  struct Queued {
    size_t index;
    Task task;
    bool alone;  // runs only when nothing else does
  };
  std::deque<Queued> queue_;
  // Finished results by index modulo the window, allocated up front: storing one needs no
  // memory, which may have run out.
  std::vector<std::optional<Result>> done_;
  size_t submitted_ = 0;
  size_t delivered_ = 0;
  size_t waiting_ = 0;  // threads without a task
  bool stopping_ = false;
  Cost cost_;
  size_t budget_;      // less the stacks of the threads started
  size_t per_thread_;  // what a thread takes of the budget
  int running_ = 0;
  size_t running_cost_ = 0;
  std::exception_ptr failure_;  // the first a worker threw
};

}  // namespace stemloop_tools
