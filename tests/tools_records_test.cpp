// Record readers, option parsing, JSON strings and the ordered runner of the tools.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "line_reader.hpp"
#include "options.hpp"
#include "output.hpp"
#include "parallel.hpp"
#include "records.hpp"

namespace {

using namespace stemloop_tools;

// Every record a reader of type Reader yields from `text`.
template <typename Record, typename Reader, typename... Args>
std::vector<Record> read_all(const std::string& text, Args... args) {
  std::istringstream in(text);
  LineReader lines(in);
  size_t counter = 0;
  Reader reader(lines, args..., counter);
  std::vector<Record> records;
  Record record;
  while (reader.next(record)) records.push_back(record);
  return records;
}
std::vector<FoldRecord> read_fold(const std::string& text, bool constraint = false) {
  return read_all<FoldRecord, FoldRecordReader>(text, constraint);
}

TEST(ToolsLineReader, EndingsBlanksAndLongLines) {
  std::istringstream in("AC\r\n\r\n  \nGU \t\r\nA C\r" + std::string(70000, 'G'));
  LineReader lines(in);
  Line line;
  ASSERT_TRUE(lines.next(line));
  EXPECT_EQ(line.text, "AC");
  ASSERT_TRUE(lines.next(line));
  EXPECT_EQ(line.text, "GU");
  EXPECT_EQ(line.number, 4u);
  ASSERT_TRUE(lines.next(line));
  EXPECT_EQ(line.length, 70004u);  // the inner CR stays: it is no line ending
  EXPECT_TRUE(line.cut());
  EXPECT_EQ(line.text.size(), LineReader::kMaxKept);
  EXPECT_FALSE(lines.next(line));
}

TEST(ToolsFoldRecords, FastaBareAndConstraints) {
  auto records = read_fold(">a b\nGGGG\nAAAACCCC\nacgu\n>empty\n>x\nGG-G\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].id.label(), "a b");
  EXPECT_EQ(records[0].sequence, "GGGGAAAACCCCacgu");
  EXPECT_EQ(records[1].error, "no sequence");
  EXPECT_EQ(records[2].error, "position 3: '-' is not a letter");

  records = read_fold("GGGGAAAACCCC\n((((....))))\nGGGG\nAAAA\nxxxx\n>n\nGG\nCC\n<.>.\n", true);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(*records[0].constraint, "((((....))))");
  EXPECT_EQ(records[1].error, "missing constraint line");  // AAAA starts the next record
  EXPECT_EQ(records[2].id.label(), "record 3");
  EXPECT_EQ(*records[2].constraint, "xxxx");
  EXPECT_EQ(records[3].sequence, "GGCC");
  EXPECT_TRUE(records[3].error.empty());
}

TEST(ToolsFoldRecords, TooLongSequencesAreCountedNotKept) {
  const std::string line(20000, 'A');
  const auto records = read_fold(">long\n" + line + "\n" + line + "\nGGGG\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].length, 40004u);
  EXPECT_LE(records[0].sequence.size(), kMaxBases);
  EXPECT_NE(records[0].error.find("40004 bases is longer than the 32767"), std::string::npos);
}

TEST(ToolsEvalRecords, StructureLinesAndResync) {
  const auto records = read_all<EvalRecord, EvalRecordReader>(
      ">a\nGGGAAACCC\n(((...))) ( -1.20)\nGGGG\nCCCC\n(..)\n>b\nAC\n(.) (x)\n");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].structure, "(((...)))");
  ASSERT_TRUE(records[0].given_energy.has_value());
  EXPECT_DOUBLE_EQ(*records[0].given_energy, -1.2);
  EXPECT_EQ(records[1].error, "missing structure line");
  EXPECT_EQ(records[2].sequence, "CCCC");
  EXPECT_EQ(records[3].error, "text after the structure is not an energy in parentheses");
}

TEST(ToolsEvalRecords, SplitStructureLine) {
  std::string structure;
  std::optional<double> energy;
  EXPECT_TRUE(split_structure_line("((..)) (-12.30)", structure, energy));
  EXPECT_EQ(structure, "((..))");
  EXPECT_DOUBLE_EQ(*energy, -12.3);
  EXPECT_TRUE(split_structure_line("..", structure, energy));
  EXPECT_FALSE(energy.has_value());
  EXPECT_FALSE(split_structure_line("(..) ( -1.0", structure, energy));
  EXPECT_FALSE(split_structure_line("(..) (1.0) x", structure, energy));
  EXPECT_FALSE(split_structure_line("(..) (nan)", structure, energy));
}

TEST(ToolsOutput, JsonStrings) {
  EXPECT_EQ(json_string("a\"b\\c\td\x01"), "\"a\\\"b\\\\c\\td\\u0001\"");
  EXPECT_EQ(json_string("\xc3\xa9"), "\"\xc3\xa9\"");            // valid UTF-8 kept
  EXPECT_EQ(json_string("\xff\xc3"), "\"\\ufffd\\ufffd\"");      // invalid bytes replaced
  EXPECT_EQ(json_string("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // no surrogates
  EXPECT_EQ(energy_suffix(-120), " ( -1.20)");
  EXPECT_EQ(energy_suffix(-12345), " (-123.45)");
}

ToolOptions parse(Program program, std::vector<std::string> args) {
  args.insert(args.begin(), "tool");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return parse_options(program, static_cast<int>(args.size()), argv.data());
}

TEST(ToolsOptions, ValuesReachTheEngineStructs) {
  const ToolOptions o = parse(Program::Fold, {"-T", "25.5", "-d2", "--noLP", "--noGU",
                                              "--nsp", "ga,AU", "--nsp=CA", "--noTetra",
                                              "--energy-set", "0", "-j", "3", "a", "-"});
  EXPECT_DOUBLE_EQ(o.model.temperature, 25.5);
  EXPECT_EQ(o.fold.dangles, 2);
  EXPECT_EQ(o.eval.dangles, 2);
  EXPECT_TRUE(o.fold.noLonelyPairs);
  EXPECT_TRUE(o.model.alphabet.noGU);
  EXPECT_TRUE(o.model.alphabet.has_nonstandards);
  EXPECT_EQ(o.model.alphabet.nonstandards, "GAAUCA");
  EXPECT_FALSE(o.fold.tetra_loop);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a", "-"}));
  EXPECT_TRUE(parse(Program::Eval, {"--logML", "-v"}).eval.logML);
}

TEST(ToolsOptions, BadValuesThrow) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-d", "4"}, {"-d", "1x"}, {"-T", ""}, {"-T", "inf"},
        {"-j", "-1"}, {"--nsp", "G"}, {"--nsp", "GA,"}, {"--nsp", "G1"}, {"--format", "csv"},
        {"--energy-set", "-1"}, {"--verbose"}, {"--dangles"}}) {
    EXPECT_THROW(parse(Program::Fold, args), UsageError) << args[0];
  }
  EXPECT_THROW(parse(Program::Eval, {"-C"}), UsageError);
}

TEST(ToolsRunner, ResultsComeInSubmissionOrder) {
  for (int threads : {1, 2, 5}) {
    std::vector<int> seen;
    {
      OrderedRunner<int, int> runner(
          threads, [] { return [](int& task) { return task * task; }; },
          [&seen](int& result) { seen.push_back(result); });
      for (int k = 0; k < 200; k++) runner.submit(k);
      runner.finish();
    }
    ASSERT_EQ(seen.size(), 200u);
    for (int k = 0; k < 200; k++) EXPECT_EQ(seen[static_cast<size_t>(k)], k * k);
  }
}

}  // namespace
