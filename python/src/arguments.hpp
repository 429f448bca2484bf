// Argument errors that name the function the user called, as Python's own functions do
// ("fold(): dangles must be 0, 1, 2 or 3"), and the iterables the batches take.
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace stemloop_python {

// A bad argument: raised as TypeError or ValueError, led by the name of the function the
// user called, by the binding that named() wraps.
class ArgumentError : public std::invalid_argument {
 public:
  enum Kind { kType, kValue };
  ArgumentError(Kind kind, const std::string& what) : std::invalid_argument(what), kind_(kind) {}
  [[noreturn]] void raise(const char* function) const {
    const std::string text = std::string(function) + "(): " + what();
    if (kind_ == kType) throw pybind11::type_error(text);
    throw pybind11::value_error(text);
  }

 private:
  Kind kind_;
};

[[noreturn]] inline void bad_value(const std::string& what) {
  throw ArgumentError(ArgumentError::kValue, what);
}
[[noreturn]] inline void bad_type(const std::string& what) {
  throw ArgumentError(ArgumentError::kType, what);
}

// `f` as the binding of the function `name`: its argument errors name it.
template <class R, class... Args>
auto named(const char* name, R (*f)(Args...)) {
  return [name, f](Args... args) -> R {
    try {
      return f(std::forward<Args>(args)...);
    } catch (const ArgumentError& e) {
      e.raise(name);
    }
  };
}

// The Python type name of `value`, for messages such as "must be int, not str".
inline std::string type_name(const pybind11::handle& value) {
  return pybind11::str(pybind11::type::handle_of(value).attr("__name__"));
}

// Collects the strings of any iterable (a list, a generator, ...) but a lone str or
// bytes; returns what is wrong with `items`, such as "must hold str, not int (item 3)",
// or an empty string.
std::string collect_strings(const pybind11::handle& items, std::vector<std::string>& strings);

// The strings of `items`; `what` names the argument in the error.
std::vector<std::string> strings_of(const pybind11::handle& items, const char* what);

// An argument that takes any iterable of str. A value of another kind converts all the
// same, so that the function, through named(), raises the TypeError with its own name.
class Strings {
 public:
  const std::vector<std::string>& of(const char* what) const {
    if (!wrong_.empty()) bad_type(std::string(what) + " " + wrong_);
    return items_;
  }
  void load(const pybind11::handle& items) { wrong_ = collect_strings(items, items_); }

 private:
  std::vector<std::string> items_;
  std::string wrong_;
};

}  // namespace stemloop_python

namespace pybind11::detail {

template <>
struct type_caster<stemloop_python::Strings> {
  PYBIND11_TYPE_CASTER(stemloop_python::Strings, const_name("Iterable[str]"));
  bool load(handle source, bool) {
    value.load(source);
    return true;
  }
};

}  // namespace pybind11::detail
