/*
 * stemloop classic API: minimum-free-energy folding and structure evaluation of RNA
 * under the nearest-neighbour energy model.
 *
 * This interface keeps module-level state (option globals, working energy tables, the
 * folding workspace, the encoded sequence) and is therefore NOT reentrant: only one fold
 * or evaluation may run at a time in a process. Fatal conditions end the process with a
 * message on standard error and exit status 1. For concurrent use, call the engine
 * (namespace stemloop, headers folder.hpp, evaluate.hpp, model.hpp) instead.
 *
 * Energies are integers in 0.01 kcal/mol unless a function returns float, which is
 * kcal/mol. Positions are 1-based; arrays indexed by position keep the length in entry 0.
 */
#ifndef STEMLOOP_STEMLOOP_H
#define STEMLOOP_STEMLOOP_H

#include <stdio.h>

#include "stemloop/alphabet.h"
#include "stemloop/constants.h"
#include "stemloop/energy_par.h"
#include "stemloop/export.h"

#ifdef __cplusplus
#define STEMLOOP_NORETURN [[noreturn]]
#else
#define STEMLOOP_NORETURN _Noreturn
#endif

#ifdef __cplusplus
extern "C" {
#endif
STEMLOOP_API_BEGIN

/* One base pair of a folded structure, i < j. */
typedef struct BasePair {
  int i;
  int j;
} BasePair;

/* ---------------------------------------------------------------- option globals --- */
/* Set before folding or evaluating; defaults in parentheses. */
extern int noGU;             /* non-zero: G-U and U-G may not pair (0) */
extern int no_closingGU;     /* non-zero: G-U/U-G pairs may not close loops (0) */
extern int tetra_loop;       /* non-zero: special hairpins of four get their bonus (1) */
extern int energy_set;       /* alphabet: 0 standard, 1 G/C, 2 A/U two-letter (0) */
extern int dangles;          /* dangling-end mode 0, 1, 2 or 3 (1) */
extern char *nonstandards;   /* extra letter pairs, e.g. "GAAG", or NULL (NULL) */
extern double temperature;   /* folding temperature in degrees Celsius (37.0) */
extern int fold_constrained; /* non-zero: fold() reads a constraint string (0) */
extern int noLonelyPairs;    /* non-zero: no isolated base pairs (0) */
extern char backtrack_type;  /* 'F' whole sequence, 'C' 1 paired with n, 'M' multiloop ('F') */
extern int logML;            /* non-zero: logarithmic multiloop penalty in evaluation (0) */

/* -1: no energy tables derived yet; 0: tables but no workspace; n: workspace for n. */
extern int init_length;

/* ------------------------------------------------------- alphabet and pair matrix --- */
extern int pair[21][21];  /* [5' code][3' code] -> pair type, 0 = cannot pair */
extern int rtype[8];      /* type of the same pair read from its other end */
extern short alias[22];   /* nucleotide code -> aliased code (0 none, 1..4 ACGU) */
extern short *S;          /* encoded sequence: S[0] = n, nucleotide codes */
extern short *S1;         /* encoded sequence: S1[0] = n, aliased codes */
extern short *pair_table; /* pair table of the structure last evaluated */

int encode_char(int c);                /* nucleotide code of one character */
void make_pair_matrix(void);           /* rebuild pair, rtype, alias from the options */
void encode_seq(const char *sequence); /* new S and S1 for a sequence (caller frees) */

/* ----------------------------------------------------------- working parameters --- */
void scale_parameters(void);   /* derive the working tables for `temperature` */
void update_fold_params(void); /* scale_parameters, make_pair_matrix, init_length -1 -> 0 */

/* Hairpin closed by (i, j) of pair type `type`; needs S1 of `sequence` encoded. */
int HairpinE(int i, int j, int type, const char *sequence);
/* Stack, bulge or interior loop; see the loop energy documentation for the arguments. */
int LoopEnergy(int n1, int n2, int type, int type_2, int si1, int sj1, int sp1, int sq1);

/* ---------------------------------------------------------------------- folding --- */
extern BasePair *base_pair; /* pairs of the last fold, count in base_pair[0].i */

void initialize_fold(int length); /* workspace for up to `length` bases */
void free_arrays(void);           /* release the workspace (safe to repeat) */
/* Fold `sequence`; `structure` (n + 1 bytes) receives the dot-bracket structure and
 * carries the constraint string on entry when fold_constrained is set. Returns the
 * energy in kcal/mol selected by backtrack_type. */
float fold(const char *sequence, char *structure);
void parenthesis_structure(char *structure, int n);

/* ------------------------------------------------------------------- evaluation --- */
float energy_of_struct(const char *string, const char *structure); /* kcal/mol */
int energy_of_struct_pt(const char *string, short *ptable, short *s, short *s1);
short *make_pair_table(const char *structure); /* caller frees */

/* -------------------------------------------------------------------- utilities --- */
void *space(unsigned size); /* zero-filled block; exits when out of memory */
STEMLOOP_NORETURN void nrerror(const char message[]); /* message on stderr, exit status 1 */

extern unsigned short xsubi[3];                   /* state of the 48-bit generator */
void init_rand(void);                             /* seed xsubi from the clock */
double urn(void);                                 /* uniform in [0, 1) */
int int_urn(int from, int to);                    /* uniform integer in [from, to] */
char *random_string(int l, const char symbols[]); /* caller frees */

char *pack_structure(const char *struc);    /* base-3 packing, caller frees */
char *unpack_structure(const char *packed); /* inverse of pack_structure, caller frees */
int hamming(const char *s1, const char *s2);
int bp_distance(const char *str1, const char *str2);
char *get_line(FILE *fp); /* one line of any length, NULL at end; caller frees */
char *time_stamp(void);   /* ctime of now, static buffer */
void filecopy(FILE *from, FILE *to);

char *option_string(void); /* non-default options as flags, static buffer */

STEMLOOP_API_END
#ifdef __cplusplus
}
#endif

#endif /* STEMLOOP_STEMLOOP_H */
