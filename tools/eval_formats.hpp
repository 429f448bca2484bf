// The other inputs stemloop-eval reads besides its text records: the folding program's
// tsv and JSON Lines output, and CT and BPSEQ files. Each yields EvalRecords.
#pragma once

#include <cstddef>
#include <string>

#include "line_reader.hpp"
#include "options.hpp"
#include "records.hpp"

namespace stemloop_tools {

// The format of an input told from its first non-blank line.
InputFormat detect_format(const std::string& first_line);

class EvalFormatReader {
 public:
  // With InputFormat::Auto, the format is told from the first line.
  EvalFormatReader(LineReader& lines, InputFormat format, size_t& counter);
  bool next(EvalRecord& record);

 private:
  bool next_tsv(EvalRecord& record);
  bool next_json(EvalRecord& record);
  bool next_ct(EvalRecord& record);
  bool next_bpseq(EvalRecord& record);

  LineReader& lines_;
  InputFormat format_;
  size_t& counter_;
  EvalRecordReader text_;
  std::string pending_name_;  // BPSEQ: a header line naming the next record
  bool has_pending_name_ = false;
};

}  // namespace stemloop_tools
