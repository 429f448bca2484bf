// Runs tasks on a fixed number of threads and hands the results back in submission order,
// so what a program prints does not depend on the number of threads. At most `window`
// tasks are held at once, which bounds memory on long inputs.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace stemloop_tools {

template <typename Task, typename Result>
class OrderedRunner {
 public:
  // Each thread gets its own worker from make_worker (for example one holding its own
  // Folder). A worker must not throw. Results go to `sink` on the submitting thread.
  using Worker = std::function<Result(Task&)>;
  using Sink = std::function<void(Result&)>;

  OrderedRunner(int threads, std::function<Worker()> make_worker, Sink sink)
      : sink_(std::move(sink)), window_(static_cast<size_t>(threads) * 4) {
    if (threads <= 1) {
      inline_worker_ = make_worker();
      return;
    }
    for (int t = 0; t < threads; t++) {
      threads_.emplace_back([this, worker = make_worker()]() mutable { work(worker); });
    }
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
    if (threads_.empty()) {
      Result result = inline_worker_(task);
      sink_(result);
      return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    deliver(lock, false);
    while (submitted_ - delivered_ >= window_) deliver(lock, true);
    queue_.emplace_back(submitted_++, std::move(task));
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
    if (wait) result_ready_.wait(lock, [this] { return done_.count(delivered_) != 0; });
    for (auto it = done_.find(delivered_); it != done_.end(); it = done_.find(delivered_)) {
      Result result = std::move(it->second);
      done_.erase(it);
      delivered_++;
      lock.unlock();
      sink_(result);
      lock.lock();
    }
  }

  void work(Worker& worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      auto [index, task] = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      Result result = worker(task);
      lock.lock();
      done_.emplace(index, std::move(result));
      if (index == delivered_) result_ready_.notify_one();
    }
  }

  Sink sink_;
  size_t window_;
  Worker inline_worker_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable result_ready_;
  std::deque<std::pair<size_t, Task>> queue_;
  std::map<size_t, Result> done_;
  size_t submitted_ = 0;
  size_t delivered_ = 0;
  bool stopping_ = false;
};

}  // namespace stemloop_tools
