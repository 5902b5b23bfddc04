#pragma once
// For entry points that run engine code: a fatal error reported while
// `action` runs comes back here as a refusal instead of ending the process,
// so a clean refusal of bad input is not counted as a crash. Entry points
// that use it link the engine.

#include "engine/core/fatal.h"

namespace fuzz {

struct FatalErrorRaised {};

[[noreturn]] inline void ThrowFatalError(const char*)
{
    throw FatalErrorRaised{};
}

// True when `action` ran to its end, false when it reported a fatal error.
template <class Action>
bool RunGuarded(Action&& action)
{
    SetFatalErrorHook(ThrowFatalError);
    bool finished = true;
    try {
        action();
    } catch (const FatalErrorRaised&) {
        finished = false;
    }
    SetFatalErrorHook(nullptr);
    return finished;
}

}  // namespace fuzz
