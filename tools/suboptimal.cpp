#include "suboptimal.hpp"

#include <cstdio>

#include "stemloop/constants.h"
#include "stemloop/subopt.hpp"

namespace stemloop_tools {
namespace {

// Output held back before it goes out in one write.
constexpr size_t kChunk = size_t{1} << 20;

}  // namespace

std::string list_suboptimal(const stemloop::Model& model, const ToolOptions& options,
                            const Writer& writer, const FoldRecord& record, std::string& out) {
  stemloop::SuboptOptions so;
  so.dangles = options.fold.dangles;
  so.noLonelyPairs = options.fold.noLonelyPairs;
  so.no_closingGU = options.fold.no_closingGU;
  so.tetra_loop = options.fold.tetra_loop;
  if (record.constraint) so.constraint = *record.constraint;
  const stemloop::SuboptFolder folder(model, so, record.sequence);
  if (folder.mfe() >= ENERGY_INF) return "no structure meets the constraints";
  out = writer.structures_begin(record.id, record.sequence);
  bool first = true;
  auto add = [&](const std::string& structure, int energy) {
    out += writer.structure_entry(record.id, record.sequence, structure, energy, first);
    first = false;
    if (out.size() < kChunk) return true;
    const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
    out.clear();
    return written;  // a closed output ends the band
  };
  if (options.zuker) {
    for (const stemloop::ScoredStructure& s : folder.zuker(options.zuker_options).structures)
      add(s.structure, s.energy);
  } else {
    folder.band(options.band, add);
  }
  out += writer.structures_end();
  return {};
}

}  // namespace stemloop_tools
