#pragma once

// The message of the Error a piece of code throws, for tests that compare messages.
#include <string>

#include "common/Error.h"

namespace qfip::testing {

template <typename F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace qfip::testing
