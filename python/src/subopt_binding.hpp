// What subopt and iter_subopt share: the checked input and the filled tables of one
// sequence, and the band's options.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "python_model.hpp"
#include "stemloop/subopt.hpp"

namespace stemloop_python {

// The filled tables of `sequence`; ValueError with stemloop-fold's message for input it
// refuses or a constraint no structure meets. Needs no GIL.
std::unique_ptr<stemloop::SuboptFolder> subopt_folder(const PythonModel& m,
                                                      const std::string& sequence,
                                                      const std::optional<std::string>& constraint);

// The band within delta kcal/mol, at most max structures; ArgumentError for values out of
// range.
stemloop::BandOptions band_options(double delta, std::optional<long long> max, bool sorted);

}  // namespace stemloop_python
