#include "stemloop/records.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "stemloop/utf8.hpp"

namespace stemloop {
namespace {

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool all_letters(const std::string& text) {
  for (char c : text)
    if (!is_letter(c)) return false;
  return true;
}

// A constraint line holds a constraint character no sequence line has, or is made of
// 'x' only.
bool looks_like_constraint(const std::string& text) {
  if (text.find_first_of("()<>|.") != std::string::npos) return true;
  for (char c : text)
    if (c != 'x') return false;
  return true;
}

// GenBank-style sequence lines carry position numbers and blanks between groups; the
// folding program reads past them (a structure line must match its sequence exactly).
bool is_layout(char c) { return is_blank(c) || std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The line's sequence without those; the length drops by as many characters.
Line sequence_line(Line line) {
  const size_t before = line.text.size();
  line.text.erase(std::remove_if(line.text.begin(), line.text.end(), is_layout), line.text.end());
  line.length -= before - line.text.size();
  return line;
}

// A structure line is any line that is not made of letters only.
bool looks_like_structure(const std::string& text) { return !all_letters(text); }

bool is_name_line(const Line& line) { return line.text[0] == '>'; }

std::string name_of(const Line& line) {
  size_t start = 1;
  while (start < line.text.size() && is_blank(line.text[start])) start++;
  return line.text.substr(start);
}

// A character as it can be shown in a message: itself when printable, \xNN otherwise.
std::string shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (std::isprint(byte)) return std::string("'") + c + "'";
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(byte));
  return text;
}

std::string at(size_t index) { return "position " + std::to_string(index + 1) + ": "; }

// `text` must have `bases` characters, each one of `allowed`.
std::string check_line(const std::string& text, size_t bases, const char* what,
                       const std::string& allowed, const char* allowed_shown) {
  if (text.size() != bases) {
    return std::string(what) + " has " + std::to_string(text.size()) +
           " characters for a sequence of " + std::to_string(bases) + " bases";
  }
  for (size_t k = 0; k < text.size(); k++) {
    if (allowed.find(text[k]) == std::string::npos)
      return what + (" " + at(k)) + shown(text[k]) + " is not one of " + allowed_shown;
  }
  return {};
}

void start_record(RecordId& id, size_t& counter) {
  id = RecordId{};
  id.number = ++counter;
}

}  // namespace

std::string RecordId::label() const { return named ? name : "record " + std::to_string(number); }

void RecordId::set_name(const std::string& raw) {
  named = true;
  name = valid_utf8(raw);
}

std::string check_sequence(const std::string& sequence, size_t length) {
  if (length == 0) return "no sequence";
  if (length > kMaxBases) {
    return "sequence of " + std::to_string(length) + " bases is longer than the " +
           std::to_string(kMaxBases) + " bases supported";
  }
  for (size_t k = 0; k < sequence.size(); k++) {
    if (!is_letter(sequence[k])) return at(k) + shown(sequence[k]) + " is not a letter";
  }
  return {};
}

std::string check_constraint(const std::string& constraint, size_t bases) {
  return check_line(constraint, bases, "constraint", "()<>x|.", "( ) < > x | .");
}

std::string check_structure(const std::string& structure, size_t bases) {
  return check_line(structure, bases, "structure", "().[]{}<>", "( ) . [ ] { } < >");
}

bool split_structure_line(const std::string& line, std::string& structure,
                          std::optional<double>& energy) {
  size_t end = 0;
  while (end < line.size() && !is_blank(line[end])) end++;
  structure = line.substr(0, end);
  energy.reset();
  size_t k = end;
  while (k < line.size() && is_blank(line[k])) k++;
  if (k == line.size()) return true;
  const std::string rest = line.substr(k);
  if (rest == "centroid" || rest == "sample" || (rest.rfind("MEA (", 0) == 0 && rest.back() == ')'))
    return true;
  if (line[k] != '(' || line.back() != ')') return false;
  const std::string inside = line.substr(k + 1, line.size() - k - 2);
  const char* begin = inside.c_str();
  char* stop = nullptr;
  const double value = std::strtod(begin, &stop);
  if (stop == begin || !std::isfinite(value)) return false;
  while (*stop != '\0' && is_blank(*stop)) stop++;
  if (*stop != '\0') return false;
  energy = value;
  return true;
}

