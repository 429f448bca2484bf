// UTF-8 checks of text copied from an input into an output, such as the names of records.
#pragma once

#include <cstddef>
#include <string>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

// Length of the UTF-8 sequence starting at text[k], or 0 when it is not valid UTF-8.
size_t utf8_length(const std::string& text, size_t k);

// `text` with each byte that starts no valid UTF-8 sequence replaced by U+FFFD.
std::string valid_utf8(const std::string& text);

}  // namespace stemloop
STEMLOOP_API_END
