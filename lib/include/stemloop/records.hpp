// Reading the records of the text formats: input decoded whatever form it comes in,
// non-blank lines read with bounded memory, and the records of the folding and the
// evaluation read from those lines. A record that cannot be used keeps the reason in
// `error`; reading goes on with the next record.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include "stemloop/constants.h"
#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

// Input as text whatever form it comes in: gzip data (told by its first two bytes) is
// inflated with zlib, member after member, and a UTF-8 byte-order mark at the very start
// is skipped.
class DecodedInput : public std::streambuf {
 public:
  explicit DecodedInput(std::istream& source);
  ~DecodedInput() override;
  DecodedInput(const DecodedInput&) = delete;
  DecodedInput& operator=(const DecodedInput&) = delete;

  // Why the compressed data could not be read to its end; empty when all went well.
  const std::string& error() const { return error_; }

 protected:
  int_type underflow() override;

 private:
  bool read_raw();        // refills the raw buffer; false at the end of the source
  size_t inflate_some();  // inflates into the output buffer; 0 at the end or on error

  std::streambuf* source_;
  std::vector<char> raw_;
  std::vector<char> out_;
  struct Stream;  // zlib's state, kept out of this header
  std::unique_ptr<Stream> zlib_;
  bool started_ = false;
  bool gzip_ = false;
  bool member_done_ = false;  // the last gzip member ended cleanly
  std::string error_;
};

// Non-blank input lines: LF or CR LF endings, trailing blanks dropped, and at most
// LineReader::kMaxKept characters of any line kept (the rest is only counted).
struct Line {
  std::string text;   // the line without its ending and trailing blanks, maybe cut short
  size_t length = 0;  // characters the line really had (after dropping trailing blanks)
  size_t number = 0;  // 1-based line number in its input
  bool cut() const { return text.size() < length; }
};

class LineReader {
 public:
  // Lines longer than this keep only their first kMaxKept characters; a record that long
  // is refused anyway, so nothing is lost.
  static constexpr size_t kMaxKept = 65536;

  explicit LineReader(std::istream& in) : in_(in) {}

  // The next non-blank line; false at the end of the input.
  bool next(Line& line);
  // Hands `line` back: the next call to next() returns it again.
  void unread(Line line);

 private:
  bool read_raw(Line& line);

  std::istream& in_;
  size_t line_number_ = 0;
  bool has_pending_ = false;
  Line pending_;
};

// Longest sequence a record may have: the 16-bit encodings of the engine hold no more.
constexpr size_t kMaxBases = MAX_SEQUENCE_LENGTH;

struct RecordId {
  size_t number = 0;  // 1-based, counted over all inputs
  std::string name;   // text after '>', empty for an unnamed record
  bool named = false;
  // The name, or "record N" for an unnamed record.
  std::string label() const;
  // Names the record with text read from the input. Bytes that are not UTF-8 become
  // U+FFFD here, so every format, message and file name shows the same name.
  void set_name(const std::string& raw);
};

struct FoldRecord {
  RecordId id;
  std::string sequence;
  size_t length = 0;                      // bases, also when the sequence was too long to keep
  std::optional<std::string> constraint;  // read only when constraints are on
  std::string error;                      // empty for a usable record
};

struct EvalRecord {
  RecordId id;
  std::string sequence;
  size_t length = 0;
  std::string structure;
  std::optional<double> given_energy;  // energy printed after the structure, if any
  std::string error;
};

// Reads FASTA records ('>name' and one or more sequence lines) and bare records (one
// sequence per line). With constraints, each sequence is followed by its constraint line.
class FoldRecordReader {
 public:
  FoldRecordReader(LineReader& lines, bool with_constraint, size_t& counter)
      : lines_(lines), with_constraint_(with_constraint), counter_(counter) {}
  bool next(FoldRecord& record);

 private:
  LineReader& lines_;
  bool with_constraint_;
  size_t& counter_;
};

// Reads records of an optional '>name' line, a sequence line and a structure line that
// may end in an energy in parentheses, as the folding program prints it. Further
// structure lines after it (the MEA, centroid and sample lines of -p, the list of
// --subopt) are records of their own with the same name, number and sequence; the
// ensemble line of -p between them is skipped.
class EvalRecordReader {
 public:
  EvalRecordReader(LineReader& lines, size_t& counter) : lines_(lines), counter_(counter) {}
  bool next(EvalRecord& record);

 private:
  // Reads `line` as a structure line of `record`.
  static void take_structure(const Line& line, EvalRecord& record);

  LineReader& lines_;
  size_t& counter_;
  std::optional<EvalRecord> last_;  // the record read last, when it had a structure line
};

// Checks of the record text; each returns an empty string or what is wrong. Structures
// may hold the pseudoknot brackets [] {} <>, which the evaluation resolves.
std::string check_sequence(const std::string& sequence, size_t length);
std::string check_constraint(const std::string& constraint, size_t bases);
std::string check_structure(const std::string& structure, size_t bases);

// Splits "STRUCTURE ( -1.20)" into structure and energy; false when text follows the
// structure that is neither one energy in parentheses nor the label of an ensemble line
// of -p ("MEA (...)", "centroid", "sample"), which gives no energy.
bool split_structure_line(const std::string& line, std::string& structure,
                          std::optional<double>& energy);

}  // namespace stemloop
STEMLOOP_API_END
