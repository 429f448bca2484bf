// Drawings of large RNAs: every 16S and 23S rRNA of ArchiveII (comparative structures,
// pseudoknots dropped; tests/data/rrna_16s_23s.txt.gz) lays out without overlaps or
// crossings, with even backbone steps and a compact picture.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "stemloop/drawing.hpp"
#include "stemloop/pair_table.hpp"

namespace {

struct Record {
  std::string name, sequence, structure;
};

// The records: lines ">name", sequence, structure.
std::vector<Record> read_records(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  std::string text;
  if (file != nullptr) {
    char buffer[65536];
    for (int got; (got = gzread(file, buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<size_t>(got));
    gzclose(file);
  }
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
  }
  std::vector<Record> records;
  for (size_t k = 0; k + 2 < lines.size(); k += 3)
    records.push_back({lines[k].substr(1), lines[k + 1], lines[k + 2]});
  return records;
}

struct Measure {
  int faults = 0;
  double longest = 0;  // step, in median steps
  double box = 0;      // squared median steps per base
  bool compact() const { return faults == 0 && longest <= 3 && box <= 40; }
};

Measure measure(const Record& record) {
  const stemloop::PairTable table = stemloop::make_pair_table(record.structure);
  const std::vector<stemloop::Point> p = stemloop::layout_structure(table).bases;
  const size_t n = p.size();
  Measure result;
  result.faults = stemloop::count_layout_faults(p, table, 0.5, 0.0);
  std::vector<double> steps;
  for (size_t k = 0; k + 1 < n; k++)
    steps.push_back(std::hypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y));
  std::vector<double> sorted = steps;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                   sorted.end());
  const double median = sorted[sorted.size() / 2];
  result.longest = *std::max_element(steps.begin(), steps.end()) / median;
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const auto& q : p) {
    x0 = std::min(x0, q.x), x1 = std::max(x1, q.x), y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
  }
  result.box = (x1 - x0) * (y1 - y0) / (median * median) / static_cast<double>(n);
  return result;
}

std::vector<Record> rrna_records() {
  return read_records(STEMLOOP_SOURCE_DIR "/tests/data/rrna_16s_23s.txt.gz");
}

// Every record meets every target: no faults, steps at most 3 times the median, at most
// 40 squared steps per base.
TEST(DrawingLarge, RibosomalRnasAreUncrossedAndCompact) {
#ifdef STEMLOOP_SANITIZED
  GTEST_SKIP() << "minutes under the sanitizers; the plain build runs it";
#endif
  const auto records = rrna_records();
  ASSERT_EQ(records.size(), 145u);
  double worst_step = 0, worst_box = 0;
  for (const Record& record : records) {
    const Measure m = measure(record);
    EXPECT_TRUE(m.compact()) << record.name << ": " << m.faults << " faults, longest step "
                             << m.longest << ", box " << m.box;
    worst_step = std::max(worst_step, m.longest);
    worst_box = std::max(worst_box, m.box);
  }
  std::printf("longest step %.2f medians, box %.1f per base\n", worst_step, worst_box);
}

// Domains whose loops do not fit around circles: the exterior loop (E. coli 16S domain 2)
// and closed loops (the others) are laid out as chains; closed from both ends of their
// closing pair (D. melanogaster 16S domain 2) and keeping a cone below it free (S. aureus
// 23S domain 1). Short enough for the sanitizers.
TEST(DrawingLarge, LoopsLaidOutAsChainsAreCompact) {
  const std::vector<std::string> names = {"16s_E.coli_domain2", "16s_H.sapiens.mito_domain3",
                                          "23s_B.subtilis_domain5", "16s_D.melanogaster_domain2",
                                          "23s_S.aureus_domain1"};
  size_t seen = 0;
  for (const Record& record : rrna_records()) {
    if (std::find(names.begin(), names.end(), record.name) == names.end()) continue;
    seen++;
    const Measure m = measure(record);
    EXPECT_TRUE(m.compact()) << record.name << ": " << m.faults << " faults, longest step "
                             << m.longest << ", box " << m.box;
  }
  EXPECT_EQ(seen, names.size());
}

}  // namespace
