#include "suboptimal.hpp"

#include <utility>

#include "stemloop/constants.h"
#include "stemloop/subopt.hpp"

namespace stemloop_tools {
namespace {

// Closes the streamed record however the band ends, an engine error included.
class OpenRecord {
 public:
  OpenRecord(SafeOutput& output, const std::string& opening, std::string closing)
      : output_(output) {
    output_.open_record(opening, std::move(closing));
  }
  ~OpenRecord() { output_.close_record(); }
  OpenRecord(const OpenRecord&) = delete;
  OpenRecord& operator=(const OpenRecord&) = delete;

 private:
  SafeOutput& output_;
};

}  // namespace

std::string list_suboptimal(const stemloop::Model& model, const ToolOptions& options,
                            const Writer& writer, const stemloop::FoldRecord& record,
                            const std::vector<std::string>& warnings, SafeOutput& output,
                            std::string& out) {
  stemloop::SuboptOptions so = stemloop::subopt_options(options.fold);
  if (record.constraint) so.constraint = *record.constraint;
  const stemloop::SuboptFolder folder(model, so, record.sequence);
  if (folder.mfe() >= ENERGY_INF) return "no structure meets the constraints";
  bool first = true;
  const auto entry = [&](const std::string& structure, int energy) {
    std::string text = writer.structure_entry(record.id, record.sequence, structure, energy, first);
    first = false;
    return text;
  };
  if (options.zuker) {
    out = writer.structures_begin(record.id, record.sequence);
    for (const stemloop::ScoredStructure& s : folder.zuker(options.zuker_options).structures)
      out += entry(s.structure, s.energy);
    out += writer.structures_end(warnings);
    return {};
  }
  const OpenRecord open(output, writer.structures_begin(record.id, record.sequence),
                        writer.structures_end(warnings));
  // A closed output ends the band.
  folder.band(options.band, [&](const std::string& structure, int energy) {
    return output.append(entry(structure, energy));
  });
  return {};
}

}  // namespace stemloop_tools
