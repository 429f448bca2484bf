// The classic program: stemloop MODE SEQUENCE... folds each sequence with the default
// options and prints its structure (and, when MODE starts with 'y', its energy).
#include <cstdio>
#include <cstring>

#include "stemloop/stemloop.h"

namespace {
constexpr size_t kMaxSequence = 5000;  // longer arguments are cut to this many characters
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: stemloop MODE SEQUENCE... (MODE y prints energies)\n");
    return 0;
  }
  const bool verbose = argv[1][0] == 'y';
  static char sequence[kMaxSequence + 1];
  static char structure[5023];
  for (int arg = 2; arg < argc; arg++) {
    std::strncpy(sequence, argv[arg], kMaxSequence);
    sequence[kMaxSequence] = '\0';
    std::strcpy(structure, sequence);
    const long length = static_cast<long>(std::strlen(sequence));
    initialize_fold(static_cast<int>(length));
    const float energy = fold(sequence, structure);
    if (verbose) {
      std::printf("%15ld %s\n", length, sequence);
      std::printf("%15f %s\n", static_cast<double>(energy), structure);
    } else {
      std::printf("%s\n", structure);
    }
    free_arrays();
  }
  return 0;
}
