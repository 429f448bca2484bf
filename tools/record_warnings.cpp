#include "record_warnings.hpp"

#include <cctype>
#include <cstdio>

namespace stemloop_tools {
namespace {

constexpr int kMinHairpin = 3;

std::string positions_text(const std::vector<int>& positions) {
  std::string text;
  const size_t shown = positions.size() > 10 ? 10 : positions.size();
  for (size_t k = 0; k < shown; k++) text += (k ? ", " : "") + std::to_string(positions[k]);
  if (shown < positions.size())
    text += " and " + std::to_string(positions.size() - shown) + " more";
  return text;
}

}  // namespace

std::string unpairable_letters(const std::string& sequence, const ToolOptions& options) {
  if (options.model.alphabet.energy_set != 0) return {};
  std::string pairing = "ACGUT";
  if (options.model.alphabet.has_nonstandards) pairing += options.model.alphabet.nonstandards;
  std::string found;
  for (char c : sequence) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (pairing.find(upper) == std::string::npos && found.find(upper) == std::string::npos)
      found += upper;
  }
  if (found.empty()) return {};
  std::string names;
  for (char c : found) names += (names.empty() ? "" : ", ") + std::string(1, c);
  const bool one = found.size() == 1;
  return (one ? "letter " : "letters ") + names + (one ? " is" : " are") +
         " not A, C, G, U or T and never " + (one ? "pairs" : "pair");
}

std::vector<std::string> short_hairpins(const stemloop::PairTable& table) {
  std::vector<std::string> warnings;
  const int n = table[0];
  for (int i = 1; i <= n; i++) {
    const int j = table[static_cast<size_t>(i)];
    if (j <= i || j - i - 1 >= kMinHairpin) continue;
    bool inner_pair = false;
    for (int k = i + 1; k < j; k++) inner_pair = inner_pair || table[static_cast<size_t>(k)] != 0;
    if (inner_pair) continue;
    warnings.push_back("hairpin closed by bases " + std::to_string(i) + " and " +
                       std::to_string(j) + " has " + std::to_string(j - i - 1) +
                       " unpaired bases, fewer than " + std::to_string(kMinHairpin));
  }
  return warnings;
}

std::string cannot_pair(const stemloop::PairWarning& warning) {
  char text[96];
  std::snprintf(text, sizeof text, "bases %d and %d (%c%c) can't pair!", warning.i, warning.j,
                warning.ci, warning.cj);
  return text;
}

std::string unmet_constraints(const std::string& constraint, const std::string& structure) {
  if (constraint.size() != structure.size()) return {};
  const stemloop::PairTable wanted = stemloop::make_pair_table(constraint);
  const stemloop::PairTable got = stemloop::make_pair_table(structure);
  std::vector<int> unpaired;
  std::vector<int> missing;
  for (size_t k = 1; k <= constraint.size(); k++) {
    if (constraint[k - 1] == '|' && got[k] == 0) unpaired.push_back(static_cast<int>(k));
    if (wanted[k] > static_cast<int>(k) && got[k] != wanted[k])
      missing.push_back(static_cast<int>(k));
  }
  std::string text;
  if (!unpaired.empty()) text = "'|' positions left unpaired: " + positions_text(unpaired);
  if (!missing.empty()) {
    text += (text.empty() ? "" : "; ") + std::string("forced pairs missing, from positions ") +
            positions_text(missing);
  }
  return text.empty() ? text : "could not enforce all constraints: " + text;
}

std::string warning_lines(const std::string& label, const std::vector<std::string>& warnings) {
  std::string text;
  for (const std::string& warning : warnings)
    text.append(label).append(": WARNING: ").append(warning).append("\n");
  return text;
}

}  // namespace stemloop_tools
