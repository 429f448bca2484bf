// The tools' interchange formats: pseudoknot brackets, CT and BPSEQ round trips, the
// fold's tsv and JSON read back, compressed input, file names and record warnings.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "drawing_files.hpp"
#include "eval_formats.hpp"
#include "output.hpp"
#include "record_warnings.hpp"
#include "stemloop/pseudoknots.hpp"
#include "stemloop/records.hpp"

namespace {

using namespace stemloop;
using namespace stemloop_tools;

std::vector<EvalRecord> read_eval(const std::string& text, InputFormat format = InputFormat::Auto) {
  std::istringstream in(text);
  LineReader lines(in);
  size_t counter = 0;
  EvalFormatReader reader(lines, "", format, counter);
  std::vector<EvalRecord> records;
  EvalRecord record;
  while (reader.next(record)) records.push_back(record);
  return records;
}

// Pairs of a bracket string, every bracket kind matched on its own.
std::set<std::pair<int, int>> pairs_of(const std::string& structure) {
  std::set<std::pair<int, int>> pairs;
  for (const char* kind : {"()", "[]", "{}", "<>"}) {
    std::vector<int> open;
    for (int k = 0; k < static_cast<int>(structure.size()); k++) {
      if (structure[k] == kind[0]) open.push_back(k);
      if (structure[k] != kind[1]) continue;
      if (open.empty()) return {};
      pairs.emplace(open.back(), k);
      open.pop_back();
    }
  }
  return pairs;
}

TEST(ToolsFormats, RandomPairSetsKeepTheirPairsInBrackets) {
  std::mt19937 rng(5);
  for (int round = 0; round < 300; round++) {
    const int n = std::uniform_int_distribution<int>(2, 60)(rng);
    std::vector<int> partner(n, 0), free;
    for (int k = 0; k < n; k++) free.push_back(k);
    std::shuffle(free.begin(), free.end(), rng);
    const int pairs = std::uniform_int_distribution<int>(0, n / 6)(rng);
    std::set<std::pair<int, int>> expected;
    for (int p = 0; p < pairs; p++) {
      const int a = std::min(free[2 * p], free[2 * p + 1]);
      const int b = std::max(free[2 * p], free[2 * p + 1]);
      partner[a] = b + 1;
      partner[b] = a + 1;
      expected.emplace(a, b);
    }
    std::string structure;
    const std::string why = pairs_to_brackets(partner, structure);
    if (!why.empty()) {
      EXPECT_NE(why.find("four bracket kinds"), std::string::npos) << why;
      continue;
    }
    EXPECT_EQ(pairs_of(structure), expected) << structure;
    // Stripping leaves the pairs written with (), which never cross.
    int dropped = 0;
    std::string nested = structure;
    ASSERT_EQ(resolve_pseudoknots(nested, true, dropped), "");
    EXPECT_EQ(pairs_of(nested).size() + static_cast<size_t>(dropped), expected.size());
    EXPECT_EQ(nested.find_first_of("[]{}<>"), std::string::npos);
  }
}

TEST(ToolsFormats, PseudoknotMessages) {
  std::string s = "((..[[..))..]]";
  int dropped = 0;
  EXPECT_EQ(resolve_pseudoknots(s, false, dropped),
            "structure position 5: '[' marks a pseudoknot; --strip-pseudoknots drops such pairs");
  s = "(..[..)..";
  EXPECT_EQ(resolve_pseudoknots(s, true, dropped), "structure position 4: unbalanced '['");
  std::string out;
  EXPECT_EQ(pairs_to_brackets({3, 0, 2}, out), "position 1: partner 3 does not pair back");
}

TEST(ToolsFormats, FoldOutputReadsBackInEveryFormat) {
  const RecordId named{1, "tRNA x", true};
  const RecordId unnamed{2, "", false};
  const std::string seq = "GGGAAAUCCCAGCUAGCUAG";
  const std::string st = "(((....)))..((...)).";
  for (Format format : {Format::Text, Format::Tsv, Format::Json, Format::Ct, Format::Bpseq}) {
    ToolOptions options;
    options.format = format;
    const Writer writer(Program::Fold, options);
    const std::string text = writer.header() +
                             writer.folded(named, seq, st, -350, nullptr, {"a \"w\""}) +
                             writer.folded(unnamed, seq, st, -350);
    const std::vector<EvalRecord> records = read_eval(text);
    ASSERT_EQ(records.size(), 2u) << format_name(format) << "\n" << text;
    for (const EvalRecord& r : records) {
      EXPECT_EQ(r.error, "") << format_name(format);
      EXPECT_EQ(r.sequence, seq);
      EXPECT_EQ(r.structure, st);
    }
    EXPECT_EQ(records[0].id.label(), "tRNA x") << format_name(format);
    EXPECT_FALSE(records[1].id.named) << format_name(format);
    if (format != Format::Bpseq) {
      EXPECT_DOUBLE_EQ(*records[0].given_energy, -3.5);
    }
  }
}

TEST(ToolsFormats, SuboptimalBlocksReadBackOneRecordEach) {
  const RecordId named{1, "sub", true};
  const std::string seq = "GGGAAAUCCCAGCUAGCUAG";
  const std::vector<std::string> structures = {"(((....)))..((...)).", "(((....))).........."};
  for (Format format : {Format::Ct, Format::Bpseq}) {
    ToolOptions options;
    options.format = format;
    const Writer writer(Program::Fold, options);
    std::string text = writer.structures_begin(named, seq);
    for (size_t k = 0; k < structures.size(); k++)
      text += writer.structure_entry(named, seq, structures[k], -300, k == 0);
    text += writer.structures_end({"w"});
    const std::vector<EvalRecord> records = read_eval(text);
    ASSERT_EQ(records.size(), 2u) << format_name(format) << "\n" << text;
    for (size_t k = 0; k < structures.size(); k++) {
      EXPECT_EQ(records[k].structure, structures[k]) << format_name(format);
      EXPECT_EQ(records[k].id.label(), "sub") << format_name(format);
    }
  }
}

TEST(ToolsFormats, ForeignFilesAndBadRows) {
  // A CT file with a pseudoknot and a BPSEQ file with header lines as databases write them.
  auto records = read_eval(
      "6 dG = -1.0 knot\n1 G 0 2 5 1\n2 G 1 3 6 2\n3 A 2 4 0 3\n"
      "4 A 3 5 0 4\n5 C 4 6 1 5\n6 C 5 0 2 6\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].structure, "([..)]");
  EXPECT_EQ(records[0].id.name, "knot");
  records = read_eval("Filename: a.bpseq\nOrganism: x\n1 G 4\n2 A 0\n3 A 0\n4 C 1\n1 G 0\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].id.name, "a.bpseq");
  EXPECT_EQ(records[0].structure, "(..)");
  EXPECT_EQ(records[1].structure, ".");
  records = read_eval("3 x\n1 G 0 2 0 1\n9 A 1 3 0 2\n3 C 2 0 0 3\n2\n1 G\n", InputFormat::Ct);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].error, "CT line 3: expected base 2 as 'index base previous next partner'");
  EXPECT_EQ(records[1].error.substr(0, 9), "CT line 6");
  records = read_eval(
      "{\"name\":\"\\u00e9\\ud83d\\ude00\",\"sequence\":\"GAAC\",\"structure\":"
      "\"(..)\",\"x\":[1,{\"y\":null}]}\n{\"sequence\":1}\n{\"name\" \"a\"}\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].id.name, "\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(records[1].error, "JSON record without \"sequence\" and \"structure\" strings");
  EXPECT_EQ(records[2].error, "JSON column 9: expected ':'");
  EXPECT_EQ(detect_format(">x"), InputFormat::Text);
  EXPECT_EQ(detect_format("GGAC"), InputFormat::Text);
}

std::string gzip(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(text.size() + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string decoded(const std::string& bytes, std::string* error = nullptr) {
  std::istringstream source(bytes);
  DecodedInput decoder(source);
  std::istream in(&decoder);
  std::ostringstream text;
  text << in.rdbuf();
  if (error != nullptr) *error = decoder.error();
  return text.str();
}

TEST(ToolsFormats, CompressedInputAndByteOrderMark) {
  const std::string big(300000, 'A');
  EXPECT_EQ(decoded(gzip("\xEF\xBB\xBF>a\n") + gzip(big)), ">a\n" + big);  // two members
  EXPECT_EQ(decoded("\xEF\xBB\xBFGGAC\n"), "GGAC\n");
  EXPECT_EQ(decoded("GG\xEF\xBB\xBF"), "GG\xEF\xBB\xBF");
  std::string error;
  const std::string whole = gzip(big);
  decoded(whole.substr(0, whole.size() / 2), &error);
  EXPECT_EQ(error, "compressed data ends early");
  decoded(whole.substr(0, 10) + std::string(40, 'x'), &error);
  EXPECT_EQ(error, "compressed data is damaged");
}

TEST(ToolsFormats, FileNamesAndWarnings) {
  EXPECT_EQ(safe_file_name("16s E.coli/domain 2"), "16s_E.coli_domain_2");
  EXPECT_EQ(safe_file_name("../../etc/passwd"), "etc_passwd");
  EXPECT_EQ(safe_file_name("\xc3\xa9!"), "record");
  EXPECT_EQ(safe_file_name(std::string(300, 'a')).size(), 100u);

  EXPECT_EQ(short_hairpins(stemloop::make_pair_table("((..))(...)()")),
            (std::vector<std::string>{
                "hairpin closed by bases 2 and 5 has 2 unpaired bases, fewer than 3",
                "hairpin closed by bases 12 and 13 has 0 unpaired bases, fewer than 3"}));
  EXPECT_EQ(unmet_constraints("|.(...).", "........"),
            "could not enforce all constraints: '|' positions left unpaired: 1; forced pairs "
            "missing, from positions 3");
  EXPECT_EQ(unmet_constraints("|.(...)..", "(.(...).)"), "");
  ToolOptions options;
  EXPECT_EQ(unpairable_letters("ACGUTacgutNnRy", options),
            "letters N, R, Y are not A, C, G, U or T and never pair");
  options.model.alphabet.has_nonstandards = true;
  options.model.alphabet.nonstandards = "NR";
  EXPECT_EQ(unpairable_letters("GNRC", options), "");
  options.model.alphabet.energy_set = 1;
  EXPECT_EQ(unpairable_letters("XYZ", options), "");
}

// Further structure lines belong to the record above them; a record whose sequence is
// refused is reported once however many follow, and a name line starts the next record.
TEST(ToolsFormats, FurtherStructureLinesAreRecordsOfTheSameName) {
  const std::vector<EvalRecord> records = read_eval(
      ">a\nGGGAAACCC\n(((...))) ( -1.00)\nensemble free energy -1.2 kcal/mol\n"
      "((.....)) MEA (gamma 1, expected accuracy 8.1)\n......... centroid\n"
      ">b\nGG-AAACCC\n(((...)))\n.........\n<<<...>>>\nGGGAAACCC\n(((...))) sample\n");
  ASSERT_EQ(records.size(), 5U);
  for (size_t k = 0; k < 3; k++) {
    EXPECT_EQ(records[k].id.label(), "a");
    EXPECT_EQ(records[k].id.number, 1U);
    EXPECT_EQ(records[k].error, "");
  }
  EXPECT_EQ(records[1].structure, "((.....))");
  EXPECT_EQ(records[2].structure, ".........");
  EXPECT_EQ(records[3].id.label(), "b");
  EXPECT_NE(records[3].error, "");
  EXPECT_EQ(records[4].id.label(), "record 3");
  EXPECT_EQ(records[4].structure, "(((...)))");
}
}  // namespace
