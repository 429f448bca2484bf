// Pseudoknots in given structures: pairs that cross others are written with the
// brackets [] {} <> after the nested ones in (), and are dropped only on request.
#pragma once

#include <string>
#include <vector>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

// Writes pairs (partner[k] is the 1-based partner of position k + 1, 0 when unpaired)
// as dot-bracket: taking pairs by their 5' base, each goes to the first bracket kind
// whose pairs it does not cross. Returns what is wrong (partners that do not point back,
// more than four kinds needed), or an empty string.
std::string pairs_to_brackets(const std::vector<int>& partner, std::string& structure);

// Resolves the pseudoknot brackets of a structure: with `strip`, their pairs become
// unpaired and `dropped` counts them; without, the first one is refused with its
// position and a hint. Returns what is wrong, or an empty string.
std::string resolve_pseudoknots(std::string& structure, bool strip, int& dropped);

}  // namespace stemloop
STEMLOOP_API_END
