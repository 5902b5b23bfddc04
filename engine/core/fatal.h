#pragma once

// The fatal-error reporter and the crash log of the program entry.

#include "platform/win32/windows_types.h"

// Under a fuzz entry point or a test, the reporter hands its text to this
// hook after logging instead of ending the process. The hook must not return
// (it throws or jumps back to its caller); if it does, the process ends.
using tFatalErrorHook = void (*)(const char* text);
void SetFatalErrorHook(tFatalErrorHook hook);

// Title, text and message as the crash-report library shows them; returns
// false when "brdreport.dll" or its export cannot be found.
bool ShowCrashReport(const char* message);
