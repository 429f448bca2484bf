// Utilities of the classic layer and the pair-table builder: pair tables, packed
// structures, distances, line input, random numbers, option summary. Their fatal exits
// are in the table of classic_fold_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "stemloop/error.hpp"
#include "stemloop/pair_table.hpp"
#include "stemloop/stemloop.h"
#include "support/test_support.hpp"

namespace {

using testing_support::run_in_child;

// Takes ownership of a block from the classic layer and returns it as a string.
std::string take(char* block) {
  std::string s(block);
  std::free(block);
  return s;
}

TEST(PairTable, ParsesInBothLayersAndRejectsMalformedInput) {
  const std::pair<const char*, std::vector<short>> cases[] = {
      {"", {0, 0}},
      {"((..))", {6, 6, 5, 0, 0, 2, 1, 0}},
      {"()", {2, 2, 1, 0}},
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
  longest.front() = '(';
  longest.back() = ')';
  const auto table = stemloop::make_pair_table(longest);
  EXPECT_EQ(table[1], 32767);
  EXPECT_EQ(table[32767], 1);
  EXPECT_THROW(stemloop::make_pair_table(std::string(32768, '.')), stemloop::Error);

  const std::pair<const char*, int> unbalanced[] = {{")(", 1}, {"(()", 4}, {"())", 3},
                                                    {"..)", 3}, {"(", 2},   {"((.)", 5}};
  for (const auto& [structure, position] : unbalanced) {
    try {
      stemloop::make_pair_table(structure);
      ADD_FAILURE() << "no error for " << structure;
    } catch (const stemloop::Error& e) {
      EXPECT_STREQ(e.what(), "unbalanced brackets in structure") << structure;
      EXPECT_EQ(e.position(), position) << structure;
    }
  }
  const std::vector<std::vector<short>> bad = {
      {4, 3, 4, 1, 2, 0},        // (1,3) and (2,4) cross
      {6, 4, 6, 0, 1, 0, 2, 0},  // (1,4) and (2,6) cross
      {4, 4, 0, 0, 2, 0},        // 1 -> 4 but 4 -> 2
      {3, 0, 2, 0, 0},           // 2 pairs with itself
      {3, 5, 0, 0, 0},           // partner beyond n
      {3, -1, 0, 0, 0},          // negative partner
      {2, 2, 1, 7},              // entry n + 1 is not 0
      {-1, 0},                   // negative length
  };
  for (const auto& t : bad) EXPECT_THROW(stemloop::check_pair_table(t.data()), stemloop::Error);
}

TEST(Pack, ByteValuesAndRoundTrip) {
  const std::pair<const char*, std::vector<unsigned char>> cases[] = {
      {"", {}},         {".....", {122}},       {"(((((", {1}},
      {")))))", {243}}, {"((...))", {14, 217}}, {".", {82}},  // 1 0000 in base 3, plus 1
      {"..........", {122, 122}},
  };
  for (const auto& [structure, bytes] : cases) {
    char* packed = pack_structure(structure);
    const auto* p = reinterpret_cast<const unsigned char*>(packed);
    EXPECT_EQ(std::vector<unsigned char>(p, p + std::strlen(packed)), bytes) << structure;
    std::free(packed);
  }
  EXPECT_EQ(take(unpack_structure("\x01")), "");
  EXPECT_EQ(take(unpack_structure("\x01\x01\x7a")), "((((((((((.....");
  EXPECT_EQ(take(unpack_structure("\x7a\x01")), ".....");  // trailing '(' do not survive
  std::mt19937 rng(11);
  for (int trial = 0; trial < 500; trial++) {
    std::string s;
    for (int k = static_cast<int>(rng() % 60); k > 0; k--) s += "(.)"[rng() % 3];
    while (!s.empty() && s.back() == '(') s.pop_back();
    char* packed = pack_structure(s.c_str());
    EXPECT_EQ(std::strlen(packed), (s.size() + 4) / 5) << s;
    EXPECT_EQ(take(unpack_structure(packed)), s);
    std::free(packed);
  }
}

TEST(Distance, HammingAndBasePairDistance) {
  struct Case {
    const char *a, *b;
    int hamming, bp;
  };
  const Case cases[] = {
      {"((..))", "(....)", 2, 1},   {"((..))", "......", 4, 2},  {"((..))", "((..))", 0, 0},
      {"(())..", "..(())", 6, 4},   // shifted pairs share nothing
      {"()()", "(())", 2, 4},       {"(())()", "(())..", 2, 1},
      {"((..))..", "((..))", 0, 0},  // both compare the common length only
      {"ACGU", "AGGUAA", 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.b);
    EXPECT_EQ(hamming(c.a, c.b), c.hamming);
    EXPECT_EQ(hamming(c.b, c.a), c.hamming);
    EXPECT_EQ(bp_distance(c.a, c.b), c.bp);
    EXPECT_EQ(bp_distance(c.b, c.a), c.bp);
  }
}

TEST(Stream, GetLineReadsLinesOfAnyLengthAndFilecopyEveryByte) {
  const std::vector<size_t> lengths = {0, 1, 511, 512, 1022, 1023, 5000};
  auto line_of = [](size_t n) {
    std::string line(n, 'a');
    for (size_t k = 0; k < n; k++) line[k] = static_cast<char>('a' + k % 26);
    return line;
  };
  FILE* fp = std::tmpfile();
  FILE* to = std::tmpfile();
  ASSERT_TRUE(fp && to);
  for (size_t n : lengths) std::fprintf(fp, "%s\n", line_of(n).c_str());
  std::fputs("crlf\r\n\nlast", fp);
  std::rewind(fp);
  for (size_t n : lengths) EXPECT_EQ(take(get_line(fp)), line_of(n));
  EXPECT_EQ(take(get_line(fp)), "crlf\r");
  EXPECT_EQ(take(get_line(fp)), "");  // an empty line is not end of input
  EXPECT_EQ(take(get_line(fp)), "last");
  EXPECT_EQ(get_line(fp), nullptr);

  std::string data;
  for (int k = 0; k < 3000; k++) data += static_cast<char>(k % 256);
  std::rewind(fp);
  std::fwrite(data.data(), 1, data.size(), fp);
  std::rewind(fp);
  filecopy(fp, to);
  std::rewind(to);
  std::string copied(data.size() + 100, '\0');
  copied.resize(std::fread(&copied[0], 1, data.size(), to));
  EXPECT_EQ(copied, data);
  std::fclose(fp);
  std::fclose(to);
}

// The generator state is global: seeding from the clock runs in a child. Every draw is
// one erand48 step on xsubi.
TEST(Random, DrawsFollowTheGeneratorState) {
  auto r = run_in_child([] {
    const auto before = static_cast<uint32_t>(std::time(nullptr));
    init_rand();
    const auto after = static_cast<uint32_t>(std::time(nullptr));
    const uint32_t seeded = static_cast<uint32_t>(xsubi[0]) | static_cast<uint32_t>(xsubi[1]) << 16;
    std::printf("%d %d\n", xsubi[2], seeded == before || seeded == after);
  });
  EXPECT_EQ(r.out, "5246 1\n");

  const unsigned short saved[3] = {xsubi[0], xsubi[1], xsubi[2]};
  unsigned short replay[3] = {9, 8, 7};
  std::memcpy(xsubi, replay, sizeof replay);
  for (int k = 0; k < 200; k++) EXPECT_EQ(urn(), erand48(replay));
  EXPECT_EQ(int_urn(5, 5), 5);
  erand48(replay);
  for (int k = 0; k < 2000; k++)  // from + trunc(u * width), also below zero
    ASSERT_EQ(int_urn(-7, 2), -7 + static_cast<int>(erand48(replay) * 10.0));
  EXPECT_EQ(take(random_string(0, "ACGU")), "");
  const std::string s = take(random_string(2000, "ACGU"));
  ASSERT_EQ(s.size(), 2000u);
  for (char c : s) EXPECT_EQ(c, "ACGU"[static_cast<int>(erand48(replay) * 4.0)]);
  EXPECT_EQ(urn(), erand48(replay));
  std::memcpy(xsubi, saved, sizeof saved);
}

// option_string reads the option globals: every case runs in a child.
TEST(OptionString, FragmentsOrderAndSharedBuffer) {
  auto r = run_in_child([] {
    std::printf("[%s]", option_string());
    energy_set = 1;  // options outside the summary never show
    logML = 1;
    backtrack_type = 'M';
    std::printf("[%s]", option_string());
    dangles = 0;
    temperature = 37.000001;
    std::printf("[%s]", option_string());
    noGU = no_closingGU = noLonelyPairs = fold_constrained = 1;
    tetra_loop = 0;
    dangles = 2;
    temperature = 25;
    char* first = option_string();
    std::printf("[%s]", first);
    noGU = no_closingGU = fold_constrained = 0;
    tetra_loop = 1;
    std::printf("[%d %s]\n", option_string() == first, first);
    noGU = no_closingGU = fold_constrained = 1;
    tetra_loop = 0;
    dangles = INT_MIN;
    temperature = -1e300;
    std::printf("%s", option_string());
  });
  const std::string first_line =
      "[][][-d0 -T 37.000001 ][-noGU -noCloseGU -4 -noLP -C -d2 -T 25.000000 ]"
      "[1 -noLP -d2 -T 25.000000 ]\n";
  ASSERT_EQ(r.out.rfind(first_line, 0), 0u) << r.out;
  const std::string huge = r.out.substr(first_line.size());
  EXPECT_EQ(huge.size(), 99u);  // a huge temperature is cut to the buffer
  EXPECT_EQ(huge.rfind("-noGU -noCloseGU -4 -noLP -C -d-2147483648 -T -1000", 0), 0u) << huge;
}

}  // namespace
