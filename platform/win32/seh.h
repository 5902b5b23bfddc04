// Structured exceptions on Linux: the x86 exception record and register
// context as a crash report reads them, and a guard standing in for
// __try/__except.
//
// SehGuard runs body(arg). A fault inside it (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE) is translated to its Windows exception code, and filter(pointers,
// ctx) is called on an alternate signal stack while the faulting stack is
// still intact, as a Windows filter runs before unwinding:
//   EXCEPTION_EXECUTE_HANDLER: control leaves the body (no destructors of
//     its frames run) and SehGuard returns handler(ctx); the handler may exit.
//   EXCEPTION_CONTINUE_SEARCH: the next guard outward is asked; with none
//     left the signal takes its default action and the process dies of it.
//   EXCEPTION_CONTINUE_EXECUTION is treated as EXCEPTION_CONTINUE_SEARCH:
//     the context cannot be changed, so the instruction would fault again.
// Without a fault SehGuard returns body(arg). A fault inside a filter kills
// the process. Guards nest per thread; a fault on a thread with no guard
// gets the signal action that was in place before the first guard.
//
// The filter runs in a signal handler: it may use this layer's calls (files,
// ReadProcessMemory, VirtualQuery, GetModuleFileNameA) but should not expect
// heap state to be consistent if the fault hit the allocator.
//
// Under AddressSanitizer run with ASAN_OPTIONS=handle_segv=0:handle_sigill=0:
// handle_sigfpe=0 so the guard, not the sanitizer, sees the fault.
#pragma once

#include "platform/win32/windows_types.h"

constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005u;
constexpr DWORD EXCEPTION_IN_PAGE_ERROR = 0xC0000006u;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du;
constexpr DWORD EXCEPTION_ARRAY_BOUNDS_EXCEEDED = 0xC000008Cu;
constexpr DWORD EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008Du;
constexpr DWORD EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu;
constexpr DWORD EXCEPTION_FLT_INEXACT_RESULT = 0xC000008Fu;
constexpr DWORD EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u;
constexpr DWORD EXCEPTION_FLT_OVERFLOW = 0xC0000091u;
constexpr DWORD EXCEPTION_FLT_STACK_CHECK = 0xC0000092u;
constexpr DWORD EXCEPTION_FLT_UNDERFLOW = 0xC0000093u;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u;
constexpr DWORD EXCEPTION_INT_OVERFLOW = 0xC0000095u;
constexpr DWORD EXCEPTION_PRIV_INSTRUCTION = 0xC0000096u;
constexpr DWORD EXCEPTION_STACK_OVERFLOW = 0xC00000FDu;

constexpr LONG EXCEPTION_EXECUTE_HANDLER = 1;
constexpr LONG EXCEPTION_CONTINUE_SEARCH = 0;
constexpr LONG EXCEPTION_CONTINUE_EXECUTION = -1;

constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;

// For an access violation (and an in-page error): ExceptionInformation[0]
// is 0 for a read, 1 for a write (from the page-fault error code), 8 for an
// instruction fetch; [1] is the faulting address.
struct EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  EXCEPTION_RECORD* ExceptionRecord;
  PVOID ExceptionAddress;
  DWORD NumberParameters;
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};
using PEXCEPTION_RECORD = EXCEPTION_RECORD*;

// The x86 names hold the low 32 bits of the x86-64 registers; Rip, Rsp and
// Rbp hold the full values so memory at them can be read.
struct CONTEXT {
  DWORD ContextFlags;
  DWORD SegGs, SegFs, SegEs, SegDs;
  DWORD Edi, Esi, Ebx, Edx, Ecx, Eax;
  DWORD Ebp, Eip, SegCs, EFlags, Esp, SegSs;
  DWORD64 Rip, Rsp, Rbp;
};
using PCONTEXT = CONTEXT*;

struct EXCEPTION_POINTERS {
  PEXCEPTION_RECORD ExceptionRecord;
  PCONTEXT ContextRecord;
};
using PEXCEPTION_POINTERS = EXCEPTION_POINTERS*;

using SehBody = int (*)(void* arg);
using SehFilter = LONG (*)(EXCEPTION_POINTERS* pointers, void* ctx);
using SehHandler = int (*)(void* ctx);

int SehGuard(SehBody body, void* arg, SehFilter filter, SehHandler handler, void* ctx);
