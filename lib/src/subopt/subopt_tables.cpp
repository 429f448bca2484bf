// The loops of the suboptimal-folding grammar and the fill of its tables.
#include "subopt/subopt_tables.hpp"

#include <algorithm>

#include "mfe/fill_kernels.hpp"
#include "stemloop/dangle_modes.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

int checked_dangles(int dangles) {
  if (!supports_dangles(Algorithm::Suboptimal, dangles))
    throw Error(
        "suboptimal structures need dangle mode 0 or 2: in modes 1 and 3 one structure "
        "has several decompositions");
  return dangles;
}

}  // namespace

// The shapes special_loops() lists.
static std::vector<std::pair<int, int>> loop_shapes(const EnergyTerms& E) {
  std::vector<std::pair<int, int>> list = {{0, 0}};
  for (int size = 1; size <= MAX_INTERIOR; size++) {
    list.emplace_back(0, size);
    list.emplace_back(size, 0);
  }
  for (int left = 1; left <= 2; left++)
    for (int right = 1; right <= 2; right++) list.emplace_back(left, right);
  for (int left = 1; left < MAX_INTERIOR; left++)
    for (int right = 1; left + right <= MAX_INTERIOR; right++)
      if (E.own_candidate(left, right)) list.emplace_back(left, right);
  return list;
}

SuboptTables::SuboptTables(const Model& model, const SuboptOptions& options,
                           const std::string& sequence)
    : E_(model, checked_dangles(options.dangles), options.tetra_loop),
      special_loops_(loop_shapes(E_)),
      sequence_(sequence),
      enc_(encode_sequence(sequence, model.pairs)),
      n_(enc_.length()),
      no_lonely_pairs_(options.noLonelyPairs),
      no_closing_gu_(options.no_closingGU),
      rules_(strict_pair_rules(enc_, model.pairs, options.constraint.c_str())),
      types_(n_, TriangleTable<int8_t>::kByRow, 0),
      C_(n_, TriangleTable<int>::kByRow, kImpossible),
      CC_(C_),
      M_(C_),
      M2_(C_),
      B_(n_, TriangleTable<int>::kByColumn, kImpossible),
      inner_(C_),
      prefix_(static_cast<size_t>(n_) + 2, 0),
      suffix_(prefix_),
      free_before_(static_cast<size_t>(n_) + 2, 0),
      free_after_(free_before_) {
  for (int i = 1; i <= n_; i++)
    for (int j = i + MIN_HAIRPIN + 1; j <= n_; j++)
      types_(i, j) = static_cast<int8_t>(rules_.type(i, j));
  for (int j = 2; j <= n_ + 1; j++)
    free_before_[static_cast<size_t>(j)] = may_be_unpaired(j - 1) ? free_before(j - 1) + 1 : 0;
  for (int i = n_ - 1; i >= 0; i--)
    free_after_[static_cast<size_t>(i)] = may_be_unpaired(i + 1) ? free_after(i + 1) + 1 : 0;
  fill();
}

int SuboptTables::hairpin(int i, int j) const {
  const int t = type(i, j);
  int e = 0;
  return t != 0 && hairpin_loop(*this, i, j, t, barred(t), e) ? e : kImpossible;
}

int SuboptTables::generic_outer(int i, int j) const {
  const int t = type(i, j);
  if (t == 0 || barred(t)) return kImpossible;
  return E_.interior_outer(t, s(i + 1), s(j - 1));
}

int SuboptTables::generic_inner(int p, int q) const {
  const int t = type(p, q);
  // An inner pair always has both neighbours inside the loop around it.
  if (t == 0 || p == 1 || q == n_ || barred(t)) return kImpossible;
  return E_.interior_inner(E_.rtype(t), s(q + 1), s(p - 1));
}

int SuboptTables::multiloop_closing(int i, int j) const {
  const int t = type(i, j);
  if (t == 0 || barred(t)) return kImpossible;
  int closing = kImpossible;
  multiloop_closings(*this, i, j, t, E_.dangles(), [&](int, int, int e) { closing = e; });
  return closing;
}

int SuboptTables::branch(int i, int j) const {
  // A branch always has both neighbours inside its multiloop.
  if (type(i, j) == 0 || i == 1 || j == n_) return kImpossible;
  int branch = kImpossible;
  branch_helices(*this, i, j, E_.dangles(), [&](int, int, int, int e) { branch = e; });
  return branch;
}

int SuboptTables::exterior(int i, int j) const {
  const int t = type(i, j);
  if (t == 0) return kImpossible;
  int exterior = kImpossible;
  exterior_helix(*this, i, j, t, [&](int, int, int e) { exterior = e; });
  return exterior;
}

