// The classic layer's one bridge from engine exceptions to the fatal-error exit.
#pragma once

#include <new>

#include "stemloop/error.hpp"
#include "stemloop/stemloop.h"

namespace stemloop::classic {

// Runs engine code for a classic entry point: an Error ends the process through nrerror
// with its message; running out of memory ends it as space() would.
template <class F>
auto guarded(F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Error& e) {
    nrerror(e.what());
  } catch (const std::bad_alloc&) {
    nrerror("SPACE allocation failure -> no memory");
  }
}

}  // namespace stemloop::classic
