// Letters to nucleotide codes, aliased codes and the pair matrix of one alphabet.
#pragma once

#include <string>
#include <vector>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

// Pair types, named by the bases read 5' to 3' from the pair's first position. Every
// table indexed by a pair type uses this order.
enum PairType : int {
  kNoPair = 0,
  kPairCG = 1,
  kPairGC = 2,
  kPairGU = 3,
  kPairUG = 4,
  kPairAU = 5,
  kPairUA = 6,
  kPairNonstandard = 7,
};
constexpr int kPairTypes = 8;

// Helix ends other than C-G and G-C pay the terminal penalty.
constexpr bool pays_terminal_penalty(int type) { return type > kPairGC; }
// G-U and U-G pairs, the ones no_closingGU restricts.
constexpr bool is_wobble(int type) { return type == kPairGU || type == kPairUG; }

struct PairMatrix {
  int pair[21][21] = {};                    // [5' code][3' code] -> pair type
  int rtype[8] = {0, 2, 1, 4, 3, 6, 5, 7};  // type of the same pair read from its other end
  short alias[22] = {};                     // nucleotide code -> aliased code (0 none, 1..4 ACGU)
  int energy_set = 0;                       // alphabet these tables were built for
};

// Options that decide the alphabet and which letters pair.
struct AlphabetOptions {
  int energy_set = 0;  // 0 standard, 1 G/C two-letter, 2 A/U two-letter
  bool noGU = false;   // forbid G-U and U-G
  bool has_nonstandards = false;
  std::string nonstandards;  // extra letter pairs, two letters at a time
};

// Nucleotide code of one character under an alphabet (0 for unknown characters).
int encode_char(int c, int energy_set);

// Rebuilds pair, rtype and alias in place. Entries the alphabet does not set keep
// their previous values, as the classic module globals do. Throws Error for an
// unknown energy_set.
void build_pair_matrix(PairMatrix& pm, const AlphabetOptions& options);

// A sequence encoded for one alphabet: entry 0 holds the length, entries 1..n the codes.
struct EncodedSequence {
  std::vector<short> S;   // nucleotide codes
  std::vector<short> S1;  // aliased codes (index every energy table by these)
  int length() const { return S.empty() ? 0 : S[0]; }
};

// Upper-cases and encodes; throws Error when the sequence is longer than 32767.
EncodedSequence encode_sequence(const std::string& sequence, const PairMatrix& pm);

}  // namespace stemloop
STEMLOOP_API_END
