// Dot-bracket structures to pair tables, and the check that a table is properly nested.
#include "stemloop/pair_table.hpp"

#include "stemloop/constants.h"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

constexpr char kUnbalanced[] = "unbalanced brackets in structure";

}  // namespace

PairTable make_pair_table(const std::string& structure) {
  // Positions and the length are stored in 16-bit signed entries.
  if (structure.size() > static_cast<size_t>(MAX_SEQUENCE_LENGTH))
    throw Error("structure longer than 32767", 0, Error::Kind::TooLong);
  // Counted in int: a short counter would wrap past 32767 and never end the loop.
  const int n = static_cast<int>(structure.size());
  PairTable table(static_cast<size_t>(n) + 2, 0);
  table[0] = static_cast<short>(n);
  std::vector<short> open;  // positions of the '(' not matched yet, innermost last
  for (int i = 1; i <= n; i++) {
    const char c = structure[static_cast<size_t>(i - 1)];
    if (c == '(') {
      open.push_back(static_cast<short>(i));
    } else if (c == ')') {
      if (open.empty()) throw Error(kUnbalanced, i, Error::Kind::UnbalancedBrackets);
      const short j = open.back();
      open.pop_back();
      table[static_cast<size_t>(i)] = j;
      table[static_cast<size_t>(j)] = static_cast<short>(i);
    }
  }
  if (!open.empty()) throw Error(kUnbalanced, n + 1, Error::Kind::UnbalancedBrackets);
  return table;
}

void check_pair_table(const short* table) {
  const char* const kInvalid = "invalid pair table";
  const int n = table[0];
  if (n < 0 || table[n + 1] != 0) throw Error(kInvalid, 0, Error::Kind::InvalidArgument);
  // With every pair reciprocal, pairs nest exactly when each closing position meets its
  // partner on top of the stack of positions still open.
  std::vector<int> open;
  for (int i = 1; i <= n; i++) {
    const int j = table[i];
    if (j < 0 || j > n || j == i) throw Error(kInvalid, i, Error::Kind::InvalidArgument);
    if (j == 0) continue;
    if (table[j] != i) throw Error(kInvalid, i, Error::Kind::InvalidArgument);
    if (j > i) {
      open.push_back(i);
    } else {
      if (open.empty() || open.back() != j) throw Error(kInvalid, i, Error::Kind::InvalidArgument);
      open.pop_back();
    }
  }
}

}  // namespace stemloop
