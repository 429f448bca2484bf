// Outside values are filled row by row from the 5' end, each row from its longest span:
// everything a value depends on encloses it or lies in a row above.
#include "subopt/subopt_outside.hpp"

#include <algorithm>

#include "mfe/fill_kernels.hpp"
#include "stemloop/error.hpp"

namespace stemloop {

OutsideTables::OutsideTables(const SuboptTables& tables)
    : x_(tables),
      n_(tables.n()),
      outC_(n_, TriangleTable<int>::kByRow, kImpossible),
      outCC_(outC_),
      Mo_(outC_),
      M2o_(outC_),
      Uo_(outC_),
      So_(n_, TriangleTable<int>::kByColumn, kImpossible),
      loop_in_(outC_),
      generic_in_(outC_),
      B_rows_(outC_),
      M_cols_(So_) {
  for (int j = 1; j <= n_; j++) {
    const int* b = x_.branch_column(j);
    for (int i = 1; i <= j; i++) {
      B_rows_(i, j) = b[i];
      M_cols_(i, j) = x_.M(i, j);
    }
  }
  for (int i = 1; i <= n_; i++) {
    fill_row(i);
    push_interior_loops(i);
  }
}

int OutsideTables::branch_outside(int i, int j) const {
  // [i .. j] after unpaired bases
  const int v = Uo_(i, j);
  // [k .. i-1] holding branches, then (i ... j)
  const int split =
      kernels::kernel_set().min_sum(So_.line(j) + 1, M_cols_.line(i - 1) + 1, i - MIN_HAIRPIN - 2);
  return or_impossible(std::min(v, split));
}

void OutsideTables::fill_row(int i) {
  const int n = n_, u = x_.unpaired();
  std::vector<int> so(static_cast<size_t>(n) + 2, kImpossible);  // So(i, .) of this row
  for (int j = n; j >= i + MIN_HAIRPIN + 1; j--) {
    const bool next_free = j < n && x_.may_be_unpaired(j + 1);
    // [i .. j] . inside a longer part, or (i-1 [i .. j] j+1) closing a multiloop
    int m2 = next_free ? M2o_(i, j + 1) + u : kImpossible;
    if (i > 1 && j < n)
      m2 = std::min(m2, outCC_(i - 1, j + 1) + x_.multiloop_closing(i - 1, j + 1));
    M2o_(i, j) = or_impossible(m2);
    // [i .. j] . inside a longer part, or [i .. j] (j+1 ... l) before the part's last branch
    const int m = next_free ? Mo_(i, j + 1) + u : kImpossible;
    const int l0 = j + MIN_HAIRPIN + 2;
    const int split =
        kernels::kernel_set().min_sum(so.data() + l0, B_rows_.line(j + 1) + l0, n + 1 - l0);
    Mo_(i, j) = or_impossible(std::min(m, split));
    so[static_cast<size_t>(j)] = So_(i, j) = std::min(Mo_(i, j), M2o_(i, j));
    // . [i .. j]: unpaired bases before a part's only branch
    const bool before_free = i > 1 && x_.may_be_unpaired(i - 1);
    Uo_(i, j) = or_impossible(std::min(Mo_(i, j), before_free ? Uo_(i - 1, j) + u : kImpossible));
    if (x_.type(i, j) == 0) continue;

    // k (i ... j) m: in the exterior loop
    int c = x_.prefix(i - 1) + x_.exterior(i, j) + x_.suffix(j + 1);
    // (.. (i ... j) ..): a multiloop branch
    c = std::min(c, branch_outside(i, j) + x_.branch(i, j));
    // (k .. (i ... j) .. l): inside a bulge or interior loop
    c = std::min({c, loop_in_(i, j), generic_in_(i, j) + x_.generic_inner(i, j)});
    outC_(i, j) = or_impossible(c);
    // (i-1 (i ... j) j+1): stacked inside a pair, which itself may have a pair stacked on
    // it from outside or not
    int cc = x_.no_lonely_pairs() ? kImpossible : outC_(i, j);
    if (i > 1 && j < n) {
      const int around = x_.no_lonely_pairs() ? std::min(outCC_(i - 1, j + 1), outC_(i - 1, j + 1))
                                              : outCC_(i - 1, j + 1);
      cc = std::min(cc, x_.two_pair(i - 1, j + 1, i, j) + around);
    }
    outCC_(i, j) = or_impossible(cc);
  }
}

// Row i closes bulges and interior loops around pairs of the rows below it: those values
// are pushed now, stacks are pulled by the inner pair.
void OutsideTables::push_interior_loops(int i) {
  const int n = n_;
  std::vector<int> outer(static_cast<size_t>(n) + 2, kImpossible);
  for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
    const int around = outCC_(i, j);
    if (!possible(around)) continue;
    outer[static_cast<size_t>(j)] = or_impossible(around + x_.generic_outer(i, j));
    // (i (p ... q) j): bulges and the tabulated small interior loops
    for (const auto& [left, right] : x_.special_loops()) {
      const int p = i + left + 1, q = j - right - 1;
      if (left + right == 0 || q - p <= MIN_HAIRPIN || x_.type(p, q) == 0) continue;
      const int loop = x_.two_pair(i, j, p, q);
      if (possible(loop)) loop_in_(p, q) = std::min(loop_in_(p, q), around + loop);
    }
  }
  // (i .. (p ... q) .. j): generic interior loops, all q of one shape at once
  const int* free_after = x_.free_after_all().data();
  for (int left = 1; left < MAX_INTERIOR; left++) {
    const int p = i + left + 1;
    if (p + MIN_HAIRPIN + 3 > n || !x_.may_be_unpaired(p - 1)) break;
    int* in = generic_in_.line(p);
    for (int right = 1; left + right <= MAX_INTERIOR; right++) {
      if (!x_.terms().in_windows(left, right)) continue;
      const int size = x_.terms().interior_size(left, right);
      const int q0 = p + MIN_HAIRPIN + 1;
      kernels::kernel_set().min_into(in + q0, outer.data() + q0 + right + 1, size, free_after + q0,
                                     right, n - right - q0);
    }
  }
}

