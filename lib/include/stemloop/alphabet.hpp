// Letters to nucleotide codes, aliased codes and the pair matrix of one alphabet.
#pragma once

#include <string>
#include <vector>

namespace stemloop {

// Pair types: 0 none, 1 CG, 2 GC, 3 GU, 4 UG, 5 AU, 6 UA, 7 nonstandard.
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
