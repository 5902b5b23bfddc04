#include <cstdlib>

#include "engine/core/crash_log.h"
#include "engine/core/fatal.h"
#include "engine/core/tarvel.h"
#include "platform/win32/seh.h"
#include "platform/win32/win32.h"

namespace {

struct StartArguments {
    HINSTANCE instance;
    HINSTANCE previous;
    LPSTR commandLine;
    int showMode;
};

int StartEngine(void* arg)
{
    auto* a = static_cast<StartArguments*>(arg);
    return gTarvel.Start(a->instance, a->previous, a->commandLine, a->showMode);
}

LONG MainThreadFilter(EXCEPTION_POINTERS* pointers, void*)
{
    return TarvelExceptionFilter(pointers, "main thread");
}

int CrashHandler(void*)
{
    ShowCursor(TRUE);
    ShowWindow(gMainWindow, SW_MINIMIZE);
    ShowCrashReport("Crash.");
    // A crash is a failure: the process ends with 1, not 0.
    std::exit(1);
}

} // namespace

int TarvelMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showMode)
{
    StartArguments arguments{instance, previous, commandLine, showMode};
    return SehGuard(StartEngine, &arguments, MainThreadFilter, CrashHandler, nullptr);
}
