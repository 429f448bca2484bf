// The built-in parameter sets and the choice between a set's name and a file.
#include "stemloop/parameter_set.hpp"

#include <cstring>
#include <fstream>

#include "model/parameter_tables.hpp"
#include "stemloop/energy_par.h"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

// A classic table and its enthalpies; a table without them has enthalpy 0.
template <class Shape>
void copy_table(Tabled<Shape>& out, const Shape& g37, const Shape* h = nullptr) {
  std::memcpy(&out.g37, &g37, sizeof(Shape));
  if (h) std::memcpy(&out.h, h, sizeof(Shape));
}

// The special hairpins of a classic list text ("GGGGAC GGUGAC ...", `width` characters
// per entry) with their values.
void add_list(ParameterSet& set, const char* text, size_t width, const int* g37, int h) {
  const size_t length = std::strlen(text);
  for (size_t at = 0, k = 0; at < length; at += width, k++) {
    std::string sequence(text + at, std::min(width - 1, length - at));
    set.special_hairpins.push_back({sequence, g37[k], h});
  }
}

// Filled in place: a set is too large for the stack of a small thread.
std::shared_ptr<const ParameterSet> make_turner1999() {
  auto made = std::make_shared<ParameterSet>();
  ParameterSet& set = *made;
  set.name = "Turner 1999";
  set.reference = "Mathews et al., J. Mol. Biol. 288:911-940, 1999";
  copy_table(set.stack, stack37, &enthalpies);
  copy_table(set.coaxial, stack37, &enthalpies);
  copy_table(set.hairpin, hairpin37);
  copy_table(set.bulge, bulge37);
  copy_table(set.interior, internal_loop37);
  copy_table(set.mismatch_hairpin, mismatchH37, &mism_H);
  copy_table(set.mismatch_interior, mismatchI37, &mism_H);
  copy_table(set.dangle5, dangle5_37, &dangle5_H);
  copy_table(set.dangle3, dangle3_37, &dangle3_H);
  copy_table(set.int11, int11_37, &int11_H);
  copy_table(set.int21, int21_37, &int21_H);
  copy_table(set.int22, int22_37, &int22_H);
  copy_table(set.ninio, F_ninio37);
  set.ml_closing = {ML_closing37, 0, false};
  set.ml_intern = {ML_intern37, 0, false};
  set.ml_base = {ML_BASE37, 0, false};
  set.terminal_au = {TerminalAU, 0, true};
  set.max_ninio = {MAX_NINIO, 0, true};
  set.lxc37 = lxc37;
  add_list(set, Tetraloops, 7, TETRA_ENERGY37, TETRA_ENTH37);
  add_list(set, Triloops, 6, Triloop_E37, 0);
  return made;
}

}  // namespace

bool ParameterSet::operator==(const ParameterSet& o) const {
  bool equal = name == o.name && reference == o.reference &&
               special_hairpins.size() == o.special_hairpins.size();
  for (size_t k = 0; equal && k < special_hairpins.size(); k++) {
    const SpecialHairpin &a = special_hairpins[k], &b = o.special_hairpins[k];
    equal = a.sequence == b.sequence && a.g37 == b.g37 && a.h == b.h;
  }
  for_each_table(
      [&](const char*, const char*, const auto& a, const auto& b) {
        equal = equal && std::memcmp(&a.g37, &b.g37, sizeof a.g37) == 0 &&
                std::memcmp(&a.h, &b.h, sizeof a.h) == 0;
      },
      *this, o);
  for_each_constant(
      [&](const char*, const ParameterConstant& a, const ParameterConstant& b) {
        equal = equal && a.g37 == b.g37 && a.h == b.h && a.fixed == b.fixed;
      },
      *this, o);
  for_each_real([&](const char*, double a, double b) { equal = equal && a == b; }, *this, o);
  for_each_rule(
      [&](const char*, const char*, const char*, bool a, bool b) { equal = equal && a == b; },
      *this, o);
  return equal;
}

std::shared_ptr<const ParameterSet> turner1999() {
  static const std::shared_ptr<const ParameterSet> set = make_turner1999();
  return set;
}

std::shared_ptr<const ParameterSet> turner2004() {
  static const std::shared_ptr<const ParameterSet> set = make_turner2004();
  return set;
}

std::shared_ptr<const ParameterSet> builtin_parameters(const std::string& name) {
  if (name == "turner1999") return turner1999();
  if (name == "turner2004") return turner2004();
  return nullptr;
}

std::shared_ptr<const ParameterSet> load_parameters(const std::string& name_or_path) {
  if (auto set = builtin_parameters(name_or_path)) return set;
  std::ifstream file(name_or_path, std::ios::binary);
  if (!file)
    throw Error("cannot read parameter file '" + name_or_path + "': " + std::strerror(errno));
  auto set = std::make_shared<ParameterSet>();
  read_parameters(file, name_or_path, *set);
  return set;
}

}  // namespace stemloop
