/* The standard alphabet as read-only global data (C-compatible). */
#ifndef STEMLOOP_ALPHABET_H
#define STEMLOOP_ALPHABET_H

#include "stemloop/export.h"

#ifdef __cplusplus
extern "C" {
#endif
STEMLOOP_API_BEGIN

/* "_ACGUTXKI": a letter's code is its position, less one past U (T codes as U). */
extern const char Law_and_Order[];
/* Pair types of the standard alphabet, [5' code][3' code]: 0 none, 1 CG, 2 GC, 3 GU,
 * 4 UG, 5 AU, 6 UA; X-K pairs like G-C, I pairs with A and U. */
extern const int BP_pair[8][8];

STEMLOOP_API_END
#ifdef __cplusplus
}
#endif

#endif /* STEMLOOP_ALPHABET_H */
