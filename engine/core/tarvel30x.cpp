// The engine runtime's program entry. The command line is handed on and not
// read: a new game follows from a missing "lastdemo".
#include <string>

#include "engine/core/tarvel.h"
#include "platform/win32/win32.h"

int main(int argc, char** argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    return TarvelMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWNORMAL);
}
