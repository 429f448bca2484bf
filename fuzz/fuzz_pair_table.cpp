// Arbitrary bytes as a dot-bracket structure.
//
// The engine's parser either rejects the text with an Error that names the right position
// or returns a table that the nesting check accepts and that matches the brackets. Texts
// of '(' ')' '.' only also go through the classic utilities: their pair table agrees with
// the engine's, base-pair distances are consistent, and the packed format round-trips.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "stemloop/error.hpp"
#include "stemloop/pair_table.hpp"
#include "stemloop/stemloop.h"

namespace {

constexpr size_t kMaxLength = 32767;

// Position the parser must report for unbalanced text: the first ')' without a partner,
// or n + 1 when some '(' stays open; 0 for balanced text.
int unbalanced_at(const std::string& s) {
  int depth = 0;
  for (size_t k = 0; k < s.size(); k++) {
    if (s[k] == '(') depth++;
    if (s[k] == ')' && --depth < 0) return static_cast<int>(k) + 1;
  }
  return depth == 0 ? 0 : static_cast<int>(s.size()) + 1;
}

int count_pairs(const std::string& s) {
  int pairs = 0;
  for (char c : s) pairs += c == '(';
  return pairs;
}

// The packed format keeps every character except '(' at the very end, which the
// unpacking cannot tell from the filler of the last group.
void check_packing(const std::string& s) {
  char* packed = pack_structure(s.c_str());
  FUZZ_CHECK(std::strlen(packed) == (s.size() + 4) / 5);
  char* unpacked = unpack_structure(packed);
  const size_t kept =
      s.find_last_not_of('(') == std::string::npos ? 0 : s.find_last_not_of('(') + 1;
  FUZZ_CHECK(std::string(unpacked) == s.substr(0, kept));
  std::free(unpacked);
  std::free(packed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxLength + 64) return 0;
  const std::string s(reinterpret_cast<const char*>(data), size);
  const int bad = unbalanced_at(s);
  const bool dot_bracket = s.find_first_not_of("().") == std::string::npos;
  if (dot_bracket) check_packing(s);

  stemloop::PairTable table;
  try {
    table = stemloop::make_pair_table(s);
  } catch (const stemloop::Error& e) {
    if (size > kMaxLength) return 0;
    FUZZ_CHECK(bad != 0);
    FUZZ_CHECK(std::strcmp(e.what(), "unbalanced brackets in structure") == 0);
    FUZZ_CHECK(e.position() == bad);
    return 0;
  }
  FUZZ_CHECK(size <= kMaxLength);
  FUZZ_CHECK(bad == 0);
  FUZZ_CHECK(table.size() == size + 2);
  FUZZ_CHECK(table[0] == static_cast<short>(size));
  FUZZ_CHECK(table[size + 1] == 0);
  try {
    stemloop::check_pair_table(table.data());
  } catch (const stemloop::Error&) {
    FUZZ_CHECK(!"check_pair_table rejected a parsed table");
  }
  // Exactly the bracket positions are paired, '(' with a later position.
  for (size_t i = 1; i <= size; i++) {
    const char c = s[i - 1];
    const int partner = table[i];
    if (c == '(') {
      FUZZ_CHECK(partner > static_cast<int>(i) && s[static_cast<size_t>(partner) - 1] == ')');
    } else if (c == ')') {
      FUZZ_CHECK(partner > 0 && partner < static_cast<int>(i));
    } else {
      FUZZ_CHECK(partner == 0);
    }
  }

  if (!dot_bracket) return 0;

  // Classic layer, on text the engine accepted (it exits the process otherwise).
  short* classic = make_pair_table(s.c_str());
  FUZZ_CHECK(std::memcmp(classic, table.data(), table.size() * sizeof(short)) == 0);
  std::free(classic);

  const std::string open(size, '.');
  const int pairs = count_pairs(s);
  FUZZ_CHECK(bp_distance(s.c_str(), s.c_str()) == 0);
  FUZZ_CHECK(bp_distance(s.c_str(), open.c_str()) == pairs);
  FUZZ_CHECK(bp_distance(open.c_str(), s.c_str()) == pairs);
  FUZZ_CHECK(hamming(s.c_str(), s.c_str()) == 0);

  return 0;
}
