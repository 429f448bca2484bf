// The library's one 48-bit generator (erand48 over xsubi) and what is drawn from it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "stemloop/stemloop.h"

unsigned short xsubi[3];

void init_rand(void) {
  const auto t = static_cast<uint32_t>(std::time(nullptr));
  xsubi[0] = static_cast<unsigned short>(t & 0xFFFFu);
  xsubi[1] = static_cast<unsigned short>(t >> 16);
  xsubi[2] = 5246;  // 0x147E
}

double urn(void) { return erand48(xsubi); }

int int_urn(int from, int to) {
  const double u = urn();
  // Widened so that ranges callers are not meant to pass still avoid signed overflow.
  const int64_t width = static_cast<int64_t>(to) - from + 1;
  return static_cast<int>(from + static_cast<int64_t>(u * static_cast<double>(width)));
}

char* random_string(int l, const char symbols[]) {
  const double n = static_cast<double>(std::strlen(symbols));
  auto* text = static_cast<char*>(space(static_cast<unsigned>(l) + 1));
  for (int i = 0; i < l; i++) text[i] = symbols[static_cast<size_t>(urn() * n)];
  text[l] = '\0';
  return text;
}
