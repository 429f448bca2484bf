// The classic C facade: module-level state over the engine. Not reentrant by design; the
// engine underneath is.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "classic_guard.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"
#include "stemloop/stemloop.h"

using stemloop::classic::guarded;

extern "C" {
int pair[21][21];
int rtype[8] = {0, 2, 1, 4, 3, 6, 5, 7};
short alias[22];
short* S = nullptr;
short* S1 = nullptr;
short* pair_table = nullptr;
int init_length = -1;
BasePair* base_pair = nullptr;
}

namespace {

// Working tables of the last derivation and the pair matrix they were derived with.
stemloop::Model& model() {
  static stemloop::Model m;
  return m;
}

stemloop::Folder& folder() {
  static stemloop::Folder f;
  return f;
}

void publish_pair_matrix() {
  const stemloop::PairMatrix& pm = model().pairs;
  std::memcpy(pair, pm.pair, sizeof pair);
  std::memcpy(rtype, pm.rtype, sizeof rtype);
  std::memcpy(alias, pm.alias, sizeof alias);
}

}  // namespace

extern "C" {

int encode_char(int c) { return stemloop::encode_char(c, energy_set); }

void make_pair_matrix(void) {
  stemloop::AlphabetOptions opts;
  opts.energy_set = energy_set;
  opts.noGU = noGU != 0;
  opts.has_nonstandards = nonstandards != nullptr;
  if (nonstandards != nullptr) opts.nonstandards = nonstandards;
  // Start from the published tables so entries this alphabet does not set keep their values.
  std::memcpy(model().pairs.pair, pair, sizeof pair);
  std::memcpy(model().pairs.rtype, rtype, sizeof rtype);
  std::memcpy(model().pairs.alias, alias, sizeof alias);
  guarded([&] { stemloop::build_pair_matrix(model().pairs, opts); });
  model().options.alphabet = opts;
  publish_pair_matrix();
}

void encode_seq(const char* sequence) {
  const size_t n = std::strlen(sequence);
  if (n > static_cast<size_t>(MAX_SEQUENCE_LENGTH))
    nrerror("encode_seq: sequence longer than 32767");
  S = static_cast<short*>(space(static_cast<unsigned>(2 * n + 2)));
  S1 = static_cast<short*>(space(static_cast<unsigned>(2 * n + 2)));
  S[0] = S1[0] = static_cast<short>(n);
  for (size_t i = 1; i <= n; i++) {
    S[i] =
        static_cast<short>(encode_char(std::toupper(static_cast<unsigned char>(sequence[i - 1]))));
    S1[i] = alias[S[i]];
  }
}

void scale_parameters(void) {
  stemloop::scale_parameters(model().params, temperature);
  model().options.temperature = temperature;
}

void update_fold_params(void) {
  scale_parameters();
  make_pair_matrix();
  if (init_length < 0) init_length = 0;
}

int HairpinE(int i, int j, int type, const char* sequence) {
  return stemloop::hairpin_energy(model(), tetra_loop != 0, i, j, type, sequence, S1);
}

int LoopEnergy(int n1, int n2, int type, int type_2, int si1, int sj1, int sp1, int sq1) {
  return stemloop::two_pair_loop_energy(model(), n1, n2, type, type_2, si1, sj1, sp1, sq1);
}

void initialize_fold(int length) {
  if (length < 1) nrerror("initialize_fold: argument must be greater 0");
  if (init_length > 0) free_arrays();
  const unsigned n = static_cast<unsigned>(length);
  base_pair = static_cast<BasePair*>(space(static_cast<unsigned>(sizeof(BasePair)) * (1 + n / 2)));
  scale_parameters();
  make_pair_matrix();
  init_length = length;
}

void free_arrays(void) {
  std::free(base_pair);
  base_pair = nullptr;
  folder() = stemloop::Folder();
  init_length = 0;
}

float fold(const char* sequence, char* structure) {
  const int n = static_cast<int>(std::strlen(sequence));
  if (n > init_length) initialize_fold(n);

  stemloop::FoldOptions opts;
  opts.dangles = dangles;
  opts.noLonelyPairs = noLonelyPairs != 0;
  opts.no_closingGU = no_closingGU != 0;
  opts.tetra_loop = tetra_loop != 0;
  opts.backtrack_type = backtrack_type;
  const char* constraint = (fold_constrained && structure != nullptr) ? structure : nullptr;

  stemloop::FoldResult r;
  try {
    r = folder().fold(model(), opts, sequence, constraint);
  } catch (const stemloop::Error& e) {
    // The constraint string is shown above the message, as for any unbalanced brackets.
    if (e.kind() == stemloop::Error::Kind::UnbalancedBrackets)
      std::fprintf(stderr, "%s\n", structure);
    nrerror(e.what());
  } catch (const std::bad_alloc&) {
    nrerror("SPACE allocation failure -> no memory");
  }

  if (base_pair != nullptr) {
    int count = 0;
    for (const auto& [i, j] : r.pairs) base_pair[++count] = BasePair{i, j};
    base_pair[0].i = count;
  }
  std::memcpy(structure, r.structure.c_str(), r.structure.size() + 1);
  if (r.constraints_unmet()) std::fprintf(stderr, "\ncould not enforce all constraints\n");
  return r.kcal;
}

void parenthesis_structure(char* structure, int n) {
  std::memset(structure, '.', static_cast<size_t>(n));
  structure[n] = '\0';
  if (base_pair == nullptr) return;
  for (int k = 1; k <= base_pair[0].i; k++) {
    structure[base_pair[k].i - 1] = '(';
    structure[base_pair[k].j - 1] = ')';
  }
}

int energy_of_struct_pt(const char* string, short* ptable, short* s, short* s1) {
  if (init_length < 0) update_fold_params();
  pair_table = ptable;
  S = s;
  S1 = s1;
  stemloop::EvalOptions opts;
  opts.dangles = dangles;
  opts.logML = logML != 0;
  opts.backtrack_type = backtrack_type;
  opts.tetra_loop = tetra_loop != 0;
  stemloop::Evaluation ev = guarded([&] {
    try {
      return stemloop::evaluate_structure(model(), opts, string, ptable, s, s1);
    } catch (const stemloop::Error& e) {
      if (e.kind() != stemloop::Error::Kind::InvalidArgument) throw;
      throw stemloop::Error(std::string("energy_of_struct_pt: ") + e.what());
    }
  });
  for (const stemloop::PairWarning& w : ev.warnings)
    std::fprintf(stderr, "WARNING: bases %d and %d (%c%c) can't pair!\n", w.i, w.j, w.ci, w.cj);
  return ev.energy;
}

float energy_of_struct(const char* string, const char* structure) {
  if (init_length < 0) update_fold_params();
  if (std::strlen(structure) != std::strlen(string))
    nrerror("energy_of_struct: string and structure have unequal length");
  short* saved_S = S;
  short* saved_S1 = S1;
  encode_seq(string);
  short* encoded = S;
  short* encoded1 = S1;
  pair_table = make_pair_table(structure);
  const int e = energy_of_struct_pt(string, pair_table, encoded, encoded1);
  std::free(pair_table);
  std::free(encoded);
  std::free(encoded1);
  S = saved_S;
  S1 = saved_S1;
  return stemloop::energy_to_kcal(e);
}

// The classic wrapper: shows an unbalanced structure above the fatal message.
short* make_pair_table(const char* structure) {
  return stemloop::classic::guarded([structure] {
    stemloop::PairTable table;
    try {
      table = stemloop::make_pair_table(structure);
    } catch (const stemloop::Error& e) {
      // The engine's words, with the classic entry point named as it always was.
      if (e.kind() == stemloop::Error::Kind::UnbalancedBrackets) {
        std::fprintf(stderr, "%s\n", structure);
        throw stemloop::Error("unbalanced brackets in make_pair_table");
      }
      throw stemloop::Error(std::string("make_pair_table: ") + e.what());
    }
    auto* result = static_cast<short*>(space(static_cast<unsigned>(table.size() * sizeof(short))));
    std::memcpy(result, table.data(), table.size() * sizeof(short));
    return result;
  });
}

}  // extern "C"
