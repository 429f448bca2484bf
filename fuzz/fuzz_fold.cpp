// Minimum-free-energy folding of arbitrary sequences under arbitrary options and
// constraint strings.
//
// Input: byte 0 the options (bits 0-1 dangles, bit 2 noLonelyPairs, bit 3 no_closingGU,
// bit 4 tetra_loop off, bit 5 a constraint follows, bits 6-7 backtrack type), byte 1 how
// the text is read (bit 0: sequence bytes as they are instead of one of ACGU each; bit 1:
// constraint bytes as they are instead of one of the constraint characters each; bit 2:
// the text starts with a line holding a sequence that the folder folds first); then the
// sequence and, with a constraint, a newline and the constraint.
//
// One Folder serves all inputs, as for a caller folding many sequences; after a warm-up
// fold its result must equal that of a fresh Folder.
//
// The fold either fails for a reason that applies (unbalanced constraint brackets; no
// structure at all for backtrack types C and M) or returns a structure that is nested,
// has the sequence's length, forms only allowed pairs, keeps the lonely-pair rule and
// every constraint character; its energy is what evaluation gives for the structure where
// the two agree by construction, and the classic fold() reproduces the result.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "stemloop/energy_params.hpp"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/stemloop.h"

namespace {

constexpr size_t kMaxBases = 200;

const stemloop::Model& model() {
  static const stemloop::Model m;
  return m;
}

// Partner of every position (1-based, 0 unpaired) of a bracket string; empty when the
// brackets do not balance.
std::vector<int> partners(const std::string& s) {
  std::vector<int> pt(s.size() + 1, 0), open;
  for (size_t k = 0; k < s.size(); k++) {
    const int pos = static_cast<int>(k) + 1;
    if (s[k] == '(') {
      open.push_back(pos);
    } else if (s[k] == ')') {
      if (open.empty()) return {};
      pt[static_cast<size_t>(pos)] = open.back();
      pt[static_cast<size_t>(open.back())] = pos;
      open.pop_back();
    }
  }
  if (!open.empty()) return {};
  return pt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0], mode = data[1];
  std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::string warm_up;
  const bool has_warm_up = (mode & 4) != 0;
  if (has_warm_up) {
    const size_t newline = text.find('\n');
    if (newline == std::string::npos || newline > kMaxBases) return 0;
    warm_up = text.substr(0, newline);
    text.erase(0, newline + 1);
  }
  const bool constrained = (flags & 32) != 0;
  std::string sequence = text, constraint;
  if (constrained) {
    const size_t newline = text.find('\n');
    if (newline == std::string::npos) return 0;
    sequence = text.substr(0, newline);
    constraint = text.substr(newline + 1);
  }
  if (sequence.size() > kMaxBases || constraint.size() > kMaxBases + 8) return 0;
  if ((mode & 1) == 0)
    for (char& c : sequence) c = "ACGU"[static_cast<unsigned char>(c) & 3];
  if ((mode & 2) == 0)
    for (char& c : constraint) c = "....()<>x|..()()"[static_cast<unsigned char>(c) & 15];

  stemloop::FoldOptions opt;
  opt.dangles = flags & 3;
  opt.noLonelyPairs = (flags & 4) != 0;
  opt.no_closingGU = (flags & 8) != 0;
  opt.tetra_loop = (flags & 16) == 0;
  static const char kBacktrack[4] = {'F', 'F', 'C', 'M'};
  opt.backtrack_type = kBacktrack[flags >> 6];

  // What the fold reads of the constraint: up to its first NUL and at most n characters.
  const int n = static_cast<int>(sequence.size());
  const bool has_nul = sequence.find('\0') != std::string::npos;
  const std::string cons =
      constrained ? std::string(constraint.c_str()).substr(0, sequence.size()) : std::string();
  const std::vector<int> forced = partners(cons);

  static stemloop::Folder folder;
  if (has_warm_up) {
    try {
      folder.fold(model(), stemloop::FoldOptions{}, warm_up);
    } catch (const stemloop::Error&) {
    }
  }
  const char* constraint_arg = constrained ? constraint.c_str() : nullptr;
  // The outcome of a fresh Folder: its structure and energy, or its error message.
  std::string fresh_outcome;
  if (has_warm_up) {
    stemloop::Folder fresh;
    try {
      const stemloop::FoldResult f = fresh.fold(model(), opt, sequence, constraint_arg);
      fresh_outcome = f.structure + " " + std::to_string(f.energy);
    } catch (const stemloop::Error& e) {
      fresh_outcome = e.what();
    }
  }
  stemloop::FoldResult r;
  try {
    r = folder.fold(model(), opt, sequence, constraint_arg);
  } catch (const stemloop::Error& e) {
    const std::string what = e.what();
    if (has_warm_up) FUZZ_CHECK(what == fresh_outcome);
    if (what == "unbalanced brackets in constraints" ||
        what == "unbalanced brackets in constraint string") {
      FUZZ_CHECK(constrained && forced.empty());
    } else {
      FUZZ_CHECK(what == "backtracking failed in repeat");
      FUZZ_CHECK(opt.backtrack_type == 'C' || opt.backtrack_type == 'M');
      FUZZ_CHECK(!constrained || !forced.empty());
    }
    return 0;
  }
  FUZZ_CHECK(!constrained || !forced.empty());
  if (has_warm_up) FUZZ_CHECK(r.structure + " " + std::to_string(r.energy) == fresh_outcome);

