// Letters to codes and the pair matrix of the three alphabets.
#include "stemloop/alphabet.hpp"

#include <cctype>
#include <cstring>

#include "stemloop/alphabet.h"
#include "stemloop/constants.h"
#include "stemloop/error.hpp"

extern "C" {
const char Law_and_Order[] = "_ACGUTXKI";
const int BP_pair[8][8] = {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 5, 0, 0, 5},
                           {0, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 2, 0, 3, 0, 0, 0},
                           {0, 6, 0, 4, 0, 0, 0, 6}, {0, 0, 0, 0, 0, 0, 2, 0},
                           {0, 0, 0, 0, 0, 1, 0, 0}, {0, 6, 0, 0, 5, 0, 0, 0}};
}

namespace stemloop {
namespace {

// rtype[pair[a][b]] = pair[b][a] over the given square, last write wins.
void rebuild_rtype(PairMatrix& pm, int size) {
  for (int a = 0; a < size; a++)
    for (int b = 0; b < size; b++) pm.rtype[pm.pair[a][b]] = pm.pair[b][a];
}

// Two-letter alphabets: odd letter pairs with the next even one as `odd_even`.
void build_two_letter(PairMatrix& pm, short odd_alias, short even_alias, int odd_even,
                      int even_odd) {
  std::memset(pm.pair, 0, sizeof pm.pair);
  for (int k = 1; k <= 20; k++) pm.alias[k] = (k % 2 == 1) ? odd_alias : even_alias;
  for (int k = 1; k < 20; k += 2) {
    pm.pair[k][k + 1] = odd_even;
    pm.pair[k + 1][k] = even_odd;
  }
  rebuild_rtype(pm, 21);
}

}  // namespace

int encode_char(int c, int energy_set) {
  if (energy_set > 0) {
    int code = c - 64;
    return (code >= 1 && code <= 20) ? code : 0;  // only A..T take part in pairing
  }
  if (c == 0) return 0;
  const char* hit = std::strchr(Law_and_Order, c);
  if (hit == nullptr) return 0;
  int position = static_cast<int>(hit - Law_and_Order);
  return position <= 4 ? position : position - 1;
}

void build_pair_matrix(PairMatrix& pm, const AlphabetOptions& options) {
  switch (options.energy_set) {
    case 0: {
      const short standard_alias[8] = {0, 1, 2, 3, 4, 3, 2, 0};  // X as G, K as C, I as none
      for (int k = 0; k < 8; k++) pm.alias[k] = standard_alias[k];
      for (int a = 0; a < 8; a++)
        for (int b = 0; b < 8; b++) pm.pair[a][b] = BP_pair[a][b];
      if (options.noGU) pm.pair[3][4] = pm.pair[4][3] = 0;
      if (options.has_nonstandards) {
        const std::string& ns = options.nonstandards;
        for (size_t k = 0; k + 1 < ns.size(); k += 2)
          pm.pair[encode_char(ns[k], 0)][encode_char(ns[k + 1], 0)] = 7;
      }
      rebuild_rtype(pm, 8);
      break;
    }
    case 1:
      build_two_letter(pm, 3, 2, 2, 1);
      break;
    case 2:
      build_two_letter(pm, 1, 4, 5, 6);
      break;
    default:
      throw Error("What energy_set are YOU using??");
  }
  pm.energy_set = options.energy_set;
}

EncodedSequence encode_sequence(const std::string& sequence, const PairMatrix& pm) {
  if (sequence.size() > static_cast<size_t>(MAX_SEQUENCE_LENGTH))
    throw Error("sequence longer than 32767 bases", 0, Error::Kind::TooLong);
  const int n = static_cast<int>(sequence.size());
  EncodedSequence enc;
  enc.S.assign(static_cast<size_t>(n) + 1, 0);
  enc.S1.assign(static_cast<size_t>(n) + 1, 0);
  enc.S[0] = enc.S1[0] = static_cast<short>(n);
  for (int i = 1; i <= n; i++) {
    int upper = std::toupper(static_cast<unsigned char>(sequence[static_cast<size_t>(i - 1)]));
    int code = encode_char(upper, pm.energy_set);
    enc.S[static_cast<size_t>(i)] = static_cast<short>(code);
    enc.S1[static_cast<size_t>(i)] = pm.alias[code];
  }
  return enc;
}

}  // namespace stemloop
