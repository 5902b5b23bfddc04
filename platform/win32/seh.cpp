// The structured exception guard on signals. Built without sanitizer
// instrumentation: it runs in signal handlers and jumps across frames.
#include "platform/win32/seh.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>

#include <cstring>

#include "platform/win32/win32.h"

extern "C" void __asan_handle_no_return() __attribute__((weak));

namespace {

struct Guard {
  sigjmp_buf jump;
  SehFilter filter;
  void* ctx;
  Guard* outer;
};

thread_local Guard* t_top = nullptr;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
struct sigaction g_previous[4];
bool g_havePrevious = false;

int IndexOf(int sig) {
  for (int i = 0; i < 4; ++i) {
    if (kSignals[i] == sig) return i;
  }
  return -1;
}

// Returning from the handler with this in place re-runs the faulting
// instruction, which then ends the process as it would have without us.
void GiveUp(int sig, siginfo_t* info) {
  int i = IndexOf(sig);
  const struct sigaction* previous = i >= 0 && g_havePrevious ? &g_previous[i] : nullptr;
  bool handled = previous && ((previous->sa_flags & SA_SIGINFO)
                                  ? previous->sa_sigaction != nullptr
                                  : previous->sa_handler != SIG_DFL && previous->sa_handler != SIG_IGN);
  if (handled) {
    sigaction(sig, previous, nullptr);
  } else {
    signal(sig, SIG_DFL);
  }
  if (info->si_code <= 0) raise(sig);  // sent, not raised by an instruction
}

DWORD CodeOf(int sig, const siginfo_t* info, ULONG_PTR faultAddress) {
  switch (sig) {
    case SIGSEGV: {
      ULONG_PTR low = 0, high = 0;
      GetCurrentThreadStackLimits(&low, &high);
      // Below the stack's lowest page: the stack ran out.
      if (low && faultAddress < low + 4096 && faultAddress + (1u << 20) >= low) return EXCEPTION_STACK_OVERFLOW;
      return EXCEPTION_ACCESS_VIOLATION;
    }
    case SIGBUS:
      return info->si_code == BUS_ADRALN ? 0x80000002u : EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
      return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION
                                                                         : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTINV: return EXCEPTION_FLT_INVALID_OPERATION;
        case FPE_FLTSUB: return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default: return EXCEPTION_INT_DIVIDE_BY_ZERO;
      }
    default:
      return EXCEPTION_ILLEGAL_INSTRUCTION;
  }
}

void FillContext(const ucontext_t* uc, CONTEXT* c) {
  std::memset(c, 0, sizeof *c);
  c->ContextFlags = 0x10007;  // control, integer and segment registers
#if defined(__x86_64__)
  const greg_t* g = uc->uc_mcontext.gregs;
  auto low = [](greg_t v) { return static_cast<DWORD>(static_cast<uint64_t>(v)); };
  c->Eax = low(g[REG_RAX]);
  c->Ebx = low(g[REG_RBX]);
  c->Ecx = low(g[REG_RCX]);
  c->Edx = low(g[REG_RDX]);
  c->Esi = low(g[REG_RSI]);
  c->Edi = low(g[REG_RDI]);
  c->Ebp = low(g[REG_RBP]);
  c->Esp = low(g[REG_RSP]);
  c->Eip = low(g[REG_RIP]);
  c->EFlags = low(g[REG_EFL]);
  uint64_t segments = static_cast<uint64_t>(g[REG_CSGSFS]);  // cs, gs, fs, ss in 16-bit parts
  c->SegCs = segments & 0xFFFF;
  c->SegGs = (segments >> 16) & 0xFFFF;
  c->SegFs = (segments >> 32) & 0xFFFF;
  c->SegSs = (segments >> 48) & 0xFFFF;
  uint16_t ds = 0, es = 0;
  asm volatile("movw %%ds, %0" : "=r"(ds));
  asm volatile("movw %%es, %0" : "=r"(es));
  c->SegDs = ds;
  c->SegEs = es;
  c->Rip = static_cast<DWORD64>(g[REG_RIP]);
  c->Rsp = static_cast<DWORD64>(g[REG_RSP]);
  c->Rbp = static_cast<DWORD64>(g[REG_RBP]);
#else
  (void)uc;
#endif
}

void OnFault(int sig, siginfo_t* info, void* context) {
  Guard* top = t_top;
  if (!top) {
    GiveUp(sig, info);
    return;
  }
  const auto* uc = static_cast<const ucontext_t*>(context);
  CONTEXT ctx;
  FillContext(uc, &ctx);
  EXCEPTION_RECORD record;
  std::memset(&record, 0, sizeof record);
  ULONG_PTR faultAddress = reinterpret_cast<ULONG_PTR>(info->si_addr);
  record.ExceptionCode = CodeOf(sig, info, faultAddress);
  record.ExceptionAddress = reinterpret_cast<PVOID>(ctx.Rip);
  if (sig == SIGSEGV || sig == SIGBUS) {
    ULONG_PTR access = 0;
#if defined(__x86_64__)
    // Page-fault error code: bit 1 a write, bit 4 an instruction fetch.
    auto error = static_cast<uint64_t>(uc->uc_mcontext.gregs[REG_ERR]);
    access = (error & 0x10) ? 8 : (error & 0x2) ? 1 : 0;
#endif
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = access;
    record.ExceptionInformation[1] = faultAddress;
  }
  EXCEPTION_POINTERS pointers{&record, &ctx};
  for (Guard* g = top; g; g = g->outer) {
    t_top = g->outer;  // a guard inside the filter nests outside this one
    LONG verdict = g->filter ? g->filter(&pointers, g->ctx) : EXCEPTION_EXECUTE_HANDLER;
    if (verdict == EXCEPTION_EXECUTE_HANDLER) {
      t_top = g;
      siglongjmp(g->jump, 1);
    }
  }
  t_top = top;
  GiveUp(sig, info);
}

void EnsureAltStack() {
  constexpr size_t kSize = 1u << 20;  // the filter formats and writes files on it
  stack_t current;
  if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size >= kSize) {
    return;
  }
  void* memory = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (memory == MAP_FAILED) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kSize;
  if (sigaltstack(&stack, nullptr) != 0) munmap(memory, kSize);
}

void EnsureHandlers() {
  for (int i = 0; i < 4; ++i) {
    struct sigaction now;
    sigaction(kSignals[i], nullptr, &now);
    if ((now.sa_flags & SA_SIGINFO) && now.sa_sigaction == OnFault) continue;
    struct sigaction mine;
    std::memset(&mine, 0, sizeof mine);
    mine.sa_sigaction = OnFault;
    mine.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&mine.sa_mask);
    sigaction(kSignals[i], &mine, &g_previous[i]);
  }
  g_havePrevious = true;
}

}  // namespace

int SehGuard(SehBody body, void* arg, SehFilter filter, SehHandler handler, void* ctx) {
  EnsureAltStack();
  EnsureHandlers();
  GetCurrentThreadStackLimits(nullptr, nullptr);  // cached now, read later in the handler
  Guard guard;
  guard.filter = filter;
  guard.ctx = ctx;
  guard.outer = t_top;
  if (sigsetjmp(guard.jump, 1) == 0) {
    t_top = &guard;
    int result = body(arg);
    t_top = guard.outer;
    return result;
  }
  // Back from the handler's jump: the frames below are abandoned.
  t_top = guard.outer;
  if (__asan_handle_no_return) __asan_handle_no_return();
  return handler ? handler(ctx) : -1;
}
