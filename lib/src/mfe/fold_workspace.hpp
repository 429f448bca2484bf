// The folding workspace: triangular tables addressed by one Triangle, and the per-row
// arrays of the fill. Internal to the library.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mfe/table_buffer.hpp"
#include "model/energy_terms.hpp"
#include "model/triangle.hpp"
#include "stemloop/alphabet.hpp"
#include "stemloop/constants.h"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"

namespace stemloop {

// The fill's rows of state and per-fold constants, kept between folds (fill.cpp).
struct FillState;
struct FillStateDeleter {
  void operator()(FillState* state) const;
};

class Workspace {
 public:
  // Sizes every array for sequences of up to n bases and lays the rows out for n.
  void prepare(int n);

  // By rows, the order in which the fill walks the cells.
  size_t cell(int i, int j) const { return index.row(i, j); }
  // By columns, so that the multiloop splits of a block of rows read one run per split
  // point.
  static size_t col(int i, int j) { return Triangle::col(i, j); }

  Triangle index;
  // The tables hold whatever an earlier fold left; a fold writes every cell (i <= j)
  // it reads.
  TableBuffer<int> c;         // i paired with j, by cell()
  TableBuffer<int> fML;       // multiloop piece, by col(); kTablePad cells more
  TableBuffer<int8_t> ptype;  // allowed pair type of (i, j), 0 = may not pair, by cell()
  // Cells past the last column of fML that a block of rows may read and ignore.
  static constexpr size_t kTablePad = 64;
  std::vector<int> f5;  // exterior loop of the prefix [1, j]
  std::vector<int> BP;  // -1 at positions that must pair
  EncodedSequence seq;  // the sequence being folded
  // The fill's state, sized for the largest fold so far and reused by the next.
  std::unique_ptr<FillState, FillStateDeleter> fill;
};

// Pair types of the sequence under the lonely-pair rule and a constraint string (or
// null). Throws Error("unbalanced brackets in constraints") for a ')' without its '(' and
// Error("unbalanced brackets in constraint string") for a '(' left open.
void make_ptypes(Workspace& ws, const int (&pair)[21][21], bool no_lonely_pairs,
                 const char* constraint);

// Everything the fill and the trace read for one fold, with the notation of the
// recursions: t(i,j) pair types, c and fML the tables, s(k) aliased codes.
struct FoldContext {
  EnergyTerms E;
  Workspace& ws;
  const char* sequence;
  int n;
  bool no_lonely_pairs;
  bool no_closing_gu;
  // The workspace's arrays as plain pointers: read for every cell, and the fill's
  // stores into int tables cannot change them.
  const size_t* rowstart = ws.index.rowstart.data();
  int* c_cells = ws.c.data();
  int* fml_cells = ws.fML.data();
  const int8_t* types = ws.ptype.data();
  const short* codes = ws.seq.S1.data();

  int t(int i, int j) const { return types[rowstart[i] + static_cast<size_t>(j)]; }
  int& c(int i, int j) const { return c_cells[rowstart[i] + static_cast<size_t>(j)]; }
  int& fML(int i, int j) const { return fml_cells[ws.col(i, j)]; }
  int s(int k) const { return codes[k]; }
  const short* S1() const { return codes; }
  // The same, as loop_candidates.hpp reads a Site. Constraints are bonuses and pair
  // types here: any base may stay unpaired.
  const EnergyTerms& terms() const { return E; }
  int type(int i, int j) const { return t(i, j); }
  int length() const { return n; }
  const char* text() const { return sequence; }
  static bool free(int, int) { return true; }
  // Constraint bonus of the pair (i, j): one CONSTRAINT_BONUS per end that must pair.
  int bonus(int i, int j) const {
    return (ws.BP[static_cast<size_t>(i)] == -1 ? -CONSTRAINT_BONUS : 0) +
           (ws.BP[static_cast<size_t>(j)] == -1 ? -CONSTRAINT_BONUS : 0);
  }
  // G-U and U-G pairs without a bonus may not close loops under no_closingGU.
  bool barred(int type, int b) const { return no_closing_gu && is_wobble(type) && b == 0; }
  // Whether a pair read from inside as type u may be the inner pair of a bulge or
  // interior loop: under no_closingGU a G-U or U-G pair sits inside another only as a
  // direct stack.
  bool may_be_inner(int u) const { return !(no_closing_gu && is_wobble(u)); }
};

// Encodes the sequence, sizes the workspace, applies the pair rules and the constraint
// string, and returns what the fill and the trace read.
FoldContext prepare_fold(Workspace& ws, const Model& model, const FoldOptions& options,
                         const std::string& sequence, const char* constraint);

// Fills c, fML and f5 for the sequence in ctx.ws, sharing the work between up to
// `threads` threads; the tables do not depend on the number of threads.
void fill_tables(const FoldContext& ctx, int threads = 1);

// Threads the fill of n bases uses when allowed `threads`.
int fill_workers(int n, int threads);

// Bytes the fill's state takes for n bases in a dangle mode with `threads` threads; in
// mode 3 no_closing_gu adds column copies of the tables.
size_t fill_state_bytes(int n, int dangles, int threads, bool no_closing_gu);

// Retraces one optimal structure into `pairs`, in the order the pairs are found.
// Throws Error when no alternative reproduces the traced energy.
void trace_structure(const FoldContext& ctx, char backtrack_type,
                     std::vector<std::pair<int, int>>& pairs);

}  // namespace stemloop
