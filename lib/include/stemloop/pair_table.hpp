// Pair tables: entry 0 holds n, entry i the 1-based partner of position i or 0, entry n+1 is 0.
#pragma once

#include <string>
#include <vector>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

using PairTable = std::vector<short>;

// Parses dot-bracket; only '(' and ')' pair, every other character is unpaired.
// Throws Error("unbalanced brackets in structure") for unbalanced brackets
// (Error::position() is the 1-based offending position, or n + 1 for an unclosed '(')
// and an Error for structures longer than 32767 characters.
PairTable make_pair_table(const std::string& structure);

// Checks that a table holds properly nested pairs: partners point back, no position pairs
// with itself, no two pairs cross, entry n+1 is 0. Throws Error otherwise.
void check_pair_table(const short* table);

}  // namespace stemloop
STEMLOOP_API_END
