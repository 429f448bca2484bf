// The text format of a parameter set (docs/parameters.md): a header, the rules, the
// constants, then one section per table with one line per entry, keys spelled out.
// The reader accepts entries in any order but wants every one exactly once, and throws
// at the first fault, so that no half-read set is ever used.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include "model/parameter_tables.hpp"
#include "stemloop/constants.h"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

constexpr const char* kMagic = "stemloop-parameters";
constexpr int kFormatVersion = 1;
const char* const kPairNames[8] = {"NP", "CG", "GC", "GU", "UG", "AU", "UA", "NS"};
const char* const kBaseNames[5] = {"N", "A", "C", "G", "U"};

int axis_size(char axis) { return axis == 'P' ? 8 : axis == 'B' ? 5 : axis == 'S' ? 31 : 5; }

std::string key_name(char axis, int index) {
  if (axis == 'P') return kPairNames[index];
  if (axis == 'B') return kBaseNames[index];
  return std::to_string(index);
}

std::string energy_text(int value) { return value == ENERGY_INF ? "inf" : std::to_string(value); }

// The shortest text that reads back as the same double.
std::string real_text(double value) {
  char text[40];
  for (int digits = 6; digits <= 17; digits++) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::vector<std::string> split(const std::string& line) {
  std::istringstream words(line);
  std::vector<std::string> out;
  for (std::string w; words >> w;) out.push_back(w);
  return out;
}

size_t table_entries(const char* axes) {
  size_t count = 1;
  for (const char* a = axes; *a; a++) count *= static_cast<size_t>(axis_size(*a));
  return count;
}

// The key of the k-th entry of a table, as the file spells it.
std::string entry_key(const char* axes, size_t k) {
  std::vector<std::string> parts;
  const std::string shape = axes;
  for (size_t a = shape.size(); a-- > 0;) {
    const size_t size = static_cast<size_t>(axis_size(shape[a]));
    parts.insert(parts.begin(), key_name(shape[a], static_cast<int>(k % size)));
    k /= size;
  }
  std::string key;
  for (const std::string& p : parts) key += (key.empty() ? "" : " ") + p;
  return key;
}

class Reader {
 public:
  Reader(std::istream& in, const std::string& source, ParameterSet& set)
      : in_(in), source_(source), set_(set) {}

  void read() {
    std::string line;
    bool header = false;
    while (std::getline(in_, line)) {
      line_number_++;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t hash = line.find('#');
      const std::string text = hash == std::string::npos ? line : line.substr(0, hash);
      const std::vector<std::string> words = split(text);
      if (words.empty()) continue;
      if (!header) {
        if (words.size() != 2 || words[0] != kMagic || words[1] != std::to_string(kFormatVersion))
          fail("header", std::string("not a parameter file (the first line must be '") + kMagic +
                             " " + std::to_string(kFormatVersion) + "')");
        header = true;
      } else if (words[0].front() == '[') {
        start_section(words);
      } else {
        entry(words, text);
      }
    }
    if (in_.bad()) fail("header", "read error");
    if (!header) fail("header", "empty file");
    finish_section();
    for_each_table([&](const char* name, const char*, auto&) { require(name); }, set_);
    for (const char* name : {"rules", "constants", "special_hairpins"}) require(name);
  }

 private:
  [[noreturn]] void fail(const std::string& table, const std::string& what) const {
    throw Error(source_ + ":" + std::to_string(line_number_) + ": table " + table + ": " + what);
  }

  void require(const std::string& name) const {
    if (!seen_.count(name)) fail(name, "missing");
  }

  void start_section(const std::vector<std::string>& words) {
    const std::string& w = words[0];
    if (words.size() != 1 || w.size() < 3 || w.back() != ']') fail(w, "bad section line");
    finish_section();
    section_ = w.substr(1, w.size() - 2);
    bool known = section_ == "rules" || section_ == "constants" || section_ == "special_hairpins";
    for_each_table([&](const char* name, const char*, auto&) { known = known || section_ == name; },
                   set_);
    if (!known) fail(section_, "unknown table");
    if (seen_.count(section_)) fail(section_, "given twice");
    seen_[section_] = true;
    filled_.clear();
  }

  // Every entry of the section just read is there.
  void finish_section() {
    if (section_.empty()) return;
    if (section_ == "rules") {
      for_each_rule(
          [&](const char* name, const char*, const char*, bool&) {
            if (!filled_.count(name)) fail(section_, std::string("missing rule ") + name);
          },
          set_);
    } else if (section_ == "constants") {
      const auto check = [&](const char* name, auto&) {
        if (!filled_.count(name)) fail(section_, std::string("missing constant ") + name);
      };
      for_each_constant(check, set_);
      for_each_real(check, set_);
    } else if (section_ != "special_hairpins") {
      for_each_table(
          [&](const char* name, const char* axes, auto&) {
            if (section_ != name) return;
            const size_t count = table_entries(axes);
            for (size_t k = 0; k < count; k++)
              if (!filled_.count(std::to_string(k)))
                fail(section_, "missing entry " + entry_key(axes, k));
          },
          set_);
    }
  }

  int energy(const std::string& word) const {
    if (word == "inf") return ENERGY_INF;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 10);
    if (end == word.c_str() || *end != '\0' || errno != 0 || value > ENERGY_INF ||
        value < -ENERGY_INF)
      fail(section_, "bad energy '" + word + "' (whole 0.01 kcal/mol, at most 1000000, or inf)");
    return static_cast<int>(value);
  }

  void entry(const std::vector<std::string>& words, const std::string& text) {
    if (section_.empty()) {
      // The header's name and reference lines: the rest of the line is the text.
      if (words[0] == "name" || words[0] == "reference") {
        const size_t at = text.find(words[0]) + words[0].size();
        const size_t from = text.find_first_not_of(" \t", at);
        std::string value = from == std::string::npos ? "" : text.substr(from);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        (words[0] == "name" ? set_.name : set_.reference) = value;
        return;
      }
      fail("header", "unexpected line before the first table: '" + words[0] + "'");
    }
    if (section_ == "rules") return rule(words);
    if (section_ == "constants") return constant(words);
    if (section_ == "special_hairpins") return special_hairpin(words);
    for_each_table(
        [&](const char* name, const char* axes, auto& table) {
          if (section_ == name) table_entry(words, axes, &table.g37, &table.h);
        },
        set_);
  }

  void mark(const std::string& key) {
    if (filled_.count(key)) fail(section_, "entry given twice");
    filled_[key] = true;
  }

  void rule(const std::vector<std::string>& words) {
    bool known = false;
    for_each_rule(
        [&](const char* name, const char* off, const char* on, bool& value) {
          if (words[0] != name) return;
          known = true;
          if (words.size() != 2 || (words[1] != off && words[1] != on))
            fail(section_, std::string("rule ") + name + " is " + off + " or " + on);
          value = words[1] == on;
          mark(name);
        },
        set_);
    if (!known) fail(section_, "unknown rule '" + words[0] + "'");
  }

  void constant(const std::vector<std::string>& words) {
    bool known = false;
    for_each_constant(
        [&](const char* name, ParameterConstant& c) {
          if (words[0] != name) return;
          known = true;
          if (words.size() != 3) fail(section_, std::string(name) + ": give dG37 and dH or fixed");
          c.g37 = energy(words[1]);
          c.fixed = words[2] == "fixed";
          c.h = c.fixed ? 0 : energy(words[2]);
          mark(name);
        },
        set_);
    for_each_real(
        [&](const char* name, double& value) {
          if (words[0] != name) return;
          known = true;
          char* end = nullptr;
          if (words.size() == 2) value = std::strtod(words[1].c_str(), &end);
          if (words.size() != 2 || end == words[1].c_str() || *end != '\0' || !std::isfinite(value))
            fail(section_, std::string(name) + ": give one number");
          mark(name);
        },
        set_);
    if (!known) fail(section_, "unknown constant '" + words[0] + "'");
  }

  void special_hairpin(const std::vector<std::string>& words) {
    if (words.size() != 3) fail(section_, "give the sequence, dG37 and dH");
    const std::string& sequence = words[0];
    if (sequence.size() != 5 && sequence.size() != 6 && sequence.size() != 8)
      fail(section_, "'" + sequence + "' is no loop of 3, 4 or 6 bases with its closing pair");
    if (sequence.find_first_not_of("ACGU") != std::string::npos)
      fail(section_, "'" + sequence + "': letters A, C, G, U only");
    size_t same_size = 0;
    for (const SpecialHairpin& loop : set_.special_hairpins)
      same_size += loop.sequence.size() == sequence.size();
    const size_t room = sequence.size() == 5   ? kMaxTriloops
                        : sequence.size() == 6 ? kMaxTetraloops
                                               : kMaxHexaloops;
    if (same_size == room) fail(section_, "more than " + std::to_string(room) + " of that size");
    mark(sequence);
    set_.special_hairpins.push_back({sequence, energy(words[1]), energy(words[2])});
  }

  void table_entry(const std::vector<std::string>& words, const std::string& axes, void* g37,
                   void* h) {
    if (words.size() != axes.size() + 2)
      fail(section_, "expected " + std::to_string(axes.size()) + " key fields, dG37 and dH");
    size_t k = 0;
    for (size_t a = 0; a < axes.size(); a++) {
      const int size = axis_size(axes[a]);
      int index = -1;
      for (int v = 0; v < size; v++)
        if (words[a] == key_name(axes[a], v)) index = v;
      if (index < 0) fail(section_, "bad key '" + words[a] + "'");
      k = k * static_cast<size_t>(size) + static_cast<size_t>(index);
    }
    mark(std::to_string(k));
    static_cast<int*>(g37)[k] = energy(words[axes.size()]);
    static_cast<int*>(h)[k] = energy(words[axes.size() + 1]);
  }

  std::istream& in_;
  const std::string& source_;
  int line_number_ = 0;
  ParameterSet& set_;
  std::string section_;
  std::map<std::string, bool> seen_;
  std::map<std::string, bool> filled_;
};

}  // namespace

