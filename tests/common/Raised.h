#pragma once

#include <QString>
#include <functional>

#include "base/RuntimeError.h"

namespace brimlet::testing {

// The error a call raises: its number and detail; number 0 when none.
struct Raised {
    int number = 0;
    QString detail;
};
inline Raised raisedBy(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return {e.number(), e.detail()};
    }
    return {};
}

}  // namespace brimlet::testing
