#include "eval_formats.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "json_fields.hpp"
#include "stemloop/pseudoknots.hpp"

namespace stemloop_tools {
namespace {

constexpr char kTsvHeader[] = "name\tsequence\tstructure";

std::vector<std::string> fields_of(const std::string& text, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(text);
  if (separator == '\t') {
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!text.empty() && text.back() == '\t') fields.emplace_back();
  } else {
    while (in >> field) fields.push_back(field);
  }
  return fields;
}

// A whole non-negative decimal number, or -1.
long whole_number(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
  return std::strtol(text.c_str(), nullptr, 10);
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void start(stemloop::EvalRecord& record, size_t& counter, const std::string& name) {
  record = stemloop::EvalRecord{};
  record.id.number = ++counter;
  if (!name.empty()) record.id.set_name(name);
}

// The sequence and pairs of a CT or BPSEQ record become the record's text.
void take_pairs(stemloop::EvalRecord& record, const std::string& sequence,
                const std::vector<int>& partner) {
  record.sequence = sequence;
  record.length = sequence.size();
  if (record.error.empty()) record.error = stemloop::check_sequence(record.sequence, record.length);
  if (record.error.empty()) record.error = stemloop::pairs_to_brackets(partner, record.structure);
}

// "ENERGY = -5.40  name" or "dG = -5.4 name": the energy, then the name.
void read_title(const std::string& title, stemloop::EvalRecord& record) {
  std::string rest = trimmed(title);
  for (const char* lead : {"ENERGY =", "ENERGY=", "dG =", "dG="}) {
    const std::string prefix(lead);
    if (rest.compare(0, prefix.size(), prefix) != 0) continue;
    const char* begin = rest.c_str() + prefix.size();
    char* stop = nullptr;
    const double energy = std::strtod(begin, &stop);
    if (stop != begin) {
      record.given_energy = energy;
      rest = trimmed(std::string(stop));
    }
    break;
  }
  if (!rest.empty()) record.id.set_name(rest);
}

// Reads the header lines of a BPSEQ record up to its first base line: sets `name` to
// the first non-empty name they give ('# name' or 'Filename: name'); false when none does.
bool read_bpseq_name(stemloop::LineReader& lines, std::string& name) {
  stemloop::Line line;
  bool named = false;
  while (lines.next(line)) {
    const std::vector<std::string> f = fields_of(line.text, ' ');
    if (whole_number(f[0]) >= 0) {
      lines.unread(std::move(line));
      break;
    }
    if (line.text[0] == '#' && !named) {
      name = trimmed(line.text.substr(1));
      named = !name.empty();
    } else if (line.text.compare(0, 9, "Filename:") == 0 && !named) {
      name = trimmed(line.text.substr(9));
      named = !name.empty();
    }
  }
  return named;
}

}  // namespace

InputFormat detect_format(const std::string& first_line) {
  if (first_line.empty()) return InputFormat::Text;
  if (first_line[0] == '{') return InputFormat::Json;
  if (first_line.compare(0, sizeof kTsvHeader - 1, kTsvHeader) == 0) return InputFormat::Tsv;
  if (first_line[0] == '#' || first_line.compare(0, 9, "Filename:") == 0) return InputFormat::Bpseq;
  const std::vector<std::string> fields = fields_of(first_line, ' ');
  if (whole_number(fields[0]) < 0) return InputFormat::Text;
  const bool bpseq_row =
      fields.size() == 3 && fields[1].size() == 1 && whole_number(fields[2]) >= 0;
  return bpseq_row ? InputFormat::Bpseq : InputFormat::Ct;
}

EvalFormatReader::EvalFormatReader(stemloop::LineReader& lines, const std::string& input,
                                   InputFormat format, size_t& counter)
    : lines_(lines),
      file_name_(input.substr(input.find_last_of('/') + 1)),
      format_(format),
      counter_(counter),
      text_(lines, counter) {}

void EvalFormatReader::name_after_file(stemloop::EvalRecord& record) {
  read_here_++;
  if (!record.id.named && !file_name_.empty())
    record.id.set_name(file_name_ + ":" + std::to_string(read_here_));
}

void EvalFormatReader::queue_more(const stemloop::EvalRecord& record,
                                  const std::vector<std::string>& structures) {
  if (!stemloop::check_sequence(record.sequence, record.length).empty()) return;
  for (const std::string& structure : structures) {
    stemloop::EvalRecord more = record;
    more.structure = structure;
    more.given_energy.reset();
    more.error = stemloop::check_structure(structure, more.length);
    queued_.push_back(std::move(more));
  }
}

bool EvalFormatReader::next(stemloop::EvalRecord& record) {
  if (!queued_.empty()) {
    record = std::move(queued_.front());
    queued_.pop_front();
    return true;
  }
  if (format_ == InputFormat::Auto) {
    stemloop::Line first;
    if (!lines_.next(first)) return false;
    format_ = detect_format(first.text);
    lines_.unread(std::move(first));
  }
  switch (format_) {
    case InputFormat::Tsv:
      return next_tsv(record);
    case InputFormat::Json:
      return next_json(record);
    case InputFormat::Ct:
      if (!next_ct(record)) return false;
      name_after_file(record);
      return true;
    case InputFormat::Bpseq:
      if (!next_bpseq(record)) return false;
      name_after_file(record);
      return true;
    default:
      return text_.next(record);
  }
}

bool EvalFormatReader::next_tsv(stemloop::EvalRecord& record) {
  stemloop::Line line;
  if (!lines_.next(line)) return false;
  const std::vector<std::string> fields = fields_of(line.text, '\t');
  if (line.text.compare(0, sizeof kTsvHeader - 1, kTsvHeader) == 0) {
    read_tsv_header(fields);
    return next_tsv(record);
  }
  start(record, counter_, fields.empty() ? "" : fields[0]);
  if (line.cut() || fields.size() < 3) {
    record.error = "tsv line " + std::to_string(line.number) +
                   (line.cut() ? " is too long" : ": expected name, sequence and structure");
    return true;
  }
  record.sequence = fields[1];
  record.length = record.sequence.size();
  record.structure = fields[2];
  if (fields.size() > 3 && !fields[3].empty())
    record.given_energy = std::strtod(fields[3].c_str(), nullptr);
  record.error = stemloop::check_sequence(record.sequence, record.length);
  if (record.error.empty())
    record.error = stemloop::check_structure(record.structure, record.length);
  queue_more(record, tsv_more_structures(fields));
  return true;
}

// The columns of -p that hold further structures: mea, centroid and the samples.
void EvalFormatReader::read_tsv_header(const std::vector<std::string>& fields) {
  tsv_more_.clear();
  tsv_samples_ = 0;
  for (size_t k = 3; k < fields.size(); k++) {
    if (fields[k] == "mea" || fields[k] == "centroid") tsv_more_.push_back(k);
    if (fields[k] == "samples") tsv_samples_ = k;
  }
}

std::vector<std::string> EvalFormatReader::tsv_more_structures(
    const std::vector<std::string>& fields) const {
  std::vector<std::string> more;
  for (size_t column : tsv_more_)
    if (column < fields.size()) more.push_back(fields[column]);
  if (tsv_samples_ != 0 && tsv_samples_ < fields.size()) {
    std::istringstream samples(fields[tsv_samples_]);
    for (std::string s; std::getline(samples, s, ';');) more.push_back(s);
  }
  return more;
}

bool EvalFormatReader::next_json(stemloop::EvalRecord& record) {
  stemloop::Line line;
  if (!lines_.next(line)) return false;
  std::map<std::string, JsonValue> members;
  const std::string why =
      line.cut() ? "JSON line is too long" : parse_json_object(line.text, members);
  const JsonValue& name = members["name"];
  start(record, counter_, name.kind == JsonValue::Kind::String ? name.text : "");
  if (!why.empty()) {
    record.error = why;
    return true;
  }
  // The structures in the order the fold writes them: the MFE structure, then the MEA
  // and centroid structures and the samples of -p; or the list of --subopt.
  std::vector<std::string> structures;
  std::optional<double> energy;
  const auto take = [&structures](const JsonValue& value) {
    if (value.kind == JsonValue::Kind::String) structures.push_back(value.text);
  };
  take(members["structure"]);
  if (members["energy"].kind == JsonValue::Kind::Number) energy = members["energy"].number;
  take(members["mea"]["structure"]);
  take(members["centroid"]["structure"]);
  for (const JsonValue& sample : members["samples"].items) take(sample);
  for (const JsonValue& entry : members["subopt"].items) take(entry["structure"]);
  const JsonValue& sequence = members["sequence"];
  if (sequence.kind != JsonValue::Kind::String || structures.empty()) {
    record.error = "JSON record without \"sequence\" and \"structure\" strings";
    return true;
  }
  record.sequence = sequence.text;
  record.length = record.sequence.size();
  record.structure = structures.front();
  record.given_energy = energy;
  record.error = stemloop::check_sequence(record.sequence, record.length);
  if (record.error.empty())
    record.error = stemloop::check_structure(record.structure, record.length);
  structures.erase(structures.begin());
  queue_more(record, structures);
  return true;
}

// CT: a line "N title", then N lines "index base previous next partner natural-index".
bool EvalFormatReader::next_ct(stemloop::EvalRecord& record) {
  stemloop::Line header;
  if (!lines_.next(header)) return false;
  const std::vector<std::string> head = fields_of(header.text, ' ');
  start(record, counter_, "");
  const long n = whole_number(head[0]);
  if (n <= 0) {
    record.error = "CT line " + std::to_string(header.number) + ": expected the number of bases";
    return true;
  }
  read_title(header.text.substr(header.text.find(head[0]) + head[0].size()), record);
  std::string sequence;
  std::vector<int> partner;
  for (long k = 1; k <= n; k++) {
    stemloop::Line row;
    if (!lines_.next(row)) {
      if (record.error.empty())
        record.error =
            "CT record ends after " + std::to_string(k - 1) + " of " + std::to_string(n) + " bases";
      break;
    }
    const std::vector<std::string> f = fields_of(row.text, ' ');
    if (f.size() < 5 || whole_number(f[0]) != k || f[1].size() != 1 || whole_number(f[4]) < 0 ||
        whole_number(f[4]) > n) {
      if (record.error.empty())
        record.error = "CT line " + std::to_string(row.number) + ": expected base " +
                       std::to_string(k) + " as 'index base previous next partner'";
      continue;
    }
    if (static_cast<size_t>(n) <= stemloop::kMaxBases) {
      sequence += f[1];
      partner.push_back(static_cast<int>(whole_number(f[4])));
    }
  }
  if (static_cast<size_t>(n) > stemloop::kMaxBases && record.error.empty()) {
    record.error = stemloop::check_sequence(sequence, static_cast<size_t>(n));
    record.length = static_cast<size_t>(n);
  }
  if (record.error.empty()) take_pairs(record, sequence, partner);
  return true;
}

// BPSEQ: optional header lines ('# name', 'Filename: name', others ignored), then lines
// "index base partner"; a record ends before a header line or an index 1.
bool EvalFormatReader::next_bpseq(stemloop::EvalRecord& record) {
  std::string name;
  const bool named = read_bpseq_name(lines_, name);
  stemloop::Line row;
  if (!lines_.next(row)) {
    if (!named) return false;
    start(record, counter_, name);
    record.error = "no sequence";
    return true;
  }
  start(record, counter_, name);
  std::string sequence;
  std::vector<int> partner;
  size_t count = 0;
  for (long k = 1;; k++) {
    const std::vector<std::string> f = fields_of(row.text, ' ');
    const long index = whole_number(f[0]);
    if (index < 0 || (index == 1 && k > 1)) {
      lines_.unread(std::move(row));
      break;
    }
    if (f.size() != 3 || index != k || f[1].size() != 1 || whole_number(f[2]) < 0) {
      if (record.error.empty())
        record.error = "BPSEQ line " + std::to_string(row.number) + ": expected base " +
                       std::to_string(k) + " as 'index base partner'";
    } else if (++count <= stemloop::kMaxBases) {
      sequence += f[1];
      partner.push_back(static_cast<int>(whole_number(f[2])));
    }
    if (!lines_.next(row)) break;
  }
  if (record.error.empty() && count > stemloop::kMaxBases) {
    record.length = count;
    record.error = stemloop::check_sequence(sequence, count);
  }
  if (record.error.empty()) take_pairs(record, sequence, partner);
  return true;
}

}  // namespace stemloop_tools
