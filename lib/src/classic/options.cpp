// The option globals of the classic layer with their defaults, and their summary as flags.
#include <cstdarg>
#include <cstdio>

#include "stemloop/stemloop.h"

int noGU = 0;
int no_closingGU = 0;
int tetra_loop = 1;
int energy_set = 0;
int dangles = 1;
char* nonstandards = nullptr;
double temperature = 37.0;
int fold_constrained = 0;
int noLonelyPairs = 0;
char backtrack_type = 'F';
int logML = 0;

namespace {

// Appends formatted text at `*used` within `size` bytes, cutting it short when the buffer
// is full so the text always stays terminated.
__attribute__((format(printf, 4, 5))) void append(char* buffer, size_t size, size_t* used,
                                                  const char* format, ...) {
  if (*used + 1 >= size) return;
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(buffer + *used, size - *used, format, args);
  va_end(args);
  if (written < 0) return;
  size_t room = size - *used - 1;
  *used += static_cast<size_t>(written) < room ? static_cast<size_t>(written) : room;
}

}  // namespace

char* option_string(void) {
  static char options[100];
  size_t used = 0;
  options[0] = '\0';
  if (noGU) append(options, sizeof options, &used, "-noGU ");
  if (no_closingGU) append(options, sizeof options, &used, "-noCloseGU ");
  if (!tetra_loop) append(options, sizeof options, &used, "-4 ");
  if (noLonelyPairs) append(options, sizeof options, &used, "-noLP ");
  if (fold_constrained) append(options, sizeof options, &used, "-C ");
  if (dangles != 1) append(options, sizeof options, &used, "-d%d ", dangles);
  if (temperature != 37.0) append(options, sizeof options, &used, "-T %f ", temperature);
  return options;
}
