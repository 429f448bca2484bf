// Structure packing, distances and stream helpers of the classic layer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "stemloop/stemloop.h"

namespace {

// Base-3 digit of a dot-bracket character in the packed format; the terminator counts as
// '(' so a short last group is filled with that digit.
int pack_digit(char c) {
  switch (c) {
    case '(':
    case '\0':
      return 0;
    case '.':
      return 1;
    default:
      return 2;
  }
}

}  // namespace

char* pack_structure(const char* struc) {
  const size_t l = std::strlen(struc);
  // Checked before allocating, so the fatal exit leaves nothing behind.
  if (std::strspn(struc, "(.)") != l) nrerror("pack_structure: illegal charcter in structure");
  auto* packed = static_cast<char*>(space(static_cast<unsigned>((l + 4) / 5 + 1)));
  size_t read = 0, out = 0;
  while (read < l) {
    int value = 0;
    for (int k = 0; k < 5; k++) {
      value = value * 3 + pack_digit(struc[read]);
      if (read < l) read++;
    }
    packed[out++] = static_cast<char>(static_cast<unsigned char>(value + 1));
  }
  packed[out] = '\0';
  return packed;
}

char* unpack_structure(const char* packed) {
  static const char kSymbols[] = "(.)";
  const size_t n = std::strlen(packed);
  auto* text = static_cast<char*>(space(static_cast<unsigned>(5 * n + 1)));
  for (size_t g = 0; g < n; g++) {
    int v = static_cast<unsigned char>(packed[g]) - 1;
    for (size_t k = 5; k-- > 0;) {
      text[5 * g + k] = kSymbols[v % 3];
      v /= 3;
    }
  }
  text[5 * n] = '\0';
  // Drop the '(' digits that filled up the last group.
  for (size_t end = 5 * n; end > 0 && text[end - 1] == '('; end--) text[end - 1] = '\0';
  return text;
}

int hamming(const char* s1, const char* s2) {
  int d = 0;
  for (; *s1 != '\0' && *s2 != '\0'; s1++, s2++) {
    if (*s1 != *s2) d++;
  }
  return d;
}

int bp_distance(const char* str1, const char* str2) {
  short* t1 = make_pair_table(str1);
  short* t2 = make_pair_table(str2);
  const int n = t1[0] < t2[0] ? t1[0] : t2[0];
  int d = 0;
  for (int i = 1; i <= n; i++) {
    if (t1[i] == t2[i]) continue;
    if (t1[i] > i) d++;
    if (t2[i] > i) d++;
  }
  std::free(t1);
  std::free(t2);
  return d;
}

char* get_line(FILE* fp) {
  char chunk[512];
  char* line = nullptr;
  size_t length = 0;
  while (std::fgets(chunk, sizeof chunk, fp) != nullptr) {
    char* newline = std::strchr(chunk, '\n');
    if (newline != nullptr) *newline = '\0';
    const size_t add = std::strlen(chunk);
    if (line == nullptr) {
      line = static_cast<char*>(space(static_cast<unsigned>(add + 1)));
    } else {
      auto* grown = static_cast<char*>(std::realloc(line, length + add + 1));
      if (grown == nullptr) {
        std::free(line);
        nrerror("get_line: line too long for memory");
      }
      line = grown;
    }
    std::memcpy(line + length, chunk, add + 1);
    length += add;
    if (newline != nullptr) break;
  }
  return line;
}

char* time_stamp(void) {
  const std::time_t now = std::time(nullptr);
  return std::ctime(&now);
}

void filecopy(FILE* from, FILE* to) {
  int c;
  while ((c = std::getc(from)) != EOF) std::putc(c, to);
}
