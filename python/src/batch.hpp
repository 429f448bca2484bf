// Batches for the Python module: the items of a list run on several threads with the GIL
// released, and a refused item is reported as the tools report a refused record.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "arguments.hpp"
#include "stemloop/pseudoknots.hpp"
#include "stemloop/records.hpp"

namespace stemloop_python {

// The C++ runtime keeps a thread's exception state in thread-local memory of this module,
// allocated the first time the thread uses it; when that allocation fails because memory
// has run out, glibc ends the process rather than let bad_alloc become MemoryError. Each
// thread running module code calls this first, while memory is still to be had.
inline void claim_exception_state() {
  volatile int in_flight = std::uncaught_exceptions();  // volatile: the call is pure
  (void)in_flight;
}

// A record the tools refuse raises ValueError with their message, `why`.
inline void refuse_if(const std::string& why) {
  if (!why.empty()) throw pybind11::value_error(why);
}

// A given structure as stemloop-eval takes it: one character of ( ) . per base, pairs
// written with [] {} <> refused with their position.
inline void refuse_bad_structure(const std::string& structure, size_t bases) {
  refuse_if(stemloop::check_structure(structure, bases));
  std::string nested = structure;
  int dropped = 0;
  refuse_if(stemloop::resolve_pseudoknots(nested, false, dropped));
}

// Threads for a batch: the number of cores when none is given, as the tools' -j.
inline int batch_threads(std::optional<int> threads) {
  if (!threads) {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
  }
  if (*threads < 1) bad_value("threads must be at least 1");
  return *threads;
}

// Calls work(k) for k = 0 .. count-1; each thread gets its own `work` from make_work. When
// items failed, the failure of the first one is raised once all are done; a refusal
// (ValueError) is led by the item's label, "record 3" for the third.
template <class MakeWork>
void run_batch(size_t count, int threads, const MakeWork& make_work) {
  std::vector<std::exception_ptr> failures(count);
  std::atomic<size_t> next{0};
  const auto drain = [&] {
    claim_exception_state();
    auto work = make_work();
    for (size_t k = next++; k < count; k = next++) {
      try {
        work(k);
      } catch (...) {
        failures[k] = std::current_exception();
      }
    }
  };
  {
    pybind11::gil_scoped_release released;
    std::vector<std::thread> helpers;
    try {
      for (size_t t = 1; t < static_cast<size_t>(threads) && t < count; t++)
        helpers.emplace_back(drain);
    } catch (const std::system_error&) {
      // No more threads to be had: the ones running share the rest.
    }
    drain();
    for (std::thread& helper : helpers) helper.join();
  }
  for (size_t k = 0; k < count; k++) {
    if (!failures[k]) continue;
    try {
      std::rethrow_exception(failures[k]);
    } catch (const pybind11::value_error& e) {
      stemloop::RecordId id;
      id.number = k + 1;
      throw pybind11::value_error(id.label() + ": " + e.what());
    }
  }
}

}  // namespace stemloop_python