bool FoldRecordReader::next(FoldRecord& record) {
  Line line;
  if (!lines_.next(line)) return false;
  record = FoldRecord{};
  start_record(record.id, counter_);
  auto append = [&record](const Line& raw) {
    const Line part = sequence_line(raw);
    record.length += part.length;
    if (record.length <= kMaxBases) record.sequence += part.text;
  };
  if (is_name_line(line)) {
    record.id.set_name(name_of(line));
    Line part;
    while (lines_.next(part)) {
      if (is_name_line(part) || (with_constraint_ && looks_like_constraint(part.text))) {
        lines_.unread(std::move(part));
        break;
      }
      append(part);
    }
  } else {
    append(line);
  }
  record.error = check_sequence(record.sequence, record.length);
  if (!with_constraint_) return true;

  Line constraint;
  if (!lines_.next(constraint)) {
    if (record.error.empty()) record.error = "missing constraint line";
    return true;
  }
  if (is_name_line(constraint) || !looks_like_constraint(constraint.text)) {
    lines_.unread(std::move(constraint));
    if (record.error.empty()) record.error = "missing constraint line";
    return true;
  }
  record.constraint = constraint.text;
  if (record.error.empty()) record.error = check_constraint(constraint.text, record.length);
  return true;
}

namespace {

// The numbers line of -p, between the MFE structure and the MEA structure.
bool is_ensemble_line(const std::string& text) {
  return text.rfind("ensemble free energy ", 0) == 0;
}

// A further structure line of the record read last starts with a structure character
// (but '>', which starts a name line); any other line starts the next record.
bool is_more_structure(const Line& line) {
  return !line.text.empty() && std::strchr("().[]{}<", line.text[0]) != nullptr;
}

}  // namespace

void EvalRecordReader::take_structure(const Line& line, EvalRecord& record) {
  if (!split_structure_line(line.text, record.structure, record.given_energy)) {
    record.error = "text after the structure is not an energy in parentheses";
    return;
  }
  record.error = check_structure(record.structure, record.length);
}

bool EvalRecordReader::next(EvalRecord& record) {
  Line line;
  if (!lines_.next(line)) return false;
  // A record whose sequence was refused is reported once, not once per structure.
  while (last_ &&
         (is_ensemble_line(line.text) || (!last_->error.empty() && is_more_structure(line)))) {
    if (!lines_.next(line)) return false;
  }
  if (last_ && is_more_structure(line)) {
    record = *last_;
    take_structure(line, record);
    return true;
  }
  last_.reset();
  record = EvalRecord{};
  start_record(record.id, counter_);
  if (is_name_line(line)) {
    record.id.set_name(name_of(line));
    Line sequence;
    const bool found = lines_.next(sequence);
    if (!found || is_name_line(sequence)) {
      if (found) lines_.unread(std::move(sequence));
      record.error = "no sequence";
      return true;
    }
    line = std::move(sequence);
  }
  record.length = line.length;
  if (line.length <= kMaxBases) record.sequence = line.text;
  record.error = check_sequence(record.sequence, record.length);

  // A line of letters or a name line starts the next record: this one lacks its structure.
  Line structure;
  const bool found = lines_.next(structure);
  if (!found || is_name_line(structure) || !looks_like_structure(structure.text)) {
    if (found) lines_.unread(std::move(structure));
    if (record.error.empty()) record.error = "missing structure line";
    return true;
  }
  last_ = record;
  if (!record.error.empty()) return true;
  take_structure(structure, record);
  return true;
}

}  // namespace stemloop
