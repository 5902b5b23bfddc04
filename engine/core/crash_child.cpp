// Test helper: starts the engine as tarvel30x does and faults on the main
// thread once the main loop pumps its first messages. The fault comes from
// a window of its own, so no engine code needs a crash switch.
//
//   engine_crash_child <mode>
//     read-protected  read from a PROT_NONE page
//     write-null      write to address 0
//     illegal         execute an illegal instruction
//     divide          integer division by zero
//     twice           an illegal instruction caught by an inner guard that
//                     runs the crash filter, then a read fault in the engine's
//                     guard
#include <sys/mman.h>

#include <cstdint>
#include <cstring>

#include "engine/core/crash_log.h"
#include "engine/core/tarvel.h"
#include "platform/win32/seh.h"
#include "platform/win32/win32.h"

namespace {

const char* gMode = "";
volatile uintptr_t gZero = 0;
volatile int gDivisor = 0;

__attribute__((noinline)) void ReadProtected()
{
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    volatile int value = *static_cast<volatile int*>(page);
    (void)value;
}

__attribute__((noinline)) void WriteNull()
{
    *reinterpret_cast<volatile int*>(gZero) = 1;
}

__attribute__((noinline)) void Illegal()
{
    __builtin_trap();
}

__attribute__((noinline)) void Divide()
{
    volatile int value = 7 / gDivisor;
    (void)value;
}

int InnerBody(void*)
{
    Illegal();
    return 0;
}

LONG InnerFilter(EXCEPTION_POINTERS* pointers, void*)
{
    return TarvelExceptionFilter(pointers, "inner guard");
}

int InnerHandler(void*)
{
    return 0;
}

LRESULT CALLBACK FaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1) {
        if (std::strcmp(gMode, "read-protected") == 0)
            ReadProtected();
        else if (std::strcmp(gMode, "write-null") == 0)
            WriteNull();
        else if (std::strcmp(gMode, "illegal") == 0)
            Illegal();
        else if (std::strcmp(gMode, "divide") == 0)
            Divide();
        else if (std::strcmp(gMode, "twice") == 0) {
            SehGuard(InnerBody, nullptr, InnerFilter, InnerHandler, nullptr);
            ReadProtected();
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        gMode = argv[1];
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = FaultProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "FAULT";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "FAULT", "", 0, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    PostMessageA(window, WM_USER + 1, 0, 0);
    return TarvelMain(instance, nullptr, nullptr, SW_SHOWNORMAL);
}
