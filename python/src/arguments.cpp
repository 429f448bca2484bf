#include "arguments.hpp"

namespace py = pybind11;

namespace stemloop_python {

std::string collect_strings(const py::handle& items, std::vector<std::string>& strings) {
  if (py::isinstance<py::str>(items) || py::isinstance<py::bytes>(items) ||
      !py::isinstance<py::iterable>(items)) {
    return "must be an iterable of str, not " + type_name(items);
  }
  for (const py::handle item : items) {
    if (!py::isinstance<py::str>(item)) {
      return "must hold str, not " + type_name(item) + " (item " +
             std::to_string(strings.size() + 1) + ")";
    }
    strings.push_back(item.cast<std::string>());
  }
  return {};
}

std::vector<std::string> strings_of(const py::handle& items, const char* what) {
  std::vector<std::string> strings;
  const std::string wrong = collect_strings(items, strings);
  if (!wrong.empty()) bad_type(std::string(what) + " " + wrong);
  return strings;
}

}  // namespace stemloop_python
