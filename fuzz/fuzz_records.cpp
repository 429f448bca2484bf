// The record readers on arbitrary input text.
//
// Input: byte 0 picks the reader (bit 0: evaluation records instead of folding records;
// bit 1: folding records with a constraint line each); the rest is the input stream.
// Reading ends, numbers records 1, 2, ... and consumes at least one line per record; a
// record without error holds exactly what the programs may pass on to the engine; a
// structure line with an energy splits into a blank-free prefix and a finite number.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_check.hpp"
#include "stemloop/records.hpp"

namespace {

using namespace stemloop;

bool only(const std::string& text, const char* allowed) {
  return text.find_first_not_of(allowed) == std::string::npos;
}

bool letters(const std::string& text) {
  for (char c : text)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// Non-blank lines of the input as the line reader sees them: LF ends a line, and a line
// of nothing but blanks (space, tab, CR, VT, FF) does not count.
size_t nonblank_lines(const std::string& text) {
  size_t count = 0;
  bool meaningful = false;
  for (char c : text) {
    if (c == '\n') {
      count += meaningful;
      meaningful = false;
    } else if (!(c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f')) {
      meaningful = true;
    }
  }
  return count + meaningful;
}

void check_id(const RecordId& id, size_t expected_number) {
  FUZZ_CHECK(id.number == expected_number);
  if (id.named) {
    FUZZ_CHECK(id.name.empty() || (id.name[0] != ' ' && id.name[0] != '\t'));
    FUZZ_CHECK(id.label() == id.name);
  } else {
    FUZZ_CHECK(id.name.empty());
    FUZZ_CHECK(id.label() == "record " + std::to_string(id.number));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool eval = (data[0] & 1) != 0, with_constraint = (data[0] & 2) != 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t lines_in = nonblank_lines(text);

  // The line reader alone: lines without their ending or trailing blanks.
  {
    std::istringstream in(text);
    LineReader lines(in);
    Line line;
    size_t count = 0, last_number = 0;
    while (lines.next(line)) {
      count++;
      FUZZ_CHECK(count <= lines_in);
      FUZZ_CHECK(line.number > last_number);
      last_number = line.number;
      FUZZ_CHECK(line.length > 0 && line.text.size() <= line.length);
      FUZZ_CHECK(line.text.size() <= LineReader::kMaxKept);
      FUZZ_CHECK(line.text.find('\n') == std::string::npos);
      if (!line.cut()) {
        const char last = line.text.back();
        FUZZ_CHECK(!(last == ' ' || last == '\t' || last == '\r' || last == '\v' || last == '\f'));
      }
    }
    FUZZ_CHECK(count == lines_in);
  }

  std::istringstream in(text);
  LineReader lines(in);
  size_t counter = 0, records = 0;
  if (eval) {
    EvalRecordReader reader(lines, counter);
    EvalRecord r;
    while (reader.next(r)) {
      records++;
      FUZZ_CHECK(records <= lines_in);
      check_id(r.id, records);
      if (!r.error.empty()) continue;
      FUZZ_CHECK(r.length >= 1 && r.length <= kMaxBases);
      FUZZ_CHECK(r.sequence.size() == r.length && letters(r.sequence));
      FUZZ_CHECK(r.structure.size() == r.length && only(r.structure, "()."));
      if (r.given_energy) FUZZ_CHECK(std::isfinite(*r.given_energy));
    }
  } else {
    FoldRecordReader reader(lines, with_constraint, counter);
    FoldRecord r;
    while (reader.next(r)) {
      records++;
      FUZZ_CHECK(records <= lines_in);
      check_id(r.id, records);
      FUZZ_CHECK(with_constraint || !r.constraint.has_value());
      if (!r.error.empty()) continue;
      FUZZ_CHECK(r.length >= 1 && r.length <= kMaxBases);
      FUZZ_CHECK(r.sequence.size() == r.length && letters(r.sequence));
      if (with_constraint) {
        FUZZ_CHECK(r.constraint.has_value());
        FUZZ_CHECK(r.constraint->size() == r.length && only(*r.constraint, "()<>x|."));
      }
    }
  }
  FUZZ_CHECK(counter == records);

  // The first line as a structure line with an optional energy.
  const std::string first = text.substr(0, text.find('\n'));
  std::string structure;
  std::optional<double> energy;
  if (split_structure_line(first, structure, energy)) {
    FUZZ_CHECK(first.compare(0, structure.size(), structure) == 0);
    FUZZ_CHECK(structure.find_first_of(" \t") == std::string::npos);
    if (energy) FUZZ_CHECK(std::isfinite(*energy));
  }
  // A structure and an energy as the folding program prints them read back.
  if (!structure.empty() && first.find_first_of(" \t") == std::string::npos) {
    char printed[64];
    std::snprintf(printed, sizeof printed, " (%6.2f)", -12.5);
    std::string again;
    std::optional<double> value;
    FUZZ_CHECK(split_structure_line(first + printed, again, value));
    FUZZ_CHECK(again == first && value && *value == -12.5);
  }
  return 0;
}
