// Suboptimal structures of one record for stemloop-fold: the band of --subopt, streamed
// to standard output as it is found, or Zuker's list of --zuker.
#pragma once

#include <string>

#include "options.hpp"
#include "output.hpp"
#include "records.hpp"
#include "stemloop/model.hpp"

namespace stemloop_tools {

// Lists the suboptimal structures of `record` into `out`. A long band writes what it has
// to standard output as it goes, which keeps the output in order only while records run
// one at a time. Returns what went wrong, or an empty string.
std::string list_suboptimal(const stemloop::Model& model, const ToolOptions& options,
                            const Writer& writer, const FoldRecord& record, std::string& out);

}  // namespace stemloop_tools
