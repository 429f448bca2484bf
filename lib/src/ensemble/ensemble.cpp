// Ensemble: runs the inside and outside passes and answers from their tables.
#include "stemloop/ensemble.hpp"

#include <cmath>

#include "ensemble/ensemble_tables.hpp"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/pair_table.hpp"

namespace stemloop {
namespace {

const EnsembleTables& tables_of(const std::unique_ptr<EnsembleTables>& tables) {
  if (!tables) throw Error("ensemble: no sequence computed yet");
  return *tables;
}

}  // namespace

EnsembleTables::EnsembleTables(const Model& m, const EnsembleOptions& options,
                               const std::string& sequence, const char* constraint)
    : model(m),
      x(model, options, sequence, constraint),
      index(x.n),
      ring(x.rt, uniform_scale(x.n, x.rt)),
      threads(options.threads),
      qb(index.cells),
      qs(x.no_lonely_pairs ? index.cells : 0),
      qm1(index.cells),
      qm1_col(index.cells),
      qm(index.cells),
      qm_col(index.cells) {}

double EnsembleTables::log_z() const { return std::log(z()) - ring.log_scale(); }

EnsembleOptions ensemble_options(const FoldOptions& fold) {
  EnsembleOptions options;
  static_cast<LoopOptions&>(options) = fold;
  options.threads = fold.threads;
  return options;
}

Ensemble::Ensemble() = default;
Ensemble::~Ensemble() = default;
Ensemble::Ensemble(Ensemble&&) noexcept = default;
Ensemble& Ensemble::operator=(Ensemble&&) noexcept = default;

size_t Ensemble::workspace_bytes(int n) {
  const size_t size = static_cast<size_t>(n);
  // qb, qm1 and qm twice, the outside sums by column, the probabilities and the MEA
  // table: 8 doubles per cell, and the pair types.
  return (size * (size + 1) / 2 + 2) * (8 * sizeof(double) + 1) + size * 1024;
}

void Ensemble::compute(const Model& model, const EnsembleOptions& options,
                       const std::string& sequence, const char* constraint) {
  tables_.reset();
  auto tables = std::make_unique<EnsembleTables>(model, options, sequence, constraint);
  tables->ring = BoltzmannRing(tables->x.rt, scale_profile(*tables));
  fill_inside(*tables);
  const double z = tables->z();
  if (!(z > 0.0)) throw Error("no structure meets the constraints");
  if (!std::isfinite(z)) throw Error("ensemble: partition function out of range");
  outside_pass(*tables);
  tables_ = std::move(tables);
}

int Ensemble::length() const { return tables_of(tables_).x.n; }

double Ensemble::free_energy() const {
  const EnsembleTables& T = tables_of(tables_);
  return -T.x.rt * T.log_z();
}

double Ensemble::probability(int i, int j) const {
  const EnsembleTables& T = tables_of(tables_);
  if (i > j) std::swap(i, j);
  if (i < 1 || j > T.x.n) throw Error("ensemble: position out of range");
  return i == j ? 0.0 : T.prob[T.index.row(i, j)];
}

double Ensemble::unpaired(int i) const {
  const EnsembleTables& T = tables_of(tables_);
  if (i < 1 || i > T.x.n) throw Error("ensemble: position out of range");
  return T.unpaired[static_cast<size_t>(i)];
}

std::vector<PairProbability> Ensemble::pairs(double cutoff) const {
  const EnsembleTables& T = tables_of(tables_);
  std::vector<PairProbability> list;
  for (int i = 1; i <= T.x.n; i++)
    for (int j = i + MIN_HAIRPIN + 1; j <= T.x.n; j++) {
      const double p = T.prob[T.index.row(i, j)];
      if (p > 0.0 && p >= cutoff) list.push_back(PairProbability{i, j, p});
    }
  return list;
}

double Ensemble::diversity() const {
  const EnsembleTables& T = tables_of(tables_);
  double d = 0.0;
  for (int i = 1; i <= T.x.n; i++)
    for (int j = i + MIN_HAIRPIN + 1; j <= T.x.n; j++) {
      const double p = T.prob[T.index.row(i, j)];
      d += p * (1.0 - p);
    }
  return 2.0 * d;
}

namespace {

// Whether the fold could produce the structure: allowed pairs, every base that must
// pair paired, the lonely-pair and no_closingGU rules, interior loops of at most
// MAX_INTERIOR bases.
bool in_ensemble(const EnsembleContext& x, const PairTable& pt) {
  const int n = x.n;
  for (int i = 1; i <= n; i++) {
    const int j = pt[static_cast<size_t>(i)];
    if (j == 0 && !x.free(i, i)) return false;
    if (j <= i) continue;
    const int t = x.type(i, j);
    if (t == 0) return false;
    if (x.no_lonely_pairs && pt[static_cast<size_t>(i) + 1] != j - 1 &&
        !(i > 1 && pt[static_cast<size_t>(i - 1)] == j + 1))
      return false;
    int inner = 0, p = 0, q = 0;
    for (int k = i + 1; k < j; k++) {
      const int partner = pt[static_cast<size_t>(k)];
      if (partner > k) {
        if (inner++ == 0) p = k, q = partner;
        k = partner;
      }
    }
    if (inner == 1 && !(p == i + 1 && q == j - 1)) {
      // (i (p ... q) j): bulge or interior loop
      if (p - i - 1 + j - q - 1 > MAX_INTERIOR || x.barred(t) || x.barred(x.type(p, q)))
        return false;
    } else if (inner != 1 && x.barred(t)) {
      return false;  // hairpin or multiloop closed by a barred pair
    }
  }
  return true;
}

}  // namespace

double Ensemble::structure_probability(const std::string& structure) const {
  const EnsembleTables& T = tables_of(tables_);
  if (static_cast<int>(structure.size()) != T.x.n)
    throw Error("structure and sequence have unequal length");
  const PairTable pt = make_pair_table(structure);
  if (!in_ensemble(T.x, pt)) return 0.0;
  EvalOptions eo;
  eo.dangles = T.x.options.dangles;
  eo.tetra_loop = T.x.options.tetra_loop;
  const int e = evaluate_structure(T.model, eo, T.x.sequence.c_str(), pt.data(), T.x.seq.S.data(),
                                   T.x.seq.S1.data())
                    .energy;
  return std::min(1.0, std::exp(-e / (100.0 * T.x.rt) - T.log_z()));
}

double Ensemble::ensemble_defect(const std::string& structure) const {
  const EnsembleTables& T = tables_of(tables_);
  if (static_cast<int>(structure.size()) != T.x.n)
    throw Error("structure and sequence have unequal length");
  const PairTable pt = make_pair_table(structure);
  double defect = T.x.n;
  for (int i = 1; i <= T.x.n; i++) {
    const int j = pt[static_cast<size_t>(i)];
    defect -= j == 0 ? T.unpaired[static_cast<size_t>(i)] : probability(i, j);
  }
  return defect;
}

}  // namespace stemloop
