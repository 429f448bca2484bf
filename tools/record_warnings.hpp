// Warnings about a record that is used as it stands: each is one sentence, printed on
// standard error as "NAME: WARNING: sentence" and listed in the JSON output.
#pragma once

#include <string>
#include <vector>

#include "options.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/pair_table.hpp"

namespace stemloop_tools {

// Letters of the sequence that no pair of the alphabet uses (IUPAC codes such as N or
// R, other letters), named once each; empty when there are none. Only the standard
// alphabet is checked: the two-letter ones give every letter a meaning.
std::string unpairable_letters(const std::string& sequence, const ToolOptions& options);

// One warning per hairpin with fewer than 3 unpaired bases; the model still scores it.
std::vector<std::string> short_hairpins(const stemloop::PairTable& table);

// The engine's warning for a pair of bases that cannot pair.
std::string cannot_pair(const stemloop::PairWarning& warning);

// What a fold did not meet of its constraint: '|' positions left unpaired and forced
// pairs missing from the structure; empty when all was met.
std::string unmet_constraints(const std::string& constraint, const std::string& structure);

// The warnings as lines for standard error.
std::string warning_lines(const std::string& label, const std::vector<std::string>& warnings);

}  // namespace stemloop_tools
