#include "engine/core/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "platform/d3d9/dxerr.h"
#include "platform/win32/win32.h"

namespace {

tFatalErrorHook gFatalErrorHook = nullptr;

using tShowErrorDlg = void (*)(const char* title, const char* text, const char* message);

} // namespace

void SetFatalErrorHook(tFatalErrorHook hook)
{
    gFatalErrorHook = hook;
}

bool ShowCrashReport(const char* message)
{
    cTarvelString libraryName = gTarvel.mProgramFolder + "brdreport.dll";
    HMODULE library = LoadLibraryA(libraryName.c_str());
    if (!library)
        return false;
    // Through void (*)() as any exported function is taken.
    auto show = reinterpret_cast<tShowErrorDlg>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "ShowErrorDlg")));
    if (show)
        show("Kestrelmoor", "342", message);
    FreeLibrary(library);
    return show != nullptr;
}

void ArrayIndexError(int32_t index, int32_t count)
{
    char message[96];
    std::snprintf(message, sizeof(message), "Index %d outside an array of %d elements.", index, count);
    gTarvel.FatalError(0, ".\\source\\tarray", 0, "tArray::At", message, 0);
}

void ArrayAllocError(int32_t capacity)
{
    char message[96];
    std::snprintf(message, sizeof(message), "Memory allocation of %d elements failed.", capacity);
    gTarvel.FatalError(0, ".\\source\\tarray", 0, "tArray::Reserve", message, 0);
}

void cTarvel::FatalError(int kind, const char* file, int line, cTarvelString function,
                         cTarvelString message, uint32_t code)
{
    ShowCursor(TRUE);
    ShowWindow(gMainWindow, SW_MINIMIZE);

    char digits[9];
    std::snprintf(digits, sizeof(digits), "%08x", code);

    cTarvelString text;
    if (kind == 0) {
        text = cTarvelString("Error in function ") + function + "\n" + message;
        if (code != 0)
            text += cTarvelString("\nError code: 0x") + digits;
    } else if (kind == 1) {
        text = cTarvelString("Error in function ") + function + "\n" + message +
               "\nDirect3D Error code: 0x" + digits;
        // The service answers "Unknown" and "n/a" for a code it does not know.
        const char* name = DXGetErrorStringA(static_cast<HRESULT>(code));
        if (name && *name && std::strcmp(name, "Unknown") != 0)
            text += cTarvelString(", ") + name;
        const char* description = DXGetErrorDescriptionA(static_cast<HRESULT>(code));
        if (description && *description && std::strcmp(description, "n/a") != 0)
            text += cTarvelString("\n") + description;
    }
    text += cTarvelString("\nFile: ") + (file ? file : "") + ", Line: " + cTarvelString(line);

    std::printf("ERROR:\n%s", text.c_str());
    std::fflush(stdout);

    if (gFatalErrorHook)
        gFatalErrorHook(text.c_str());

    ShowCrashReport(text.c_str());
    // A fatal error is a failure: the process ends with 1, not 0.
    std::exit(1);
}
