// The built-in Turner 2004 set (Mathews et al., PNAS 101:7287-7292, 2004) from the
// tables scripts/gen_turner2004.py generates; docs/parameters.md says how each open
// question of the source was decided.
#include <cstring>
#include <string>

#include "model/parameter_tables.hpp"

namespace stemloop {
namespace {

#define TABLE(name, ...) const int name[] = {__VA_ARGS__};
#define CONSTANT(name, g, h)
#define REAL(name, value)
#define SPECIAL_HAIRPIN(sequence, g, h)
namespace generated {
#include "data/turner2004_tables.inc"
}  // namespace generated
#undef TABLE
#undef CONSTANT
#undef REAL
#undef SPECIAL_HAIRPIN

// Copies a generated table, dG37 and dH interleaved, into its two halves.
template <class Shape, size_t N>
void fill(Tabled<Shape>& out, const int (&values)[N]) {
  constexpr size_t count = sizeof(Shape) / sizeof(int);
  static_assert(N == 2 * count, "a generated table of the set's shape");
  int* g37 = reinterpret_cast<int*>(&out.g37);
  int* h = reinterpret_cast<int*>(&out.h);
  for (size_t k = 0; k < count; k++) g37[k] = values[2 * k], h[k] = values[2 * k + 1];
}

}  // namespace

std::shared_ptr<const ParameterSet> make_turner2004() {
  auto made = std::make_shared<ParameterSet>();
  ParameterSet& set = *made;
  set.name = "Turner 2004";
  set.reference = "Mathews et al., Proc. Natl. Acad. Sci. USA 101:7287-7292, 2004";
  set.special_hairpins_whole = set.interior_mismatch_by_kind = set.end_mismatches = true;
  fill(set.stack, generated::stack);
  fill(set.coaxial, generated::coaxial_stack);
  fill(set.hairpin, generated::hairpin);
  fill(set.bulge, generated::bulge);
  fill(set.interior, generated::interior);
  fill(set.ninio, generated::ninio);
  fill(set.mismatch_hairpin, generated::mismatch_hairpin);
  fill(set.mismatch_interior, generated::mismatch_interior);
  fill(set.mismatch_interior_1n, generated::mismatch_interior_1n);
  fill(set.mismatch_interior_23, generated::mismatch_interior_23);
  fill(set.mismatch_multi, generated::mismatch_multi);
  fill(set.mismatch_exterior, generated::mismatch_exterior);
  fill(set.dangle5, generated::dangle5);
  fill(set.dangle3, generated::dangle3);
  fill(set.int11, generated::int11);
  fill(set.int21, generated::int21);
  fill(set.int22, generated::int22);
#define TABLE(name, ...)
#define CONSTANT(name, g, h)                                                \
  for_each_constant(                                                        \
      [&](const char* n, ParameterConstant& c) {                            \
        if (std::strcmp(n, #name) == 0) c = ParameterConstant{g, h, false}; \
      },                                                                    \
      set);
#define REAL(name, value)                          \
  for_each_real(                                   \
      [&](const char* n, double& v) {              \
        if (std::strcmp(n, #name) == 0) v = value; \
      },                                           \
      set);
#define SPECIAL_HAIRPIN(sequence, g, h) set.special_hairpins.push_back({sequence, g, h});
#include "data/turner2004_tables.inc"
#undef TABLE
#undef CONSTANT
#undef REAL
#undef SPECIAL_HAIRPIN
  return made;
}

}  // namespace stemloop
