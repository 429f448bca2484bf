// Utilities of the classic layer and the pair-table builder: pair tables, packed
// structures, distances, line input. Their fatal exits are in the table of
// classic_fold_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "stemloop/error.hpp"
#include "stemloop/pair_table.hpp"
#include "stemloop/stemloop.h"

namespace {

// Takes ownership of a block from the classic layer and returns it as a string.
std::string take(char* block) {
  std::string s(block);
  std::free(block);
  return s;
}

TEST(PairTable, ParsesInBothLayersAndRejectsMalformedInput) {
  const std::pair<const char*, std::vector<short>> cases[] = {
      {"", {0, 0}},
      {".((.)).", {7, 0, 6, 5, 0, 3, 2, 0, 0}},
      {"(()())", {6, 6, 3, 2, 5, 4, 1, 0}},
      {"<>x|aZ", {6, 0, 0, 0, 0, 0, 0, 0}},  // only round brackets pair
  };
  for (const auto& [structure, table] : cases) {
    EXPECT_EQ(stemloop::make_pair_table(structure), table) << structure;
    EXPECT_NO_THROW(stemloop::check_pair_table(table.data())) << structure;
    short* t = make_pair_table(structure);
    EXPECT_EQ(std::vector<short>(t, t + t[0] + 2), table) << structure;
    std::free(t);
  }
  std::string longest(32767, '.');
  longest.front() = '(', longest.back() = ')';
  EXPECT_EQ(stemloop::make_pair_table(longest)[32767], 1);
  EXPECT_THROW(stemloop::make_pair_table(std::string(32768, '.')), stemloop::Error);

  for (const auto& [structure, position] :
       {std::make_pair(")(", 1), {"(()", 4}, {"())", 3}, {"..)", 3}, {"((.)", 5}}) {
    try {
      stemloop::make_pair_table(structure);
      ADD_FAILURE() << "no error for " << structure;
    } catch (const stemloop::Error& e) {
      EXPECT_STREQ(e.what(), "unbalanced brackets in structure") << structure;
      EXPECT_EQ(e.position(), position) << structure;
    }
  }
  const std::vector<std::vector<short>> bad = {
      {4, 3, 4, 1, 2, 0},  // (1,3) and (2,4) cross
      {4, 4, 0, 0, 2, 0},  // 1 -> 4 but 4 -> 2
      {3, 0, 2, 0, 0},     // 2 pairs with itself
      {3, 5, 0, 0, 0},     // partner beyond n
      {3, -1, 0, 0, 0},    // negative partner
      {2, 2, 1, 7},        // entry n + 1 is not 0
      {-1, 0},             // negative length
  };
  for (const auto& t : bad) EXPECT_THROW(stemloop::check_pair_table(t.data()), stemloop::Error);
}

TEST(Pack, ByteValuesAndRoundTrip) {
  // Trailing '(' do not survive the round trip.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"", "", ""},
      {".....", "\x7a", "....."},
      {"(((((", "\x01", ""},
      {")))))", "\xf3", ")))))"},
      {"((...))", "\x0e\xd9", "((...))"},
      {".....(", "\x7a\x01", "....."}};
  for (const auto& [structure, bytes, unpacked] : cases) {
    EXPECT_EQ(take(pack_structure(structure)), bytes) << structure;
    EXPECT_EQ(take(unpack_structure(bytes)), unpacked);
  }
  // Every digit in every place of a group, and groups of every length.
  const std::string all = "(.)((..))).)(.)(.((()..)(.)).))(.)";
  for (size_t n = 0; n <= all.size(); n++) {
    const std::string s = all.substr(0, n), packed = take(pack_structure(s.c_str()));
    EXPECT_EQ(packed.size(), (n + 4) / 5) << s;
    EXPECT_EQ(take(unpack_structure(packed.c_str())), s.substr(0, s.find_last_not_of('(') + 1));
  }
}

TEST(Distance, HammingAndBasePairDistance) {
  const std::tuple<const char*, const char*, int, int> cases[] = {
      // a, b, hamming, bp
      {"((..))", "(....)", 2, 1}, {"((..))", "((..))", 0, 0},
      {"(())..", "..(())", 6, 4},                                // shifted pairs share nothing
      {"()()", "(())", 2, 4},     {"((..))..", "((..))", 0, 0},  // the common length only
      {"ACGU", "AGGUAA", 1, 0},
  };
  for (const auto& [a, b, ham, bp] : cases)
    EXPECT_EQ(
        std::vector<int>({hamming(a, b), hamming(b, a), bp_distance(a, b), bp_distance(b, a)}),
        std::vector<int>({ham, ham, bp, bp}))
        << a << " " << b;
}

TEST(Stream, GetLineReadsLinesOfAnyLengthAndFilecopyEveryByte) {
  FILE *fp = std::tmpfile(), *to = std::tmpfile();
  ASSERT_TRUE(fp && to);
  std::vector<std::string> lines;
  for (size_t n : {0, 1, 511, 512, 1022, 1023, 5000}) {
    lines.emplace_back(n, 'a');
    for (size_t k = 0; k < n; k++) lines.back()[k] = static_cast<char>('a' + k % 26);
    std::fprintf(fp, "%s\n", lines.back().c_str());
  }
  std::fputs("crlf\r\n\nlast", fp);
  std::rewind(fp);
  lines.insert(lines.end(), {"crlf\r", "", "last"});  // an empty line is not end of input
  for (const std::string& line : lines) EXPECT_EQ(take(get_line(fp)), line);
  EXPECT_EQ(get_line(fp), nullptr);

  std::string data, copied(3000, '\0');
  for (int k = 0; k < 3000; k++) data += static_cast<char>(k % 256);
  std::rewind(fp);
  std::fwrite(data.data(), 1, data.size(), fp);
  std::rewind(fp);
  filecopy(fp, to);
  std::rewind(to);
  EXPECT_EQ(std::string(&copied[0], std::fread(&copied[0], 1, 3000, to)), data);
  std::fclose(fp);
  std::fclose(to);
}

}  // namespace
