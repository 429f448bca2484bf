// iter_subopt: the band of suboptimal structures as an iterator, in bounded memory
// however wide the band. A thread walks the band and hands the structures over through a
// queue of at most kQueued; it waits while the queue is full and stops when the iterator
// is closed or dropped.
#include <pybind11/stl.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "arguments.hpp"
#include "batch.hpp"
#include "stemloop/error.hpp"
#include "subopt_binding.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

using Scored = std::pair<std::string, int>;

constexpr size_t kQueued = 256;

class BandStream {
 public:
  // Fills the tables at once, so that bad input raises here; the walk starts at the
  // first next().
  BandStream(PythonModel model, const std::string& sequence,
             const std::optional<std::string>& constraint, const stemloop::BandOptions& band)
      : model_(std::make_unique<PythonModel>(std::move(model))), band_(band) {
    folder_ = subopt_folder(*model_, sequence, constraint);
  }
  ~BandStream() { close(); }
  BandStream(const BandStream&) = delete;
  BandStream& operator=(const BandStream&) = delete;

  // The next structure, or nothing at the end of the band. Needs no GIL.
  std::optional<Scored> next() {
    if (ready_.empty()) {
      if (!walker_.joinable() && !closed_) walker_ = std::thread([this] { walk(); });
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || finished_ || closed_; });
      ready_.swap(queue_);
      changed_.notify_all();
      if (ready_.empty() && failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    if (ready_.empty()) return std::nullopt;
    Scored next = std::move(ready_.front());
    ready_.pop_front();
    return next;
  }

  // Stops the walk; the iterator ends.
  void close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
      queue_.clear();
    }
    changed_.notify_all();
    if (walker_.joinable()) walker_.join();
    ready_.clear();
  }

 private:
  void walk() {
    claim_exception_state();
    std::exception_ptr failure;
    try {
      folder_->band(band_, [this](const std::string& structure, int energy) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < kQueued || closed_; });
        if (closed_) return false;
        queue_.emplace_back(structure, energy);
        changed_.notify_all();
        return true;
      });
    } catch (const stemloop::Error& e) {
      failure = std::make_exception_ptr(py::value_error(stemloop::describe(e, "constraint")));
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    failure_ = failure;
    changed_.notify_all();
  }

  std::unique_ptr<PythonModel> model_;  // the folder keeps a reference to its model
  std::unique_ptr<stemloop::SuboptFolder> folder_;
  stemloop::BandOptions band_;
  std::deque<Scored> ready_;  // taken from the queue, read by next() alone
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Scored> queue_;
  bool finished_ = false;
  bool closed_ = false;
  std::exception_ptr failure_;
  std::thread walker_;
};

std::unique_ptr<BandStream> iter_subopt(const PythonModel& m, const std::string& sequence,
                                        double delta, std::optional<long long> max, bool sorted,
                                        const std::optional<std::string>& constraint) {
  const stemloop::BandOptions band = band_options(delta, max, sorted);
  PythonModel model = make_model(m.settings);  // the stream's own, as it may outlive `m`
  py::gil_scoped_release released;
  return std::make_unique<BandStream>(std::move(model), sequence, constraint, band);
}

py::tuple next_structure(BandStream& stream) {
  std::optional<Scored> next;
  {
    py::gil_scoped_release released;
    next = stream.next();
  }
  if (!next) throw py::stop_iteration();
  return py::make_tuple(next->first, kcal(next->second));
}

void close_stream(BandStream& stream) {
  py::gil_scoped_release released;
  stream.close();
}

constexpr char kIterSuboptDoc[] =
    R"doc(The structures within delta kcal/mol of the minimum free energy, one at a time.

Gives what subopt lists, in the same order, as an iterator of (structure, energy in
kcal/mol) that holds at most a few hundred structures however wide the band: a thread
walks the band ahead of the reader, with the GIL released, and stops when the iterator
is closed or dropped. max, sorted and constraint as for subopt (sorted walks the band
once for every 128 MB of structures). The tables are filled at the call, so input
stemloop-fold refuses raises ValueError, with its message, here.)doc";

}  // namespace

void bind_subopt_iterator(py::module_& m, ModelClass& model) {
  using namespace pybind11::literals;
  py::class_<BandStream>(m, "SuboptIterator",
                         "The structures of a band, one (structure, energy) at a time.")
      .def(
          "__iter__", [](py::object self) { return self; }, "The iterator itself.")
      .def("__next__", &next_structure, "The next (structure, energy in kcal/mol).")
      .def("close", &close_stream, "Stops the walk through the band; the iterator ends.");

  model.def("iter_subopt", named("iter_subopt", &iter_subopt), "sequence"_a, "delta"_a,
            py::kw_only(), "max"_a = py::none(), "sorted"_a = false, "constraint"_a = py::none(),
            kIterSuboptDoc);
  m.def("iter_subopt",
        named(
            "iter_subopt",
            +[](const std::string& sequence, double delta, std::optional<long long> max,
                bool sorted, const std::optional<std::string>& constraint, py::kwargs options) {
              return iter_subopt(model_from_options(options), sequence, delta, max, sorted,
                                 constraint);
            }),
        "sequence"_a, "delta"_a, py::kw_only(), "max"_a = py::none(), "sorted"_a = false,
        "constraint"_a = py::none(),
        "The band within delta kcal/mol as an iterator, with Model(**options); see "
        "Model.iter_subopt and Model for the keywords.");
}

}  // namespace stemloop_python