// Row i from the rows below it: first the interior loops of the whole row, then pair by
// pair from the shortest span.
void SuboptTables::fill() {
  const int n = n_, u = unpaired();
  std::vector<int> loops(static_cast<size_t>(n) + 2);
  std::vector<int> U(static_cast<size_t>(n) + 2, kImpossible), U_below(U);
  for (int i = n; i >= 1; i--) {
    interior_loops(i, loops);
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      fill_pair(i, j, loops);
      const size_t sj = static_cast<size_t>(j);
      B_(i, j) = or_impossible(C(i, j) + branch(i, j));
      // [i .. k-1] unpaired, then the branch (k, j)
      U[sj] = std::min(B_(i, j), may_be_unpaired(i) ? U_below[sj] + u : kImpossible);
      // [i .. k-1] holding branches, then the branch (k, j)
      const int k0 = i + MIN_HAIRPIN + 2;
      const int split = or_impossible(kernels::kernel_set().min_sum(
          M_row(i) + k0 - 1, branch_column(j) + k0, j - MIN_HAIRPIN - k0));
      // ... j: base j unpaired
      const bool j_free = may_be_unpaired(j);
      M_(i, j) = or_impossible(std::min({j_free ? M(i, j - 1) + u : kImpossible, U[sj], split}));
      M2_(i, j) = or_impossible(std::min(j_free ? M2(i, j - 1) + u : kImpossible, split));
    }
    std::swap(U, U_below);
  }
  fill_exterior();
}

// loops[j]: the best generic interior loop closed by (i, j) with what it encloses, for
// the whole row at once, shape by shape, so that rows are read in order.
void SuboptTables::interior_loops(int i, std::vector<int>& loops) const {
  const int n = n_;
  int* best = loops.data();
  std::fill(loops.begin(), loops.end(), kImpossible);
  // (i .. (p ... q) .. j): generic, the size part plus inner(p, q), then the outer part
  const int* free_before = free_before_.data();
  for (int left = 1; left < MAX_INTERIOR; left++) {
    const int p = i + left + 1;
    if (p + MIN_HAIRPIN + 3 > n || !may_be_unpaired(p - 1)) break;
    const int* in = inner_.line(p);
    for (int right = 1; left + right <= MAX_INTERIOR; right++) {
      if (!E_.in_windows(left, right)) continue;
      const int size = E_.interior_size(left, right);
      // q = j - right - 1
      const int j0 = p + right + MIN_HAIRPIN + 2;
      kernels::kernel_set().min_into(best + j0, in + j0 - right - 1, size, free_before + j0, right,
                                     n + 1 - j0);
    }
  }
  for (int j = i + MIN_HAIRPIN + 1; j <= n; j++)
    best[j] = or_impossible(best[j] + generic_outer(i, j));
}

void SuboptTables::fill_pair(int i, int j, const std::vector<int>& loops) {
  const int t = type(i, j);
  if (t == 0) return;  // the tables hold kImpossible already
  // (i ... j): hairpin, or (i .. (p ... q) .. j): generic interior loop
  int e = std::min(hairpin(i, j), loops[static_cast<size_t>(j)]);
  // (i (p ... q) j): stack, bulges and the tabulated small interior loops
  for (const auto& [left, right] : special_loops()) {
    const int p = i + left + 1, q = j - right - 1;
    if (q - p <= MIN_HAIRPIN || type(p, q) == 0) continue;
    const int loop = two_pair(i, j, p, q);
    // only a pair stacked directly inside has a pair stacked on it from outside
    if (possible(loop)) e = std::min(e, loop + (left + right == 0 ? CC(p, q) : C(p, q)));
  }
  // (i (..)(..) j): multiloop
  e = std::min(e, multiloop_closing(i, j) + M2(i + 1, j - 1));
  CC_(i, j) = or_impossible(e);
  // Under the lonely-pair rule, a pair with no pair outside it stacks on one inside it.
  C_(i, j) =
      no_lonely_pairs_ ? or_impossible(two_pair(i, j, i + 1, j - 1) + CC(i + 1, j - 1)) : CC(i, j);
  inner_(i, j) = or_impossible(C(i, j) + generic_inner(i, j));
}

void SuboptTables::fill_exterior() {
  const int n = n_;
  prefix_[0] = 0;
  for (int j = 1; j <= n; j++) {
    // [1 .. j-1] .
    int e = may_be_unpaired(j) ? prefix(j - 1) : kImpossible;
    // [1 .. k-1] (k ... j)
    for (int k = 1; k <= j - MIN_HAIRPIN - 1; k++)
      e = std::min(e, prefix(k - 1) + C(k, j) + exterior(k, j));
    prefix_[static_cast<size_t>(j)] = or_impossible(e);
  }
  suffix_[static_cast<size_t>(n) + 1] = 0;
  for (int i = n; i >= 1; i--) {
    // . [i+1 .. n]
    int e = may_be_unpaired(i) ? suffix(i + 1) : kImpossible;
    // (i ... l) [l+1 .. n]
    for (int l = i + MIN_HAIRPIN + 1; l <= n; l++)
      e = std::min(e, C(i, l) + exterior(i, l) + suffix(l + 1));
    suffix_[static_cast<size_t>(i)] = or_impossible(e);
  }
}

}  // namespace stemloop
