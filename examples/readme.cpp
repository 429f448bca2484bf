// Folds a hairpin at 25 degrees Celsius, then evaluates the structure loop by loop.
#include <cstdio>

#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"

int main() {
  stemloop::ModelOptions mo;  // temperature, alphabet, noGU, nonstandard pairs
  mo.temperature = 25.0;
  const stemloop::Model model(mo);  // share one model read-only between threads
  stemloop::Folder folder;          // one folder per thread
  stemloop::FoldOptions fo;         // dangles, noLonelyPairs, no_closingGU, ...
  fo.dangles = 2;
  const stemloop::FoldResult r = folder.fold(model, fo, "GGGGAAAACCCC");
  std::printf("%s %.2f\n", r.structure.c_str(), r.kcal);

  stemloop::EvalOptions eo;  // dangles, logML, ...
  eo.dangles = 2;
  const stemloop::Evaluation ev =
      stemloop::evaluate_structure(model, eo, "GGGGAAAACCCC", r.structure, true);
  for (const stemloop::LoopContribution& loop : ev.loops)
    std::printf("%-10s %6.2f\n", stemloop::loop_kind_name(loop.kind), loop.energy / 100.0);
  return ev.energy == r.energy ? 0 : 1;
}
