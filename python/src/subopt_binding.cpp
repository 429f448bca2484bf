// subopt and zuker: suboptimal structures of one sequence as lists of (structure, energy),
// as stemloop-fold --subopt and --zuker list them.
#include "subopt_binding.hpp"

#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "batch.hpp"
#include "stemloop/constants.h"
#include "stemloop/error.hpp"
#include "stemloop/records.hpp"

namespace py = pybind11;

namespace stemloop_python {

std::unique_ptr<stemloop::SuboptFolder> subopt_folder(
    const PythonModel& m, const std::string& sequence,
    const std::optional<std::string>& constraint) {
  refuse_if(stemloop::check_sequence(sequence, sequence.size()));
  if (constraint) refuse_if(stemloop::check_constraint(*constraint, sequence.size()));
  stemloop::SuboptOptions options = stemloop::subopt_options(m.fold);
  if (constraint) options.constraint = *constraint;
  try {
    auto folder = std::make_unique<stemloop::SuboptFolder>(m.model, options, sequence);
    if (folder->mfe() >= ENERGY_INF) throw py::value_error("no structure meets the constraints");
    return folder;
  } catch (const stemloop::Error& e) {
    throw py::value_error(stemloop::describe(e, "constraint"));
  }
}

stemloop::BandOptions band_options(double delta, std::optional<long long> max, bool sorted) {
  if (!std::isfinite(delta) || delta < 0 || delta > 1e6)
    bad_value("delta must be from 0 to 1000000 kcal/mol");
  if (max && *max < 1) bad_value("max must be at least 1");
  stemloop::BandOptions band;
  band.delta = static_cast<int>(std::lround(100 * delta));  // "0.29" means 29, as the tool
  band.max_structures = max ? static_cast<size_t>(*max) : 0;
  band.sorted = sorted;
  return band;
}

namespace {

using Scored = std::pair<std::string, double>;

// Fills the folder's tables and hands it to `list`; needs no GIL.
template <class List>
std::vector<Scored> suboptimal(const PythonModel& m, const std::string& sequence,
                               const std::optional<std::string>& constraint, const List& list) {
  const std::unique_ptr<stemloop::SuboptFolder> folder = subopt_folder(m, sequence, constraint);
  std::vector<Scored> structures;
  try {
    list(*folder, structures);
  } catch (const stemloop::Error& e) {
    throw py::value_error(stemloop::describe(e, "constraint"));
  }
  return structures;
}

std::vector<Scored> subopt(const PythonModel& m, const std::string& sequence, double delta,
                           std::optional<long long> max, bool sorted,
                           const std::optional<std::string>& constraint) {
  const stemloop::BandOptions band = band_options(delta, max, sorted);
  py::gil_scoped_release released;
  return suboptimal(m, sequence, constraint, [&](const auto& folder, auto& out) {
    folder.band(band, [&](const std::string& structure, int energy) {
      out.emplace_back(structure, kcal(energy));
      return true;
    });
  });
}

std::vector<Scored> zuker(const PythonModel& m, const std::string& sequence, int n, int window,
                          double percent, const std::optional<std::string>& constraint) {
  if (n < 1) bad_value("n must be at least 1");
  if (window < 0) bad_value("window must be at least 0");
  if (!std::isfinite(percent) || percent < 0) bad_value("percent must be at least 0");
  stemloop::ZukerOptions options;
  options.max_structures = n;
  options.window = window;
  options.percent = percent;
  py::gil_scoped_release released;
  return suboptimal(m, sequence, constraint, [&](const auto& folder, auto& out) {
    for (const stemloop::ScoredStructure& s : folder.zuker(options).structures)
      out.emplace_back(s.structure, kcal(s.energy));
  });
}

constexpr char kSuboptDoc[] =
    R"doc(Every structure within delta kcal/mol of the minimum free energy.

Each structure of the band is listed once; the model's dangle mode must be 0 or 2.
max: stop after this many structures. The list is held in memory and a band grows
  about exponentially with delta, so bound it when delta is wide, or use iter_subopt.
sorted: by energy, then by dot-bracket text, instead of the order of the search.
constraint: optional string as long as the sequence, held strictly: '(' and ')' pair
  with each other, '<' and '>' pair downstream or upstream, '|' pairs, 'x' stays
  unpaired, '.' is free.

Returns a list of (structure, energy in kcal/mol); the GIL is released while it is
built. Raises ValueError, with stemloop-fold's message, for input it refuses.)doc";

constexpr char kZukerDoc[] = R"doc(Up to n distinct good structures (Zuker's suboptimals).

The minimum-free-energy structure, then in order of energy the best structure through
each pair that lies more than window bases, at either end, from every pair listed
before, within percent of |minimum free energy| above it. The model's dangle mode
must be 0 or 2; constraint as for subopt.

Returns a list of (structure, energy in kcal/mol); the GIL is released while it is
built. Raises ValueError, with stemloop-fold's message, for input it refuses.)doc";

}  // namespace

void bind_subopt(py::module_& m, ModelClass& model) {
  using namespace pybind11::literals;
  const stemloop::ZukerOptions defaults;
  model
      .def("subopt", named("subopt", &subopt), "sequence"_a, "delta"_a, py::kw_only(),
           "max"_a = py::none(), "sorted"_a = false, "constraint"_a = py::none(), kSuboptDoc)
      .def("zuker", named("zuker", &zuker), "sequence"_a, "n"_a, py::kw_only(),
           "window"_a = defaults.window, "percent"_a = defaults.percent,
           "constraint"_a = py::none(), kZukerDoc);

  m.def("subopt",
        named(
            "subopt",
            +[](const std::string& sequence, double delta, std::optional<long long> max,
                bool sorted, const std::optional<std::string>& constraint, py::kwargs options) {
              return subopt(model_from_options(options), sequence, delta, max, sorted, constraint);
            }),
        "sequence"_a, "delta"_a, py::kw_only(), "max"_a = py::none(), "sorted"_a = false,
        "constraint"_a = py::none(),
        "The band within delta kcal/mol with Model(**options); see Model.subopt and Model for "
        "the keywords.");
  m.def("zuker",
        named(
            "zuker",
            +[](const std::string& sequence, int n, int window, double percent,
                const std::optional<std::string>& constraint, py::kwargs options) {
              return zuker(model_from_options(options), sequence, n, window, percent, constraint);
            }),
        "sequence"_a, "n"_a, py::kw_only(), "window"_a = defaults.window,
        "percent"_a = defaults.percent, "constraint"_a = py::none(),
        "Zuker's suboptimals with Model(**options); see Model.zuker and Model for the "
        "keywords.");
}

}  // namespace stemloop_python