  // A nested structure of the sequence's length, built from the reported pairs.
  const std::string& st = r.structure;
  FUZZ_CHECK(st.size() == sequence.size());
  FUZZ_CHECK(st.find_first_not_of("().") == std::string::npos);
  const std::vector<int> pt = partners(st);
  FUZZ_CHECK(!pt.empty());
  size_t pair_count = 0;
  for (char c : st) pair_count += c == '(';
  FUZZ_CHECK(r.pairs.size() == pair_count);
  for (const auto& [i, j] : r.pairs) {
    FUZZ_CHECK(i >= 1 && j <= n && j - i > MIN_HAIRPIN);
    FUZZ_CHECK(pt[static_cast<size_t>(i)] == j);
  }

  const stemloop::EncodedSequence enc = stemloop::encode_sequence(sequence, model().pairs);
  for (int i = 1; i <= n; i++) {
    const int j = pt[static_cast<size_t>(i)];
    if (j <= i) continue;
    const bool forced_pair = !forced.empty() && static_cast<size_t>(i) < forced.size() &&
                             forced[static_cast<size_t>(i)] == j;
    // Only a pair forced by the constraint may join bases that cannot pair.
    if (!forced_pair) {
      FUZZ_CHECK(model().pairs.pair[enc.S[static_cast<size_t>(i)]][enc.S[static_cast<size_t>(j)]] !=
                 0);
    }
    // No lonely pairs: every pair stacks on a neighbour.
    if (opt.noLonelyPairs) {
      const bool inner = pt[static_cast<size_t>(i + 1)] == j - 1;
      const bool outer = i > 1 && j < n && pt[static_cast<size_t>(i - 1)] == j + 1;
      FUZZ_CHECK(inner || outer);
    }
  }

  // The constraint characters.
  int items = 0, met = 0;
  for (size_t k = 0; k < cons.size(); k++) {
    const int pos = static_cast<int>(k) + 1;
    const int partner = pt[static_cast<size_t>(pos)];
    switch (cons[k]) {
      case 'x':  // unpaired
        FUZZ_CHECK(partner == 0);
        break;
      case '<':  // no partner to its left
        FUZZ_CHECK(partner == 0 || partner > pos);
        break;
      case '>':  // no partner to its right
        FUZZ_CHECK(partner < pos);
        break;
      case '|':
        items++;
        met += partner != 0;
        break;
      case ')': {
        // The bracket pair (p, pos): each pairs with the other or not at all, and no pair
        // joins a position strictly inside to one outside.
        const int p = forced[static_cast<size_t>(pos)];
        FUZZ_CHECK(pt[static_cast<size_t>(p)] == 0 || pt[static_cast<size_t>(p)] == pos);
        FUZZ_CHECK(partner == 0 || partner == p);
        for (int m = p + 1; m < pos; m++) {
          const int q = pt[static_cast<size_t>(m)];
          FUZZ_CHECK(q == 0 || (q > p && q < pos));
        }
        break;
      }
      default:
        break;
    }
  }
  FUZZ_CHECK(r.constraint_items == items);
  FUZZ_CHECK(r.constraint_met == met);
  FUZZ_CHECK(r.kcal == stemloop::energy_to_kcal(r.energy));

  if (opt.backtrack_type == 'C' && n >= 5) FUZZ_CHECK(pt[1] == n);

  if (opt.backtrack_type == 'F') {
    // The open chain is always allowed and costs nothing.
    if (items == 0) FUZZ_CHECK(r.energy <= 0);
    // With dangles 0 and 2 every term the fill adds is one the evaluation adds for the
    // same structure, bonuses aside.
    const bool brackets = cons.find_first_of("()") != std::string::npos;
    // (Evaluation refuses a sequence whose text ends early at a NUL.)
    if ((opt.dangles == 0 || opt.dangles == 2) && !opt.no_closingGU && !has_nul &&
        !(opt.noLonelyPairs && brackets)) {
      stemloop::EvalOptions eo;
      eo.dangles = opt.dangles;
      eo.tetra_loop = opt.tetra_loop;
      FUZZ_CHECK(stemloop::evaluate_structure(model(), eo, sequence, st).energy == r.energy);
    }
  }

  // The classic fold on the same input, where it would neither exit nor print: a
  // non-empty sequence without NUL, and every '|' position paired.
  if (n == 0 || has_nul || r.constraints_unmet()) return 0;
  dangles = opt.dangles;
  noLonelyPairs = opt.noLonelyPairs;
  no_closingGU = opt.no_closingGU;
  tetra_loop = opt.tetra_loop;
  backtrack_type = opt.backtrack_type;
  fold_constrained = constrained;
  std::vector<char> buffer(std::max(sequence.size(), constraint.size()) + 1, '\0');
  std::memcpy(buffer.data(), constraint.data(), constraint.size());
  const float kcal = fold(sequence.c_str(), buffer.data());
  FUZZ_CHECK(kcal == r.kcal);
  FUZZ_CHECK(std::string(buffer.data()) == st);
  return 0;
}