PartialStructure OutsideTables::around(int i, int j) const {
  const int n = n_, u = x_.unpaired();
  PartialStructure r{std::string(static_cast<size_t>(n), '.'), 0, {}};
  auto place = [&r](int a, int b) {
    r.structure[static_cast<size_t>(a - 1)] = '(';
    r.structure[static_cast<size_t>(b - 1)] = ')';
  };
  // Where the walk outward stands: around C, CC, M, M2 or S at (a, b); around the
  // unpaired bases [a .. k-1] before the branch (k, b); or around the branch (a, b).
  enum class At { kC, kCC, kM, kM2, kS, kUnpaired, kBranch } at;
  const bool stacked = outCC_(i, j) + x_.CC(i, j) == best_through(i, j);
  r.pending.push_back({stacked ? SegmentKind::kStacked : SegmentKind::kPair, i, j});
  at = stacked ? At::kCC : At::kC;
  int a = i, b = j, k = 0;
  for (;;) {
    switch (at) {
      case At::kCC: {
        const int v = outCC_(a, b);
        if (!x_.no_lonely_pairs() && v == outC_(a, b)) {
          at = At::kC;
          continue;
        }
        const int stack = a > 1 && b < n ? x_.two_pair(a - 1, b + 1, a, b) : kImpossible;
        if (!possible(stack)) break;
        // (a-1 (a ... b) b+1)
        if (v == stack + outCC_(a - 1, b + 1)) {
          at = At::kCC;
        } else if (x_.no_lonely_pairs() && v == stack + outC_(a - 1, b + 1)) {
          at = At::kC;
        } else {
          break;
        }
        r.energy += stack;
        place(--a, ++b);
        continue;
      }
      case At::kC: {
        const int v = outC_(a, b);
        // k (a ... b) m
        const int exterior = x_.exterior(a, b);
        if (v == x_.prefix(a - 1) + exterior + x_.suffix(b + 1)) {
          r.energy += exterior;
          if (a > 1) r.pending.push_back({SegmentKind::kPrefix, 1, a - 1});
          if (b < n) r.pending.push_back({SegmentKind::kSuffix, b + 1, n});
          return r;
        }
        // (.. (a ... b) ..)
        const int branch = x_.branch(a, b);
        if (v == branch_outside(a, b) + branch) {
          r.energy += branch;
          at = At::kBranch;
          continue;
        }
        // (p .. (a ... b) .. q)
        bool found = false;
        for (int p = a - 1; p >= std::max(1, a - MAX_INTERIOR - 1) && !found; p--) {
          for (int q = b + 1; q <= n && (a - p - 1) + (q - b - 1) <= MAX_INTERIOR; q++) {
            if (p == a - 1 && q == b + 1) continue;  // a stack: reached through CC
            const int loop = x_.two_pair(p, q, a, b);
            if (possible(loop) && v == loop + outCC_(p, q)) {
              r.energy += loop;
              place(p, q);
              a = p;
              b = q;
              found = true;
              break;
            }
          }
        }
        if (!found) break;
        at = At::kCC;
        continue;
      }
      case At::kBranch: {
        const int v = branch_outside(a, b);
        if (v == Uo_(a, b)) {
          k = a;
          at = At::kUnpaired;
          continue;
        }
        // [p .. a-1] holding branches, then (a ... b)
        int p = 1;
        while (p <= a - MIN_HAIRPIN - 2 && v != So_(p, b) + x_.M(p, a - 1)) p++;
        if (p > a - MIN_HAIRPIN - 2) break;
        r.pending.push_back({SegmentKind::kMulti, p, a - 1});
        a = p;
        at = At::kS;
        continue;
      }
      case At::kUnpaired: {
        const int v = Uo_(a, b);
        if (v == Mo_(a, b)) {
          r.energy += u * (k - a);
          at = At::kM;
          continue;
        }
        if (!(a > 1 && x_.may_be_unpaired(a - 1) && v == Uo_(a - 1, b) + u)) break;
        a--;
        continue;
      }
      case At::kS:
        at = So_(a, b) == Mo_(a, b) ? At::kM : At::kM2;
        continue;
      case At::kM: {
        const int v = Mo_(a, b);
        if (b < n && x_.may_be_unpaired(b + 1) && v == Mo_(a, b + 1) + u) {
          r.energy += u;
          b++;
          continue;
        }
        // [a .. b] (b+1 ... l): the branch that ends a longer part
        int l = b + MIN_HAIRPIN + 2;
        while (l <= n && v != So_(a, l) + B_rows_(b + 1, l)) l++;
        if (l > n) break;
        r.energy += x_.branch(b + 1, l);
        r.pending.push_back({SegmentKind::kPair, b + 1, l});
        b = l;
        at = At::kS;
        continue;
      }
      case At::kM2: {
        const int v = M2o_(a, b);
        if (b < n && x_.may_be_unpaired(b + 1) && v == M2o_(a, b + 1) + u) {
          r.energy += u;
          b++;
          continue;
        }
        // (a-1 [a .. b] b+1): the multiloop the part fills
        const int closing = a > 1 && b < n ? x_.multiloop_closing(a - 1, b + 1) : kImpossible;
        if (!possible(closing) || v != closing + outCC_(a - 1, b + 1)) break;
        r.energy += closing;
        place(--a, ++b);
        at = At::kCC;
        continue;
      }
    }
    throw Error("backtrack failed around a pair");
  }
}

}  // namespace stemloop
