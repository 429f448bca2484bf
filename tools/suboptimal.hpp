// Suboptimal structures of one record for stemloop-fold: the band of --subopt, streamed
// to the output as it is found, or Zuker's list of --zuker.
#pragma once

#include <string>
#include <vector>

#include "options.hpp"
#include "output.hpp"
#include "safe_output.hpp"
#include "stemloop/model.hpp"
#include "stemloop/records.hpp"

namespace stemloop_tools {

// Lists the suboptimal structures of `record`, with its `warnings` in the JSON record.
// Zuker's list is computed whole and goes into `out`. The band is written to `output`
// entry by entry as it is found (an interruption ends it after a whole entry and closes
// it), which keeps the output in order only while records run one at a time. Returns
// what went wrong, or an empty string.
std::string list_suboptimal(const stemloop::Model& model, const ToolOptions& options,
                            const Writer& writer, const stemloop::FoldRecord& record,
                            const std::vector<std::string>& warnings, SafeOutput& output,
                            std::string& out);

}  // namespace stemloop_tools
