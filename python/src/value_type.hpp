// Result classes as Python values: == and hash() by their fields, pickling, and a repr
// that shows the fields as keywords, long strings shortened so a notebook stays readable.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace stemloop_python {

// repr(value), but a str longer than 80 characters shows its first and last 36 around
// an ellipsis.
inline pybind11::str shown(const pybind11::handle& value) {
  if (!pybind11::isinstance<pybind11::str>(value)) return pybind11::repr(value);
  const auto n = static_cast<pybind11::ssize_t>(pybind11::len(value));
  if (n > 80) {
    const pybind11::str text = pybind11::reinterpret_borrow<pybind11::str>(value);
    const pybind11::str head = text[pybind11::slice(0, 36, 1)];
    const pybind11::str tail = text[pybind11::slice(n - 36, n, 1)];
    return pybind11::repr(pybind11::str(std::string(head) + "\u2026" + std::string(tail)));
  }
  return pybind11::repr(value);
}

// "Name(first=..., second=...)" of the fields' values, in the order of `names`.
inline pybind11::str keywords_repr(const char* name, const std::vector<const char*>& names,
                                   const pybind11::tuple& values) {
  std::string text = std::string(name) + "(";
  for (size_t k = 0; k < names.size(); k++) {
    if (k > 0) text += ", ";
    text += std::string(names[k]) + "=" + std::string(shown(values[k]));
  }
  return text + ")";
}

// Gives T == and hash() over the tuple fields(x), pickling of that tuple (make(tuple)
// builds the object again) and, unless `names` is empty, the repr T(name=value, ...).
template <class T, class Fields, class Make>
void as_value(pybind11::class_<T>& cls, const char* name, std::vector<const char*> names,
              Fields fields, Make make) {
  namespace py = pybind11;
  cls.def(
         "__eq__",
         [fields](const T& self, const py::object& other) -> py::object {
           if (!py::isinstance<T>(other))
             return py::reinterpret_borrow<py::object>(Py_NotImplemented);
           return py::bool_(fields(self).equal(fields(other.cast<const T&>())));
         },
         py::is_operator(), "Equal when every field is.")
      .def(
          "__hash__", [fields](const T& self) { return py::hash(fields(self)); },
          "Hash of the fields.")
      .def(py::pickle([fields](const T& self) { return fields(self); }, make));
  if (names.empty()) return;
  cls.def(
      "__repr__",
      [name, names, fields](const T& self) { return keywords_repr(name, names, fields(self)); },
      "The fields, as keywords.");
}

}  // namespace stemloop_python
