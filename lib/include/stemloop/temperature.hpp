// The temperatures a Model accepts. The nearest-neighbour enthalpies and entropies are
// measured in liquid water near 37 degrees Celsius; from somewhat below freezing to
// somewhat above boiling their extrapolation still means something, while far outside
// it the scaled energies lose all meaning and eventually overflow.
#pragma once

#include <string>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

constexpr double kMinTemperature = -50.0;  // degrees Celsius
constexpr double kMaxTemperature = 150.0;

inline bool temperature_in_range(double celsius) {
  return celsius >= kMinTemperature && celsius <= kMaxTemperature;  // false for NaN
}

// The one message for a temperature outside the range.
inline std::string temperature_range_message() {
  return "temperature must be from " + std::to_string(static_cast<int>(kMinTemperature)) + " to " +
         std::to_string(static_cast<int>(kMaxTemperature)) + " degrees Celsius";
}

}  // namespace stemloop
STEMLOOP_API_END
