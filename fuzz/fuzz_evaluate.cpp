// Structure evaluation on arbitrary sequence and structure text.
//
// Input: byte 0 selects the options (bits 0-2 dangles, bit 3 logML, bit 4 tetra_loop off,
// bits 5-6 backtrack type); the rest is the sequence, a newline, the structure (without
// a newline the rest is cut in two halves). The engine either rejects the pair with an
// Error for a reason that really applies, or returns an energy whose loop breakdown adds
// up to it and that the classic energy_of_struct reproduces under the same option globals.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.hpp"
#include "stemloop/energy_params.hpp"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/model.hpp"
#include "stemloop/stemloop.h"

namespace {

constexpr size_t kMaxInput = 801;

bool balanced(const std::string& s) {
  int depth = 0;
  for (char c : s) {
    if (c == '(') depth++;
    if (c == ')' && --depth < 0) return false;
  }
  return depth == 0;
}

const stemloop::Model& model() {
  static const stemloop::Model m;
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  const uint8_t flags = data[0];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string sequence, structure;
  const size_t newline = rest.find('\n');
  if (newline != std::string::npos) {
    sequence = rest.substr(0, newline);
    structure = rest.substr(newline + 1);
  } else {
    sequence = rest.substr(0, rest.size() / 2);
    structure = rest.substr(rest.size() / 2);
  }

  // Modes outside 0..3 must behave as mode 1; 4 and 5 try two such values.
  static const int kDangles[8] = {0, 1, 2, 3, 5, -1, 2, 0};
  stemloop::EvalOptions opt;
  opt.dangles = kDangles[flags & 7];
  opt.logML = (flags & 8) != 0;
  opt.tetra_loop = (flags & 16) == 0;
  static const char kBacktrack[4] = {'F', 'M', 'C', 'F'};
  opt.backtrack_type = kBacktrack[(flags >> 5) & 3];

  const bool has_nul = sequence.find('\0') != std::string::npos;
  stemloop::Evaluation ev;
  try {
    ev = stemloop::evaluate_structure(model(), opt, sequence, structure, true);
  } catch (const stemloop::Error& e) {
    const std::string what = e.what();
    if (sequence.size() != structure.size()) {
      FUZZ_CHECK(what == "string and structure have unequal length");
    } else if (!balanced(structure)) {
      FUZZ_CHECK(what == "unbalanced brackets in structure");
    } else {
      // The text form of the sequence ends at its first NUL and is then too short.
      FUZZ_CHECK(has_nul);
    }
    return 0;
  }
  FUZZ_CHECK(sequence.size() == structure.size() && balanced(structure));

  // The breakdown: one exterior loop first, then one entry per pair, summing to the total.
  if (sequence.empty()) {
    FUZZ_CHECK(ev.energy == 0);
  } else {
    int sum = 0, pairs = 0;
    for (char c : structure) pairs += c == '(';
    FUZZ_CHECK(!ev.loops.empty() && ev.loops[0].kind == stemloop::LoopKind::Exterior);
    for (const stemloop::LoopContribution& loop : ev.loops) sum += loop.energy;
    FUZZ_CHECK(sum == ev.energy);
    FUZZ_CHECK(ev.loops.size() == static_cast<size_t>(pairs) + 1);
    for (size_t k = 1; k < ev.loops.size(); k++) {
      const stemloop::LoopContribution& loop = ev.loops[k];
      FUZZ_CHECK(loop.i >= 1 && loop.i < loop.j && loop.j <= static_cast<int>(structure.size()));
      FUZZ_CHECK(structure[static_cast<size_t>(loop.i - 1)] == '(' &&
                 structure[static_cast<size_t>(loop.j - 1)] == ')');
    }
  }
  // Every warning names a bracketed pair.
  for (const stemloop::PairWarning& w : ev.warnings) {
    FUZZ_CHECK(w.i >= 1 && w.i < w.j && w.j <= static_cast<int>(structure.size()));
    FUZZ_CHECK(structure[static_cast<size_t>(w.i - 1)] == '(' &&
               structure[static_cast<size_t>(w.j - 1)] == ')');
  }

  // Without loops the same evaluation gives the same energy.
  FUZZ_CHECK(stemloop::evaluate_structure(model(), opt, sequence, structure).energy == ev.energy);

  // The classic entry point on the same text; it prints one line per pair that cannot
  // form, so only inputs without such pairs are compared here to keep the runs quiet.
  if (has_nul || structure.find('\0') != std::string::npos || !ev.warnings.empty()) return 0;
  dangles = opt.dangles;
  logML = opt.logML ? 1 : 0;
  tetra_loop = opt.tetra_loop ? 1 : 0;
  backtrack_type = opt.backtrack_type;
  const float kcal = energy_of_struct(sequence.c_str(), structure.c_str());
  FUZZ_CHECK(kcal == stemloop::energy_to_kcal(ev.energy));
  return 0;
}
