// Pieces that the command-line tests reach only in part: the structure line with its
// energy (the record reader) and the tools' JSON strings.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "output.hpp"
#include "stemloop/records.hpp"

namespace {

using namespace stemloop;
using namespace stemloop_tools;

TEST(ToolsEvalRecords, SplitStructureLine) {
  std::string structure;
  std::optional<double> energy;
  ASSERT_TRUE(split_structure_line("((..)) (-12.30)", structure, energy));
  EXPECT_EQ(structure, "((..))");
  EXPECT_DOUBLE_EQ(energy.value_or(0.0), -12.3);
  ASSERT_TRUE(split_structure_line("..", structure, energy));
  EXPECT_EQ(structure + (energy ? " with energy" : ""), "..");
  for (const char* bad : {"(..) ( -1.0", "(..) (1.0) x", "(..) (nan)"})
    EXPECT_FALSE(split_structure_line(bad, structure, energy)) << bad;
}

TEST(ToolsOutput, JsonStrings) {
  EXPECT_EQ(json_string("a\"b\\c\td\x01"), "\"a\\\"b\\\\c\\td\\u0001\"");
  EXPECT_EQ(json_string("\xc3\xa9"), "\"\xc3\xa9\"");                   // valid UTF-8 kept
  EXPECT_EQ(json_string("\xff\xc3"), "\"\\ufffd\\ufffd\"");             // invalid bytes replaced
  EXPECT_EQ(json_string("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // no surrogates
}

}  // namespace
