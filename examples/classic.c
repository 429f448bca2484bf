/* The classic C interface, built through pkg-config: prints what `stemloop y` prints. */
#include <stdio.h>
#include <string.h>

#include "stemloop/stemloop.h"
#include "stemloop/version.h"

int main(int argc, char **argv) {
  static char structure[5001];
  int k;
  for (k = 1; k < argc; k++) {
    const int n = (int)strlen(argv[k]);
    float energy;
    if (n > 5000) return 1;
    initialize_fold(n);
    energy = fold(argv[k], structure);
    printf("%15d %s\n%15f %s\n", n, argv[k], (double)energy, structure);
    free_arrays();
  }
  fprintf(stderr, "stemloop %s, parameters: %s\n", STEMLOOP_VERSION, STEMLOOP_PARAMETERS);
  return 0;
}
