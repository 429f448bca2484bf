// Reading a constraint string, character by character from the 5' end.
#include "model/constraint_marks.hpp"

#include <cstring>

#include "stemloop/error.hpp"

namespace stemloop {

ConstraintMarks::ConstraintMarks(int n)
    : no_left(static_cast<size_t>(n) + 2, 0),
      no_right(no_left),
      bar(no_left),
      partner(static_cast<size_t>(n) + 2, 0),
      region(partner) {}

ConstraintMarks read_constraint(int n, const char* constraint) {
  ConstraintMarks marks(n);
  const int length = constraint ? static_cast<int>(std::strlen(constraint)) : 0;
  const int last = length < n ? length : n;
  std::vector<int> open;
  for (int i = 1; i <= last; i++) {
    const size_t k = static_cast<size_t>(i);
    marks.region[k] = open.empty() ? 0 : open.back();
    switch (constraint[i - 1]) {
      case '(':
        open.push_back(i);
        break;
      case ')':
        if (open.empty())
          throw Error("unbalanced brackets in constraints", i, Error::Kind::UnbalancedBrackets);
        marks.forced.emplace_back(open.back(), i);
        marks.partner[k] = open.back();
        marks.partner[static_cast<size_t>(open.back())] = i;
        open.pop_back();
        break;
      case '<':
        marks.no_left[k] = 1;
        break;
      case '>':
        marks.no_right[k] = 1;
        break;
      case 'x':
        marks.no_left[k] = marks.no_right[k] = 1;
        break;
      case '|':
        marks.bar[k] = 1;
        break;
      default:
        continue;
    }
    marks.any = true;
  }
  if (!open.empty())
    throw Error("unbalanced brackets in constraint string", open.back(),
                Error::Kind::UnbalancedBrackets);
  return marks;
}

}  // namespace stemloop
