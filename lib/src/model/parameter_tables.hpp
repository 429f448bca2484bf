// Every table and constant of a parameter set by the name the text format gives it, for
// the reader, the writer and the comparison of sets, and the generated 2004 set.
#pragma once

#include "stemloop/parameter_set.hpp"

namespace stemloop {

// Calls f(name, axes, table of each set...) for every table. The axes read, one letter
// per index: P a pair type (8), B a base (5), S a loop size (31), E an entry (5).
template <class F, class... Sets>
void for_each_table(F&& f, Sets&... sets) {
  f("stack", "PP", sets.stack...);
  f("coaxial_stack", "PP", sets.coaxial...);
  f("hairpin", "S", sets.hairpin...);
  f("bulge", "S", sets.bulge...);
  f("interior", "S", sets.interior...);
  f("ninio", "E", sets.ninio...);
  f("mismatch_hairpin", "PBB", sets.mismatch_hairpin...);
  f("mismatch_interior", "PBB", sets.mismatch_interior...);
  f("mismatch_interior_1n", "PBB", sets.mismatch_interior_1n...);
  f("mismatch_interior_23", "PBB", sets.mismatch_interior_23...);
  f("mismatch_multi", "PBB", sets.mismatch_multi...);
  f("mismatch_exterior", "PBB", sets.mismatch_exterior...);
  f("dangle5", "PB", sets.dangle5...);
  f("dangle3", "PB", sets.dangle3...);
  f("int11", "PPBB", sets.int11...);
  f("int21", "PPBBB", sets.int21...);
  f("int22", "PPBBBB", sets.int22...);
}

// Calls f(name, constant of each set...) for every constant.
template <class F, class... Sets>
void for_each_constant(F&& f, Sets&... sets) {
  f("ml_closing", sets.ml_closing...);
  f("ml_intern", sets.ml_intern...);
  f("ml_base", sets.ml_base...);
  f("terminal_AU", sets.terminal_au...);
  f("max_ninio", sets.max_ninio...);
  f("hairpin_GU_closure", sets.hairpin_gu_closure...);
  f("hairpin_all_C_slope", sets.hairpin_c_slope...);
  f("hairpin_all_C_intercept", sets.hairpin_c_intercept...);
  f("hairpin_C3", sets.hairpin_c3...);
  f("bulge_special_C", sets.bulge_special_c...);
}

// The same for the coefficients kept as real numbers, and for the rule switches with
// the words of their two settings (off first).
template <class F, class... Sets>
void for_each_real(F&& f, Sets&... sets) {
  f("lxc", sets.lxc37...);
  f("bulge_states_RT", sets.bulge_states_rt37...);
}
template <class F, class... Sets>
void for_each_rule(F&& f, Sets&... sets) {
  f("special_hairpins", "bonus", "whole", sets.special_hairpins_whole...);
  f("interior_mismatches", "generic", "by_kind", sets.interior_mismatch_by_kind...);
  f("end_mismatches", "off", "on", sets.end_mismatches...);
}

// The Turner 2004 set, from the generated tables.
std::shared_ptr<const ParameterSet> make_turner2004();

}  // namespace stemloop