void read_parameters(std::istream& in, const std::string& source, ParameterSet& set) {
  auto read = std::make_unique<ParameterSet>();
  Reader(in, source, *read).read();
  set = std::move(*read);
}

void write_parameters(std::ostream& out, const ParameterSet& set) {
  out << "# A nearest-neighbour parameter set for stemloop (docs/parameters.md): energies in\n"
         "# 0.01 kcal/mol, free energies at 37 C (dG37) beside enthalpies (dH).\n"
      << kMagic << " " << kFormatVersion << "\nname " << set.name << "\nreference " << set.reference
      << "\n\n[rules]\n";
  for_each_rule([&](const char* name, const char* off, const char* on,
                    bool value) { out << name << " " << (value ? on : off) << "\n"; },
                set);
  out << "\n[constants]\n# name dG37 dH, or dG37 fixed for a value the same at every "
         "temperature\n";
  for_each_constant(
      [&](const char* name, const ParameterConstant& c) {
        out << name << " " << energy_text(c.g37) << " " << (c.fixed ? "fixed" : energy_text(c.h))
            << "\n";
      },
      set);
  out << "# coefficients scaled in proportion to the absolute temperature\n";
  for_each_real(
      [&](const char* name, double value) { out << name << " " << real_text(value) << "\n"; }, set);
  out << "\n[special_hairpins]\n# closing pair and loop 5' to 3', dG37 dH\n";
  for (const SpecialHairpin& loop : set.special_hairpins)
    out << loop.sequence << " " << energy_text(loop.g37) << " " << energy_text(loop.h) << "\n";
  for_each_table(
      [&](const char* name, const char* axes, const auto& table) {
        out << "\n[" << name << "]\n";
        const int* g37 = reinterpret_cast<const int*>(&table.g37);
        const int* h = reinterpret_cast<const int*>(&table.h);
        for (size_t k = 0; k < table_entries(axes); k++)
          out << entry_key(axes, k) << " " << energy_text(g37[k]) << " " << energy_text(h[k])
              << "\n";
      },
      set);
}

}  // namespace stemloop
