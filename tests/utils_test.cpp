// Utilities of the classic layer and the pair-table builder: allocation and the fatal exit,
// pair tables, packed structures, distances, line input, random numbers, option summary.
#include <gtest/gtest.h>
#include <sys/resource.h>

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

std::vector<short> classic_table(const char* structure) {
  short* t = make_pair_table(structure);
  std::vector<short> v(t, t + t[0] + 2);
  std::free(t);
  return v;
}

// A dot-bracket text with balanced brackets of length n drawn from `rng`.
std::string random_structure(std::mt19937& rng, int n) {
  std::string s;
  int open = 0;
  for (int i = 0; i < n; i++) {
    const int left = n - i;
    const auto r = rng() % 3;
    if (open == left) {
      s += ')';
      open--;
    } else if (r == 0 && open + 1 < left) {
      s += '(';
      open++;
    } else if (r == 1 && open > 0) {
      s += ')';
      open--;
    } else {
      s += '.';
    }
  }
  return s;
}

// ---------------------------------------------------------------- allocation, exit ---

TEST(FatalTest, NrerrorPrintsBlankLineMessageAndExitsOne) {
  auto r = run_in_child([] {
    std::printf("pending");
    nrerror("X");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\nX\n");
  EXPECT_EQ(r.out, "pending");  // buffered output still reaches stdout
}

TEST(FatalTest, SpaceReturnsZeroFilledBlocks) {
  for (unsigned size : {1u, 7u, 4096u, 1u << 24}) {
    // Leave garbage behind in a freed block of the same size, which the allocator may
    // hand out again.
    auto* dirty = static_cast<unsigned char*>(std::malloc(size));
    std::memset(dirty, 0xAB, size);
    std::free(dirty);
    auto* block = static_cast<unsigned char*>(space(size));
    unsigned nonzero = 0;
    for (unsigned k = 0; k < size; k++) nonzero += block[k] != 0;
    EXPECT_EQ(nonzero, 0u) << "size " << size;
    std::free(block);
  }
}

TEST(FatalTest, SpaceOutOfMemoryEndsThroughNrerror) {
#ifdef STEMLOOP_SANITIZE
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#endif
  auto r = run_in_child([] {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t{512} << 20;  // 512 MiB of address space
    setrlimit(RLIMIT_AS, &limit);
    space(0xFFFFFFFFu);
    std::printf("returned");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\nSPACE allocation failure -> no memory\n");
  EXPECT_EQ(r.out, "");
}

// --------------------------------------------------------------------- pair tables ---

TEST(PairTableTest, ParsesDotBracket) {
  struct Case {
    const char* structure;
    std::vector<short> table;
  };
  const Case cases[] = {
      {"", {0, 0}},
      {"((..))", {6, 6, 5, 0, 0, 2, 1, 0}},
      {"(.)", {3, 3, 0, 1, 0}},
      {"()", {2, 2, 1, 0}},
      {".((.)).", {7, 0, 6, 5, 0, 3, 2, 0, 0}},
      {"(()())", {6, 6, 3, 2, 5, 4, 1, 0}},
      {"<>x|aZ", {6, 0, 0, 0, 0, 0, 0, 0}},  // only round brackets pair
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stemloop::make_pair_table(c.structure), c.table) << c.structure;
    EXPECT_EQ(classic_table(c.structure), c.table) << c.structure;
  }
}

TEST(PairTableTest, EngineReportsUnbalancedPosition) {
  struct Case {
    const char* structure;
    int position;
  };
  const Case cases[] = {{")(", 1}, {"(()", 4}, {"())", 3}, {"..)", 3}, {"(", 2}, {"((.)", 5}};
  for (const Case& c : cases) {
    try {
      stemloop::make_pair_table(c.structure);
      ADD_FAILURE() << "no error for " << c.structure;
    } catch (const stemloop::Error& e) {
      EXPECT_STREQ(e.what(), "unbalanced brackets in make_pair_table") << c.structure;
      EXPECT_EQ(e.position(), c.position) << c.structure;
    }
  }
}

TEST(PairTableTest, LengthLimitIs32767) {
  std::string longest(32767, '.');
  longest.front() = '(';
  longest.back() = ')';
  const auto table = stemloop::make_pair_table(longest);
  EXPECT_EQ(table[0], 32767);
  EXPECT_EQ(table[1], 32767);
  EXPECT_EQ(table[32767], 1);
  EXPECT_THROW(stemloop::make_pair_table(std::string(32768, '.')), stemloop::Error);
}

TEST(PairTableTest, ClassicFailurePrintsStructureThenMessage) {
  for (const char* structure : {")(", "(()"}) {
    auto r = run_in_child([structure] { make_pair_table(structure); });
    EXPECT_EQ(r.status, 1) << structure;
    EXPECT_EQ(r.err, std::string(structure) + "\n\nunbalanced brackets in make_pair_table\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST(PairTableTest, CheckAcceptsEveryParsedTable) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; trial++) {
    const std::string s = random_structure(rng, trial % 40);
    const auto table = stemloop::make_pair_table(s);
    EXPECT_NO_THROW(stemloop::check_pair_table(table.data())) << s;
  }
}

TEST(PairTableTest, CheckRejectsMalformedTables) {
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
  for (const auto& table : bad) {
    EXPECT_THROW(stemloop::check_pair_table(table.data()), stemloop::Error) << table[0];
  }
}

// ---------------------------------------------------------------- packed structures ---

TEST(PackTest, ByteValues) {
  struct Case {
    const char* structure;
    std::vector<unsigned char> bytes;
  };
  const Case cases[] = {
      {"", {}},
      {".....", {122}},
      {"(((((", {1}},
      {")))))", {243}},
      {"((...))", {14, 217}},
      {".", {82}},  // 1 0000 in base 3, plus 1
      {"..........", {122, 122}},
  };
  for (const Case& c : cases) {
    char* packed = pack_structure(c.structure);
    const auto* p = reinterpret_cast<const unsigned char*>(packed);
    EXPECT_EQ(std::vector<unsigned char>(p, p + std::strlen(packed)), c.bytes) << c.structure;
    std::free(packed);
  }
}

TEST(PackTest, UnpackRestoresTextNotEndingInOpenBracket) {
  EXPECT_EQ(take(unpack_structure("\x0e\xd9")), "((...))");
  EXPECT_EQ(take(unpack_structure("\x01")), "");
  EXPECT_EQ(take(unpack_structure("")), "");
  EXPECT_EQ(take(unpack_structure("\x01\x01\x7a")), "((((((((((.....");
  EXPECT_EQ(take(unpack_structure("\x7a\x01")), ".....");  // trailing '(' do not survive

  std::mt19937 rng(11);
  const char symbols[] = "(.)";
  for (int trial = 0; trial < 500; trial++) {
    std::string s;
    const int length = static_cast<int>(rng() % 60);
    for (int k = 0; k < length; k++) s += symbols[rng() % 3];
    while (!s.empty() && s.back() == '(') s.pop_back();
    char* packed = pack_structure(s.c_str());
    EXPECT_EQ(std::strlen(packed), (s.size() + 4) / 5) << s;
    EXPECT_EQ(take(unpack_structure(packed)), s);
    std::free(packed);
  }
}

TEST(PackTest, IllegalCharacterIsFatal) {
  auto r = run_in_child([] { pack_structure("((.x))"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\npack_structure: illegal charcter in structure\n");
}

// ----------------------------------------------------------------------- distances ---

TEST(DistanceTest, HammingComparesCommonLength) {
  EXPECT_EQ(hamming("ACGU", "AGGUAA"), 1);
  EXPECT_EQ(hamming("AGGUAA", "ACGU"), 1);
  EXPECT_EQ(hamming("", "ACGU"), 0);
  EXPECT_EQ(hamming("((..))", "))..(("), 4);
  EXPECT_EQ(hamming("ACGU", "ACGU"), 0);
}

TEST(DistanceTest, BasePairDistance) {
  EXPECT_EQ(bp_distance("((..))", "(....)"), 1);
  EXPECT_EQ(bp_distance("(....)", "((..))"), 1);
  EXPECT_EQ(bp_distance("((..))", "......"), 2);
  EXPECT_EQ(bp_distance("((..))", "((..))"), 0);
  EXPECT_EQ(bp_distance("(())..", "..(())"), 4);  // shifted pairs share nothing
  EXPECT_EQ(bp_distance("()()", "(())"), 4);      // no pair in common
  EXPECT_EQ(bp_distance("(())()", "(()).."), 1);
  EXPECT_EQ(bp_distance("((..))..", "((..))"), 0);
}

TEST(DistanceTest, BasePairDistanceIsAMetricOverRandomStructures) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; trial++) {
    const std::string a = random_structure(rng, 30), b = random_structure(rng, 30),
                      c = random_structure(rng, 30);
    const int ab = bp_distance(a.c_str(), b.c_str());
    EXPECT_EQ(ab, bp_distance(b.c_str(), a.c_str()));
    EXPECT_LE(bp_distance(a.c_str(), c.c_str()), ab + bp_distance(b.c_str(), c.c_str()));
    EXPECT_EQ(bp_distance(a.c_str(), a.c_str()), 0);
  }
}

// -------------------------------------------------------------------- stream helpers ---

TEST(StreamTest, GetLineReadsLinesOfAnyLength) {
  const std::vector<size_t> lengths = {0, 1, 510, 511, 512, 1021, 1022, 1023, 5000};
  FILE* fp = std::tmpfile();
  ASSERT_NE(fp, nullptr);
  for (size_t n : lengths) {
    std::string line(n, 'a');
    for (size_t k = 0; k < n; k++) line[k] = static_cast<char>('a' + k % 26);
    std::fprintf(fp, "%s\n", line.c_str());
  }
  std::fputs("crlf\r\n\nlast", fp);
  std::rewind(fp);
  for (size_t n : lengths) {
    char* line = get_line(fp);
    ASSERT_NE(line, nullptr) << n;
    ASSERT_EQ(std::strlen(line), n);
    for (size_t k = 0; k < n; k++) ASSERT_EQ(line[k], static_cast<char>('a' + k % 26)) << k;
    std::free(line);
  }
  EXPECT_EQ(take(get_line(fp)), "crlf\r");
  EXPECT_EQ(take(get_line(fp)), "");  // an empty line is not end of input
  EXPECT_EQ(take(get_line(fp)), "last");
  EXPECT_EQ(get_line(fp), nullptr);
  std::fclose(fp);
}

TEST(StreamTest, FilecopyCopiesEveryByte) {
  FILE* from = std::tmpfile();
  FILE* to = std::tmpfile();
  ASSERT_NE(from, nullptr);
  ASSERT_NE(to, nullptr);
  std::string data;
  for (int k = 0; k < 3000; k++) data += static_cast<char>(k % 256);
  std::fwrite(data.data(), 1, data.size(), from);
  std::rewind(from);
  filecopy(from, to);
  std::rewind(to);
  std::string copied(data.size() + 1, '\0');
  copied.resize(std::fread(&copied[0], 1, copied.size(), to));
  EXPECT_EQ(copied, data);
  std::fclose(from);
  std::fclose(to);
}

// ------------------------------------------------------------------ random numbers ---

class RandomTest : public ::testing::Test {
 protected:
  void SetUp() override { std::memcpy(saved_, xsubi, sizeof saved_); }
  void TearDown() override { std::memcpy(xsubi, saved_, sizeof saved_); }
  void seed(unsigned short a, unsigned short b, unsigned short c) {
    xsubi[0] = a;
    xsubi[1] = b;
    xsubi[2] = c;
  }
  // The state after `steps` draws from state s.
  static std::vector<unsigned short> advanced(const unsigned short s[3], int steps) {
    unsigned short copy[3] = {s[0], s[1], s[2]};
    for (int k = 0; k < steps; k++) erand48(copy);
    return {copy[0], copy[1], copy[2]};
  }
  static std::vector<unsigned short> state() { return {xsubi[0], xsubi[1], xsubi[2]}; }

 private:
  unsigned short saved_[3] = {};
};

TEST_F(RandomTest, FixedStateGivesSameDraws) {
  seed(1, 2, 3);
  std::vector<double> first;
  for (int k = 0; k < 100; k++) first.push_back(urn());
  seed(1, 2, 3);
  for (int k = 0; k < 100; k++) {
    const double u = urn();
    EXPECT_EQ(u, first[static_cast<size_t>(k)]);
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
  }
}

TEST_F(RandomTest, InitRandSeedsFromTheClock) {
  const auto before = static_cast<uint32_t>(std::time(nullptr));
  init_rand();
  const auto after = static_cast<uint32_t>(std::time(nullptr));
  EXPECT_EQ(xsubi[2], 5246);
  const uint32_t seeded = static_cast<uint32_t>(xsubi[0]) | static_cast<uint32_t>(xsubi[1]) << 16;
  EXPECT_TRUE(seeded == before || seeded == after) << seeded;
}

TEST_F(RandomTest, IntUrnStaysInRangeAndTakesOneStep) {
  seed(9, 8, 7);
  unsigned short start[3] = {9, 8, 7};
  EXPECT_EQ(int_urn(5, 5), 5);
  EXPECT_EQ(state(), advanced(start, 1));

  std::vector<int> seen(8, 0);
  for (int k = 0; k < 6000; k++) {
    const int v = int_urn(1, 6);
    ASSERT_GE(v, 1);
    ASSERT_LE(v, 6);
    seen[static_cast<size_t>(v)]++;
  }
  for (int v = 1; v <= 6; v++) EXPECT_GT(seen[static_cast<size_t>(v)], 800) << v;

  // from + trunc(u * width), also for ranges below zero
  for (int k = 0; k < 1000; k++) {
    unsigned short copy[3] = {xsubi[0], xsubi[1], xsubi[2]};
    const double u = erand48(copy);
    EXPECT_EQ(int_urn(-7, 2), -7 + static_cast<int>(u * 10.0));
  }
}

TEST_F(RandomTest, RandomStringDrawsOneValuePerCharacter) {
  seed(4, 5, 6);
  const unsigned short start[3] = {4, 5, 6};
  EXPECT_EQ(take(random_string(0, "ACGU")), "");
  EXPECT_EQ(state(), advanced(start, 0));
  EXPECT_EQ(take(random_string(10, "A")), "AAAAAAAAAA");
  EXPECT_EQ(state(), advanced(start, 10));

  seed(4, 5, 6);
  const std::string s = take(random_string(2000, "ACGU"));
  ASSERT_EQ(s.size(), 2000u);
  unsigned short replay[3] = {4, 5, 6};
  for (char c : s) EXPECT_EQ(c, "ACGU"[static_cast<int>(erand48(replay) * 4.0)]);
  for (char c : std::string("ACGU")) EXPECT_NE(s.find(c), std::string::npos) << c;
}

// ------------------------------------------------------------------ option summary ---

class OptionStringTest : public ::testing::Test {
 protected:
  void TearDown() override {
    noGU = 0;
    no_closingGU = 0;
    tetra_loop = 1;
    noLonelyPairs = 0;
    fold_constrained = 0;
    dangles = 1;
    temperature = 37.0;
    energy_set = 0;
    logML = 0;
    backtrack_type = 'F';
  }
};

TEST_F(OptionStringTest, DefaultsGiveEmptySummary) {
  EXPECT_EQ(nonstandards, nullptr);
  EXPECT_EQ(energy_set, 0);
  EXPECT_EQ(backtrack_type, 'F');
  EXPECT_EQ(logML, 0);
  EXPECT_STREQ(option_string(), "");
  // Options outside the summary never show.
  energy_set = 1;
  logML = 1;
  backtrack_type = 'M';
  EXPECT_STREQ(option_string(), "");
}

TEST_F(OptionStringTest, FragmentsAndFormats) {
  dangles = 2;
  noLonelyPairs = 1;
  EXPECT_STREQ(option_string(), "-noLP -d2 ");
  noLonelyPairs = 0;
  dangles = 0;
  EXPECT_STREQ(option_string(), "-d0 ");
  dangles = 1;
  temperature = 25;
  EXPECT_STREQ(option_string(), "-T 25.000000 ");
  temperature = 37.000001;
  EXPECT_STREQ(option_string(), "-T 37.000001 ");
}

TEST_F(OptionStringTest, FragmentOrderAndSharedBuffer) {
  noGU = no_closingGU = noLonelyPairs = fold_constrained = 1;
  tetra_loop = 0;
  dangles = 0;
  temperature = 30;
  char* first = option_string();
  EXPECT_STREQ(first, "-noGU -noCloseGU -4 -noLP -C -d0 -T 30.000000 ");
  noGU = no_closingGU = noLonelyPairs = fold_constrained = 0;
  tetra_loop = 1;
  EXPECT_EQ(option_string(), first);
  EXPECT_STREQ(first, "-d0 -T 30.000000 ");
}

TEST_F(OptionStringTest, HugeTemperatureIsCutToTheBuffer) {
  noGU = no_closingGU = noLonelyPairs = fold_constrained = 1;
  tetra_loop = 0;
  dangles = INT_MIN;
  temperature = -1e300;
  const std::string summary = option_string();
  EXPECT_EQ(summary.size(), 99u);
  EXPECT_EQ(summary.rfind("-noGU -noCloseGU -4 -noLP -C -d-2147483648 -T -1000", 0), 0u);
}

}  // namespace
