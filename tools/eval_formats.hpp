// The other inputs stemloop-eval reads besides its text records: the folding program's
// tsv and JSON Lines output, and CT and BPSEQ files. Each yields EvalRecords.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "options.hpp"
#include "stemloop/records.hpp"

namespace stemloop_tools {

// The format of an input told from its first non-blank line.
InputFormat detect_format(const std::string& first_line);

// A record of the fold's output that holds several structures (the MEA and centroid
// structures and samples of -p, the list of --subopt) gives one EvalRecord per structure,
// each with the record's name, number and sequence, in the order they are written.
class EvalFormatReader {
 public:
  // With InputFormat::Auto, the format is told from the first line. CT and BPSEQ records
  // without a name are named after `input`, the file they come from ("" for standard
  // input), and their number in it: "trna.ct:1".
  EvalFormatReader(stemloop::LineReader& lines, const std::string& input, InputFormat format,
                   size_t& counter);
  bool next(stemloop::EvalRecord& record);

 private:
  void read_tsv_header(const std::vector<std::string>& fields);
  // The further structures of a tsv row under the header read last.
  std::vector<std::string> tsv_more_structures(const std::vector<std::string>& fields) const;
  // Queues a record like `record` for each further structure.
  void queue_more(const stemloop::EvalRecord& record, const std::vector<std::string>& structures);
  bool next_tsv(stemloop::EvalRecord& record);
  bool next_json(stemloop::EvalRecord& record);
  bool next_ct(stemloop::EvalRecord& record);
  bool next_bpseq(stemloop::EvalRecord& record);

  // Names a CT or BPSEQ record after the input when it has no name of its own.
  void name_after_file(stemloop::EvalRecord& record);

  stemloop::LineReader& lines_;
  std::string file_name_;  // the input's name without its folders, "" for standard input
  size_t read_here_ = 0;   // records read from this input
  InputFormat format_;
  size_t& counter_;
  stemloop::EvalRecordReader text_;
  std::deque<stemloop::EvalRecord> queued_;
  std::vector<size_t> tsv_more_;  // tsv columns of further structures (mea, centroid)
  size_t tsv_samples_ = 0;        // tsv column of the samples joined by ';', 0 when none
  std::string pending_name_;      // BPSEQ: a header line naming the next record
  bool has_pending_name_ = false;
};

}  // namespace stemloop_tools
