// Runs inside a signal handler after a fault: no heap, no stdio, only the
// platform layer's safe calls. Built without sanitizer instrumentation.
#include "engine/core/crash_log.h"

#include <cstring>

#include "platform/win32/win32.h"

namespace {

bool gFilterRan = false;

struct ExceptionNameRow {
    DWORD code;
    const char* name;
};

constexpr ExceptionNameRow kExceptionNames[] = {
    {0x40010005u, "a Control-C"},
    {0x40010008u, "a Control-Break"},
    {0x80000002u, "a Datatype Misalignment"},
    {0x80000003u, "a Breakpoint"},
    {0xC0000005u, "an Access Violation"},
    {0xC0000006u, "an In Page Error"},
    {0xC0000017u, "a No Memory"},
    {0xC000001Du, "an Illegal Instruction"},
    {0xC0000025u, "a Noncontinuable Exception"},
    {0xC0000026u, "an Invalid Disposition"},
    {0xC000008Cu, "a Array Bounds Exceeded"},
    {0xC000008Du, "a Float Denormal Operand"},
    {0xC000008Eu, "a Float Divide by Zero"},
    {0xC000008Fu, "a Float Inexact Result"},
    {0xC0000090u, "a Float Invalid Operation"},
    {0xC0000091u, "a Float Overflow"},
    {0xC0000092u, "a Float Stack Check"},
    {0xC0000093u, "a Float Underflow"},
    {0xC0000094u, "an Integer Divide by Zero"},
    {0xC0000095u, "an Integer Overflow"},
    {0xC0000096u, "a Privileged Instruction"},
    {0xC00000FDu, "a Stack Overflow"},
    {0xC0000142u, "a DLL Initialization Failed"},
    {0xE06D7363u, "a Microsoft C++ Exception"},
};

// The part of a Windows path after its last backslash.
const char* FileNamePart(const char* path)
{
    const char* slash = std::strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

class CrashLogWriter {
public:
    explicit CrashLogWriter(HANDLE file) : mFile(file) {}

    void Write(const char* text)
    {
        DWORD written = 0;
        WriteFile(mFile, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    }

    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        // wvsprintfA writes at most 1024 characters and a NUL.
        char line[2000];
        va_list args;
        va_start(args, format);
        wvsprintfA(line, format, args);
        va_end(args);
        Write(line);
    }

    // The stack dump collects its text and writes it in pieces.
    void Buffer(const char* text)
    {
        size_t n = std::strlen(text);
        if (mUsed + n >= sizeof(mBuffer))
            FlushBuffer();
        std::memcpy(mBuffer + mUsed, text, n);
        mUsed += n;
        mBuffer[mUsed] = '\0';
        if (mUsed > 950)
            FlushBuffer();
    }

    void FlushBuffer()
    {
        if (mUsed > 0) {
            DWORD written = 0;
            WriteFile(mFile, mBuffer, static_cast<DWORD>(mUsed), &written, nullptr);
            mUsed = 0;
        }
    }

private:
    HANDLE mFile;
    char mBuffer[1000] = {};
    size_t mUsed = 0;
};

bool ReadMemory(const void* address, void* out, SIZE_T size)
{
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), address, out, size, &read) && read == size;
}

void WriteCodeBytes(CrashLogWriter& log, DWORD64 rip)
{
    log.Write("Bytes at CS:EIP:\r\n");
    const BYTE* code = reinterpret_cast<const BYTE*>(static_cast<uintptr_t>(rip));
    for (int i = 0; i < 16; ++i) {
        BYTE value = 0;
        if (ReadMemory(code + i, &value, 1))
            log.Print("%02x", value);
        else
            log.Write("?? ");
    }
}

void WriteStackDump(CrashLogWriter& log, DWORD64 rsp)
{
    log.Write("\r\nStack dump:\r\n");
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    uintptr_t top = static_cast<uintptr_t>(rsp);
    uintptr_t end = top + 8192;
    if (high != 0 && high < end)
        end = high;

    char text[32];
    int onLine = 0;
    for (uintptr_t p = top; p + 4 <= end; p += 4) {
        uint32_t word = 0;
        if (!ReadMemory(reinterpret_cast<const void*>(p), &word, sizeof(word))) {
            log.FlushBuffer();
            log.Write("Exception encountered during stack dump.\r\n");
            return;
        }
        if (onLine == 0) {
            wsprintfA(text, "%08x:", static_cast<unsigned>(p & 0xFFFFFFFFu));
            log.Buffer(text);
        }
        ++onLine;
        bool last = p + 8 > end;
        wsprintfA(text, "%08x%s", word, (onLine == 8 || last) ? "\r\n" : " ");
        log.Buffer(text);
        if (onLine == 8)
            onLine = 0;
    }
    log.FlushBuffer();
}

