// The fill's shortcuts against plain versions of what they replace: the one-pass
// constraint setup against forcing one bracket pair at a time, a folder that keeps its
// fill state between folds against a fresh one, and the memory estimate against the
// measured peak.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mfe/fold_workspace.hpp"
#include "stemloop/error.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "support/test_support.hpp"

namespace {

using stemloop::Workspace;

// The pair types of (i, j), i <= j, row by row.
std::vector<int8_t> pair_types(const Workspace& ws, int n) {
  std::vector<int8_t> types;
  for (int i = 1; i <= n; i++)
    for (int j = i; j <= n; j++) types.push_back(ws.ptype[ws.cell(i, j)]);
  return types;
}

// The pair types after the constraint, one character at a time; forcing (p, i) clears
// every pair of p or i and every pair crossing (p, i), then sets (p, i).
std::vector<int8_t> constrained_one_by_one(const stemloop::Model& model, const std::string& seq,
                                           const std::string& constraint) {
  Workspace ws;
  ws.seq = stemloop::encode_sequence(seq, model.pairs);
  const int n = ws.seq.length();
  ws.prepare(n);
  ws.BP.assign(static_cast<size_t>(n) + 2, 0);
  stemloop::make_ptypes(ws, model.pairs.pair, false, nullptr);
  auto at = [&](int i, int j) -> int8_t& { return ws.ptype[ws.cell(i, j)]; };
  auto clear = [&](int m0, int m1, int j0, int j1) {
    for (int m = std::max(m0, 1); m <= m1; m++)
      for (int j = std::max(j0, m + 1); j <= std::min(j1, n); j++) at(m, j) = 0;
  };
  std::vector<int> open;
  for (int i = 1; i <= std::min(n, static_cast<int>(constraint.size())); i++) {
    const char ch = constraint[static_cast<size_t>(i - 1)];
    if (ch == '(' || ch == '<' || ch == 'x') clear(1, i - 4, i, i);
    if (ch == '>' || ch == 'x') clear(i, i, i + 4, n);
    if (ch == '(') open.push_back(i);
    if (ch != ')') continue;
    const int p = open.back();
    open.pop_back();
    const int8_t t = at(p, i);
    clear(p, p, p + 1, n);
    clear(p + 1, i, i, n);
    clear(1, p, p, i);
    clear(1, i - 1, i, i);
    clear(i, i, i + 4, n);
    at(p, i) = t != 0 ? t : 7;
  }
  return pair_types(ws, n);
}

// Random nested brackets, up to a fully bracketed string, among the other characters.
std::string random_brackets(std::mt19937& rng, int n, int fill_percent) {
  std::string s(static_cast<size_t>(n), '.');
  const char singles[] = "....<>x|";
  for (auto& ch : s) ch = singles[rng() % 8];
  std::vector<int> open;
  for (int k = 0; k < n; k++) {
    if (static_cast<int>(rng() % 100) >= fill_percent) continue;
    const int closable = !open.empty() && k - open.back() >= 1;
    if (n - k <= static_cast<int>(open.size()) || (closable && rng() % 2)) {
      s[static_cast<size_t>(k)] = ')';
      open.pop_back();
    } else {
      s[static_cast<size_t>(k)] = '(';
      open.push_back(k);
    }
  }
  while (!open.empty()) {
    s[static_cast<size_t>(open.back())] = '.';
    open.pop_back();
  }
  return s;
}

TEST(ConstraintSetup, MatchesForcingOnePairAtATime) {
  std::mt19937 rng(4242);
  const stemloop::Model model;
  for (int round = 0; round < 150; round++) {
    const int n = 6 + static_cast<int>(rng() % 70);
    std::string seq;
    for (int k = 0; k < n; k++) seq += "ACGU"[rng() % 4];
    const std::string constraint =
        random_brackets(rng, n - static_cast<int>(rng() % 4), static_cast<int>(rng() % 101));
    Workspace ws;
    ws.seq = stemloop::encode_sequence(seq, model.pairs);
    ws.prepare(n);
    ws.BP.assign(static_cast<size_t>(n) + 2, 0);
    stemloop::make_ptypes(ws, model.pairs.pair, false, constraint.c_str());
    ASSERT_EQ(pair_types(ws, n), constrained_one_by_one(model, seq, constraint)) << seq << "\n"
                                                                                 << constraint;
  }
}

// Lengths up and down, every dangle mode and two threads: whatever an earlier fold left
// in the kept state, every table value comes out as from a fresh folder.
TEST(KeptFillState, FoldsAsAFreshFolder) {
  std::mt19937 rng(77);
  const stemloop::Model model;
  stemloop::Folder kept;
  for (int round = 0; round < 24; round++) {
    const int n =
        round % 6 == 5 ? 600 + static_cast<int>(rng() % 200) : 20 + static_cast<int>(rng() % 180);
    std::string seq;
    for (int k = 0; k < n; k++) seq += "ACGU"[rng() % 4];
    stemloop::FoldOptions opt;
    opt.dangles = round % 4;
    opt.threads = 1 + round % 2;
    const stemloop::FoldResult again = kept.fold(model, opt, seq);
    stemloop::Folder fresh;
    const stemloop::FoldResult first = fresh.fold(model, opt, seq);
    ASSERT_EQ(again.structure, first.structure) << seq;
    ASSERT_EQ(again.energy, first.energy);
    for (int j = 1; j <= n; j++) {
      for (int i = 1; i <= j; i++) {
        ASSERT_EQ(kept.c(i, j), fresh.c(i, j)) << i << " " << j;
        ASSERT_EQ(kept.fML(i, j), fresh.fML(i, j)) << i << " " << j;
      }
    }
  }
}

// A line of /proc/self/status in KiB, such as VmRSS or VmHWM.
long status_kib(const std::string& key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, key.size() + 1, key + ":") == 0)
      return std::stol(line.substr(key.size() + 1));
  return -1;
}

// For every dangle mode and 1 and 4 threads, the peak resident memory a first fold adds
// to a process, measured in a child whose peak is reset first, is within the estimate
// (at most 5% short) and not far above it.
TEST(WorkspaceEstimate, CoversTheMeasuredPeakInEveryMode) {
  if (status_kib("VmHWM") < 0) GTEST_SKIP() << "no /proc/self/status";
#if defined(STEMLOOP_SANITIZE) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers' shadow memory is no part of the fold's";
#endif
  std::mt19937 rng(5);
  std::string seq;
  for (int k = 0; k < 1200; k++) seq += "ACGU"[rng() % 4];
  const stemloop::Model model;
  for (int threads : {1, 4}) {
    for (int dangles = 0; dangles <= 3; dangles++) {
      stemloop::FoldOptions opt;
      opt.dangles = dangles;
      opt.threads = threads;
      const auto child = testing_support::run_in_child([&] {
        std::ofstream("/proc/self/clear_refs") << "5";  // peak := current
        const long before = status_kib("VmRSS");
        stemloop::Folder folder;
        folder.fold(model, opt, seq);
        std::printf("%ld\n", status_kib("VmHWM") - before);
      });
      ASSERT_EQ(child.status, 0) << child.err;
      const double measured = 1024.0 * std::stol(child.out);
      const double estimate =
          static_cast<double>(stemloop::Folder::workspace_bytes(static_cast<int>(seq.size()), opt));
      EXPECT_GE(estimate, 0.95 * measured) << "dangles " << dangles << " threads " << threads;
      EXPECT_LE(estimate, 1.25 * measured + (1 << 20))
          << "dangles " << dangles << " threads " << threads;
    }
  }
}

}  // namespace
