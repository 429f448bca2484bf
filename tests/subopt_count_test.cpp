// The band of a 200-base sequence against an independent computation: a search of its
// own over the MFE fold's tables (c, fML, f5) that builds multiloops from their 5' end,
// where the band search builds them from the 3' end over tables of its own.
#include <gtest/gtest.h>

#include <map>

#include "model/energy_terms.hpp"
#include "stemloop/folder.hpp"
#include "subopt_brute_force.hpp"

namespace {

// The search, from the fold's tables; parts are E prefix [1..j], P pair, R multiloop
// part with one branch or more, 2 with two or more (bounded below by fML).
struct FoldTableBand {
  struct Part {
    char kind;
    int i, j;
  };
  FoldTableBand(const stemloop::Model& model, const std::string& sequence)
      : E(model, 2, true), seq(sequence), enc(encode_sequence(seq, model.pairs)), pm(model.pairs) {}
  const stemloop::EnergyTerms E;
  const std::string seq;
  const stemloop::EncodedSequence enc;
  const stemloop::PairMatrix& pm;
  const int n = static_cast<int>(seq.size());
  stemloop::Folder folder;
  int limit = 0;
  std::string str = std::string(seq.size(), '.');
  std::vector<Part> pending{{'E', 1, n}};
  std::map<std::string, int> found;

  int t(int i, int j) const { return pm.pair[enc.S[size_t(i)]][enc.S[size_t(j)]]; }
  int s(int k) const { return enc.S1[size_t(k)]; }
  int best(const Part& p) const {
    return p.kind == 'E'   ? folder.f5(p.j)
           : p.kind == 'P' ? folder.c(p.i, p.j)
                           : folder.fML(p.i, p.j);
  }
  void visit(int energy) {
    if (pending.empty()) {
      EXPECT_TRUE(found.emplace(str, energy).second) << str;
      return;
    }
    const Part part = pending.back();
    pending.pop_back();
    int rest = energy;
    for (const Part& p : pending) rest += best(p);
    auto next = [&](int loop, std::initializer_list<Part> parts) {
      int bound = rest + loop;
      for (const Part& p : parts) bound += best(p);
      if (bound > limit) return;
      pending.insert(pending.end(), parts);
      visit(energy + loop);
      pending.resize(pending.size() - parts.size());
    };
    const int i = part.i, j = part.j, u = E.ml_unpaired();
    if (part.kind == 'E') {
      if (j == 0) next(0, {});                // the empty prefix
      if (j > 0) next(0, {{'E', 1, j - 1}});  // [1 .. j-1] .
      for (int k = 1; k + 4 <= j; k++)        // [1 .. k-1] (k ... j)
        if (t(k, j) != 0)
          next(E.exterior_branch(t(k, j), k > 1 ? s(k - 1) : -1, j < n ? s(j + 1) : -1),
               {{'P', k, j}, {'E', 1, k - 1}});
    } else if (part.kind == 'P') {
      str[size_t(i - 1)] = '(', str[size_t(j - 1)] = ')';
      next(E.hairpin(i, j, t(i, j), seq.c_str(), enc.S1.data()), {});
      for (int p = i + 1; p <= i + 31; p++)
        for (int q = j - 1; q >= p + 4 && (p - i) + (j - q) <= 32; q--)
          if (t(p, q) != 0)
            next(E.two_pair_loop(p - i - 1, j - q - 1, t(i, j), E.rtype(t(p, q)), s(i + 1),
                                 s(j - 1), s(p - 1), s(q + 1)),
                 {{'P', p, q}});
      next(E.ml_closed_by(t(i, j), s(j - 1), s(i + 1)), {{'2', i + 1, j - 1}});
    } else {  // . [i+1 .. j], or (i ... q) first, then unpaired bases or more branches
      next(u, {{part.kind, i + 1, j}});
      for (int q = i + 4; q <= j; q++) {
        if (t(i, q) == 0) continue;
        const int branch = E.ml_branch(t(i, q), s(i - 1), s(q + 1));
        if (part.kind == 'R') next(branch + u * (j - q), {{'P', i, q}});
        if (q + 5 <= j) next(branch, {{'P', i, q}, {'R', q + 1, j}});
      }
    }
    if (part.kind == 'P') str[size_t(i - 1)] = str[size_t(j - 1)] = '.';
    pending.push_back(part);
  }
};

TEST(SuboptCount, TwoHundredBasesWithinThreeKcalAgreeWithTheFoldTables) {
  std::mt19937 rng(200);
  const std::string seq = subopt_testing::random_sequence(rng, 200);
  const stemloop::Model model;
  FoldTableBand search(model, seq);
  stemloop::FoldOptions fo;
  fo.dangles = 2;
  search.limit = search.folder.fold(model, fo, seq).energy + 300;
  search.visit(0);
  const std::map<std::string, int>& expected = search.found;
  std::map<std::string, int> got;
  stemloop::BandOptions bo;
  bo.delta = 300;
  const size_t count =
      stemloop::SuboptFolder(model, stemloop::SuboptOptions{}, seq)
          .band(bo, [&](const std::string& st, int e) { return got.emplace(st, e).second; });
  EXPECT_EQ(count, expected.size());
  EXPECT_GT(count, 1000u);
  EXPECT_TRUE(got == expected);
}

}  // namespace