void WriteModuleList(CrashLogWriter& log)
{
    log.Write("\r\nModule list: names, addresses, sizes, time stamps and file times:\r\n");
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof(modules), &needed))
        return;
    DWORD count = needed / sizeof(HMODULE);
    if (count > sizeof(modules) / sizeof(modules[0]))
        count = sizeof(modules) / sizeof(modules[0]);
    for (DWORD i = 0; i < count; ++i) {
        char path[MAX_PATH];
        if (GetModuleFileNameA(modules[i], path, sizeof(path)) == 0)
            continue;
        DWORD size = 0;
        char date[64] = "";
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            size = GetFileSize(file, nullptr);
            if (size == INVALID_FILE_SIZE)
                size = 0;
            FILETIME written{};
            FILETIME local{};
            WORD dosDate = 0;
            WORD dosTime = 0;
            if (GetFileTime(file, nullptr, nullptr, &written) &&
                FileTimeToLocalFileTime(&written, &local) &&
                FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
                wsprintfA(date, " - file date is %d/%d/%d %02d:%02d:%02d", (dosDate >> 5) & 15,
                          dosDate & 31, (dosDate >> 9) + 1980, dosTime >> 11, (dosTime >> 5) & 63,
                          (dosTime & 31) * 2);
            }
            CloseHandle(file);
        }
        // Shared objects carry no link time stamp.
        uintptr_t base = reinterpret_cast<uintptr_t>(modules[i]);
        log.Print("%s, loaded at 0x%08x - %d bytes - %08x%s\r\n", path,
                  static_cast<unsigned>(base & 0xFFFFFFFFu), static_cast<int>(size), 0u, date);
    }
}

} // namespace

const char* ExceptionName(DWORD code)
{
    for (const ExceptionNameRow& row : kExceptionNames) {
        if (row.code == code)
            return row.name;
    }
    return "Unknown exception type";
}

LONG TarvelExceptionFilter(EXCEPTION_POINTERS* pointers, const char* threadName)
{
    if (gFilterRan)
        return EXCEPTION_CONTINUE_SEARCH;
    gFilterRan = true;

    char programPath[MAX_PATH] = "";
    if (GetModuleFileNameA(nullptr, programPath, sizeof(programPath)) == 0)
        programPath[0] = '\0';

    char programName[MAX_PATH] = "Unknown";
    char logPath[MAX_PATH + 16] = "exception.log";
    if (programPath[0] != '\0') {
        const char* name = FileNamePart(programPath);
        std::strcpy(programName, name);
        if (char* dot = std::strrchr(programName, '.'))
            *dot = '\0';
        size_t folder = static_cast<size_t>(name - programPath);
        std::memcpy(logPath, programPath, folder);
        std::strcpy(logPath + folder, "exception.log");
    }

    HANDLE file = CreateFileA(logPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        OutputDebugStringA("Error creating exception report");
        return EXCEPTION_CONTINUE_SEARCH;
    }
    CrashLogWriter log(file);

    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    const CONTEXT* context = pointers->ContextRecord;

    char moduleName[MAX_PATH] = "Unknown";
    MEMORY_BASIC_INFORMATION region{};
    char modulePath[MAX_PATH];
    if (VirtualQuery(reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(context->Rip)), &region,
                     sizeof(region)) != 0 &&
        GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), modulePath,
                           sizeof(modulePath)) != 0)
        std::strcpy(moduleName, FileNamePart(modulePath));

    log.Print("%s caused %s in module %s at %04x:%08x.\r\n", programName,
              ExceptionName(record->ExceptionCode), moduleName, context->SegCs & 0xFFFF,
              context->Eip);
    log.Print("Exception handler called in %s.\r\n", threadName);
    log.Write("Error occurred in ");
    log.Print("%s.\r\n", programPath[0] ? programPath : "Unknown");

    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    log.Print("%d processor(s), type %d.\r\n", static_cast<int>(system.dwNumberOfProcessors),
              static_cast<int>(system.dwProcessorType));
    MEMORYSTATUS memory{};
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatus(&memory);
    log.Print("%d MBytes physical memory.\r\n",
              static_cast<int>((memory.dwTotalPhys + 0xFFFFF) >> 20));

    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        log.Print("%s location %08x caused an access violation.\r\n",
                  record->ExceptionInformation[0] == 0 ? "Read from" : "Write to",
                  static_cast<unsigned>(record->ExceptionInformation[1] & 0xFFFFFFFFu));
    }

    log.Write("\r\n");
    log.Write("Registers:\r\n");
    log.Print("EAX=%08x CS=%04x EIP=%08x EFLGS=%08x\r\n", context->Eax, context->SegCs & 0xFFFF,
              context->Eip, context->EFlags);
    log.Print("EBX=%08x SS=%04x ESP=%08x EBP=%08x\r\n", context->Ebx, context->SegSs & 0xFFFF,
              context->Esp, context->Ebp);
    log.Print("ECX=%08x DS=%04x ESI=%08x FS=%04x\r\n", context->Ecx, context->SegDs & 0xFFFF,
              context->Esi, context->SegFs & 0xFFFF);
    log.Print("EDX=%08x ES=%04x EDI=%08x GS=%04x\r\n", context->Edx, context->SegEs & 0xFFFF,
              context->Edi, context->SegGs & 0xFFFF);

    WriteCodeBytes(log, context->Rip);
    WriteStackDump(log, context->Rsp);
    WriteModuleList(log);

    CloseHandle(file);
    return EXCEPTION_EXECUTE_HANDLER;
}
