// The Python module `stemloop`: reusable models, folding and evaluation of single
// sequences and of batches on several threads, the ensemble and suboptimal structures.
#include <pybind11/pybind11.h>

#include "python_model.hpp"
#include "stemloop/version.h"

namespace py = pybind11;

PYBIND11_MODULE(stemloop, m) {
  m.doc() = R"doc(RNA secondary structure: folding, structure energies, the ensemble, suboptimals.

  >>> import stemloop
  >>> stemloop.fold("GGGGAAAACCCC")
  FoldResult(structure='((((....))))', energy=-5.4)
  >>> model = stemloop.Model(temperature=25.0, dangles=2)
  >>> results = model.fold_batch(["GGGGAAAACCCC", "GGGAAACCC"], threads=2)
  >>> model.evaluate("GGGGAAAACCCC", "((((....))))").loops[0].kind
  'exterior'
  >>> stemloop.partition("GGGGAAAACCCC").mea().structure
  '((((....))))'
  >>> stemloop.subopt("GGGGAAAACCCC", 1.0)[0]
  ('((((....))))', -5.4)

Energies are in kcal/mol; positions are 0-based. Results equal those of the
command-line tools stemloop-fold and stemloop-eval with the same options, and input
those tools refuse raises ValueError with their message.)doc";
  m.attr("__version__") = STEMLOOP_VERSION;
  m.attr("PARAMETERS") = STEMLOOP_PARAMETERS;

  stemloop_python::ModelClass model = stemloop_python::bind_model(m);
  stemloop_python::bind_fold(m, model);
  stemloop_python::bind_evaluate(m, model);
  stemloop_python::bind_partition(m, model);
  stemloop_python::bind_subopt(m, model);
}
