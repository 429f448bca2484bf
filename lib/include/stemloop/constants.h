/* Named constants of the energy model and the fill, shared by the C API and the engine. */
#ifndef STEMLOOP_CONSTANTS_H
#define STEMLOOP_CONSTANTS_H

enum {
  ENERGY_INF = 1000000,       /* marks an impossible loop or pair; sums with it are plain ints */
  MIN_HAIRPIN = 3,            /* fewest unpaired bases in a hairpin loop */
  MAX_INTERIOR = 30,          /* most unpaired bases in a bulge or interior loop */
  MAXLOOP = 30,               /* largest tabulated loop size */
  CONSTRAINT_BONUS = 10000,   /* bonus per pair end on a position that must pair */
  FORBIDDEN_HAIRPIN = 9999,   /* hairpin cost of a pair barred by no_closingGU */
  MAX_SEQUENCE_LENGTH = 32767 /* longest sequence the 16-bit encodings hold */
};

#endif
