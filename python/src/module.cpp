// The Python module `stemloop`: reusable models, folding and evaluation of single
// sequences and of batches on several threads, the ensemble and suboptimal structures,
// and FASTA files.
#include <pybind11/pybind11.h>

#include "batch.hpp"
#include "python_model.hpp"
#include "stemloop/version.h"

namespace py = pybind11;

PYBIND11_MODULE(stemloop, m) {
  stemloop_python::claim_exception_state();  // for the importing thread
  m.doc() = R"doc(RNA secondary structure: folding, structure energies, the ensemble, suboptimals.

  >>> import stemloop
  >>> stemloop.fold("GGGGAAAACCCC")
  FoldResult(sequence='GGGGAAAACCCC', structure='((((....))))', energy=-5.4)
  >>> model = stemloop.Model(temperature=25.0, dangles=2)
  >>> results = model.fold_batch(["GGGGAAAACCCC", "GGGAAACCC"], threads=2)
  >>> model.evaluate("GGGGAAAACCCC", "((((....))))").loops[0].kind
  'exterior'
  >>> stemloop.partition("GGGGAAAACCCC").mea().structure
  '((((....))))'
  >>> stemloop.subopt("GGGGAAAACCCC", 1.0)[0]
  ('((((....))))', -5.4)
  >>> for record in stemloop.read_fasta("seqs.fa.gz"):
  ...     print(record.name, stemloop.fold(record.sequence).energy)
  >>> ensembles = stemloop.partition_batch((r.sequence for r in stemloop.read_fasta("seqs.fa")),
  ...                                      threads=2)
  >>> next(stemloop.iter_subopt("GGGGAAAACCCC", 10.0))
  ('((((....))))', -5.4)

Energies are in kcal/mol; positions are 0-based. Results equal those of the
command-line tools stemloop-fold and stemloop-eval with the same options, and input
those tools refuse raises ValueError with their message; a bad argument raises
TypeError or ValueError led by the name of the function called ("fold(): ...").
Batches take any iterable of str. Results compare by value and pickle; in a notebook a
FoldResult shows its drawing. Ensemble arrays need numpy.)doc";
  m.attr("__version__") = STEMLOOP_VERSION;
  m.attr("PARAMETERS") = STEMLOOP_PARAMETERS;

  stemloop_python::ModelClass model = stemloop_python::bind_model(m);
  stemloop_python::bind_fold(m, model);
  stemloop_python::bind_evaluate(m, model);
  stemloop_python::bind_partition(m, model);
  stemloop_python::bind_subopt(m, model);
  stemloop_python::bind_subopt_iterator(m, model);
  stemloop_python::bind_fasta(m);
}
