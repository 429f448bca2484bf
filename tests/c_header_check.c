/* Compiled as C: the public header must stay valid C and link against the library. */
#include <string.h>

#include "stemloop/stemloop.h"

int main(void) {
  char structure[16];
  float e;
  initialize_fold(9);
  e = fold("GGGAAACCC", structure);
  free_arrays();
  return (strlen(structure) == 9 && e <= 0.0f && stack37[1][1] == -240) ? 0 : 1;
}
