#pragma once

#include <exception>
#include <new>
#include <optional>

#include "base/RuntimeError.h"
#include "host/Host.h"

namespace brimlet {

// Runs a handler and hands back the run-time error that escaped it, if any.
// Qt must never see an exception, so every event enters the program here.
template <class Handler>
std::optional<RuntimeError> trapRunTimeError(Handler&& handler) noexcept {
    try {
        handler();
        return std::nullopt;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError::outOfMemory();
    } catch (const std::exception& error) {
        return RuntimeError::internalError(QString::fromLocal8Bit(error.what()));
    }
}

// The one place that shows an error no handler trapped; the program runs on.
void showUntrappedError(Host& host, const RuntimeError& error) noexcept;

template <class Handler>
void runUntrapped(Host& host, Handler&& handler) noexcept {
    if (auto error = trapRunTimeError(std::forward<Handler>(handler))) {
        showUntrappedError(host, *error);
    }
}

}  // namespace brimlet
