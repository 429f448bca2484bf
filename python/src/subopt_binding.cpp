// subopt and zuker: suboptimal structures of one sequence as lists of (structure, energy),
// as stemloop-fold --subopt and --zuker list them.
#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app.hpp"
#include "batch.hpp"
#include "python_model.hpp"
#include "records.hpp"
#include "stemloop/constants.h"
#include "stemloop/subopt.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

using Scored = std::pair<std::string, double>;

// Fills the folder's tables and hands it to `list`; needs no GIL.
template <class List>
std::vector<Scored> suboptimal(const PythonModel& m, const std::string& sequence,
                               const std::optional<std::string>& constraint, const List& list) {
  refuse_if(stemloop_tools::check_sequence(sequence, sequence.size()));
  if (constraint) refuse_if(stemloop_tools::check_constraint(*constraint, sequence.size()));
  stemloop::SuboptOptions options = stemloop::subopt_options(m.fold);
  if (constraint) options.constraint = *constraint;
  std::vector<Scored> structures;
  try {
    const stemloop::SuboptFolder folder(m.model, options, sequence);
    if (folder.mfe() >= ENERGY_INF) throw py::value_error("no structure meets the constraints");
    list(folder, structures);
  } catch (const stemloop::Error& e) {
    throw py::value_error(stemloop_tools::describe(e, "constraint"));
  }
  return structures;
}

std::vector<Scored> subopt(const PythonModel& m, const std::string& sequence, double delta,
                           std::optional<long long> max, bool sorted,
                           const std::optional<std::string>& constraint) {
  if (!std::isfinite(delta) || delta < 0 || delta > 1e6)
    throw py::value_error("delta must be from 0 to 1000000 kcal/mol");
  if (max && *max < 1) throw py::value_error("max must be at least 1");
  stemloop::BandOptions band;
  band.delta = static_cast<int>(std::lround(100 * delta));  // "0.29" means 29, as the tool
  band.max_structures = max ? static_cast<size_t>(*max) : 0;
  band.sorted = sorted;
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
  if (n < 1) throw py::value_error("n must be at least 1");
  if (window < 0) throw py::value_error("window must be at least 0");
  if (!std::isfinite(percent) || percent < 0) throw py::value_error("percent must be at least 0");
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
  about exponentially with delta, so bound it when delta is wide.
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
      .def("subopt", &subopt, "sequence"_a, "delta"_a, py::kw_only(), "max"_a = py::none(),
           "sorted"_a = false, "constraint"_a = py::none(), kSuboptDoc)
      .def("zuker", &zuker, "sequence"_a, "n"_a, py::kw_only(), "window"_a = defaults.window,
           "percent"_a = defaults.percent, "constraint"_a = py::none(), kZukerDoc);

  m.def(
      "subopt",
      [](const std::string& sequence, double delta, std::optional<long long> max, bool sorted,
         const std::optional<std::string>& constraint, py::kwargs options) {
        if (!options.contains("dangles")) options["dangles"] = 2;
        const py::object built = model_from_options(options);
        return subopt(built.cast<const PythonModel&>(), sequence, delta, max, sorted, constraint);
      },
      "sequence"_a, "delta"_a, py::kw_only(), "max"_a = py::none(), "sorted"_a = false,
      "constraint"_a = py::none(),
      "The band within delta kcal/mol with Model(**options), in dangle mode 2 unless dangles= "
      "is given; see Model.subopt and Model for the keywords.");
  m.def(
      "zuker",
      [](const std::string& sequence, int n, int window, double percent,
         const std::optional<std::string>& constraint, py::kwargs options) {
        if (!options.contains("dangles")) options["dangles"] = 2;
        const py::object built = model_from_options(options);
        return zuker(built.cast<const PythonModel&>(), sequence, n, window, percent, constraint);
      },
      "sequence"_a, "n"_a, py::kw_only(), "window"_a = defaults.window,
      "percent"_a = defaults.percent, "constraint"_a = py::none(),
      "Zuker's suboptimals with Model(**options), in dangle mode 2 unless dangles= is given; "
      "see Model.zuker and Model for the keywords.");
}

}  // namespace stemloop_python
