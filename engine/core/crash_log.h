#pragma once

#include "platform/win32/seh.h"

// The filter of the program entry's exception guard: writes "exception.log"
// beside the program (the fault, the registers, the bytes at the
// instruction pointer, a stack dump and the loaded modules). Returns
// EXCEPTION_EXECUTE_HANDLER after writing it; EXCEPTION_CONTINUE_SEARCH when
// it has run before in this process or the file cannot be created.
LONG TarvelExceptionFilter(EXCEPTION_POINTERS* pointers, const char* threadName);

// The name of an exception code as the crash log writes it
// ("an Access Violation"); "Unknown exception type" for an unlisted code.
const char* ExceptionName(DWORD code);
