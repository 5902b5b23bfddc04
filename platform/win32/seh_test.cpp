// The guard against real faults, each in a child process run with the
// sanitizers' own fault handling off.
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/seh.h"
#include "platform/win32/seh_test_faults.h"
#include "platform/win32/test_support.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

constexpr const char* kNoSanitizerHandlers = "ASAN_OPTIONS=handle_segv=0:handle_sigill=0:handle_sigfpe=0";

char* g_page = nullptr;

// Prints what the filter saw and what a crash report reads from it.
LONG ReportFilter(EXCEPTION_POINTERS* p, void* ctx) {
  const EXCEPTION_RECORD* r = p->ExceptionRecord;
  const CONTEXT* c = p->ContextRecord;
  unsigned char code[16];
  SIZE_T read = 0;
  BOOL readable = ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(c->Rip), code, sizeof code, &read);
  std::printf("FAULT code=%08x params=%u rw=%lu addr_is_page=%d addr_is_null=%d eip_low=%d readable=%d rsp_in_stack=%d\n",
              r->ExceptionCode, r->NumberParameters, r->NumberParameters ? static_cast<unsigned long>(r->ExceptionInformation[0]) : 99ul,
              r->NumberParameters > 1 && r->ExceptionInformation[1] == reinterpret_cast<ULONG_PTR>(g_page),
              r->NumberParameters > 1 && r->ExceptionInformation[1] == 0,
              c->Eip == static_cast<DWORD>(c->Rip) && r->ExceptionAddress == reinterpret_cast<PVOID>(c->Rip),
              readable && read == sizeof code, [&] {
                ULONG_PTR low, high;
                GetCurrentThreadStackLimits(&low, &high);
                return c->Rsp >= low && c->Rsp < high;
              }());
  std::fflush(stdout);
  return static_cast<LONG>(reinterpret_cast<intptr_t>(ctx));
}

int Exit3(void*) {
  std::printf("HANDLER\n");
  std::fflush(stdout);
  std::_Exit(3);
}

int Faulting(void* arg) {
  std::string kind = static_cast<const char*>(arg);
  if (kind == "read") return seh_test::ReadFrom(g_page);
  if (kind == "write") seh_test::WriteTo(g_page);
  if (kind == "null") seh_test::WriteTo(nullptr);
  if (kind == "ill") seh_test::IllegalInstruction();
  if (kind == "div") return seh_test::DivideByZero();
  if (kind == "overflow") return seh_test::Recurse(0);
  return 0;
}

// Runs only in the child: the fault named by TARVEL_SEH_FAULT, with the
// filter's verdict from TARVEL_SEH_VERDICT.
TEST(SehChild, Fault) {
  const char* kind = std::getenv("TARVEL_SEH_FAULT");
  if (!kind) GTEST_SKIP() << "runs only as a child";
  g_page = static_cast<char*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  intptr_t verdict = std::atoi(std::getenv("TARVEL_SEH_VERDICT"));
  SehGuard(Faulting, const_cast<char*>(kind), ReportFilter, Exit3, reinterpret_cast<void*>(verdict));
  std::printf("NOFAULT\n");
}

struct FaultCase {
  const char* kind;
  const char* code;
  const char* rw;
  bool atPage;
  bool stackIntact = true;
};

TEST(SehTest, GuardTranslatesRealFaults) {
  const FaultCase cases[] = {
      {"read", "c0000005", "rw=0", true},
      {"write", "c0000005", "rw=1", true},
      {"null", "c0000005", "rw=1", false},
      {"ill", "c000001d", "params=0", false},
      {"div", "c0000094", "params=0", false},
      {"overflow", "c00000fd", "params=2", false, false},
  };
  for (const FaultCase& c : cases) {
    pt::ChildResult child = pt::RunSelf("SehChild.Fault", {kNoSanitizerHandlers, std::string("TARVEL_SEH_FAULT=") + c.kind,
                                                           "TARVEL_SEH_VERDICT=1"});
    SCOPED_TRACE(std::string(c.kind) + "\n" + child.output);
    ASSERT_TRUE(WIFEXITED(child.status));
    EXPECT_EQ(WEXITSTATUS(child.status), 3);
    EXPECT_NE(child.output.find(std::string("FAULT code=") + c.code), std::string::npos);
    EXPECT_NE(child.output.find(c.rw), std::string::npos);
    if (c.atPage) {
      EXPECT_NE(child.output.find("addr_is_page=1"), std::string::npos);
    }
    if (std::string(c.kind) == "null") {
      EXPECT_NE(child.output.find("addr_is_null=1"), std::string::npos);
    }
    EXPECT_NE(child.output.find(c.stackIntact ? "eip_low=1 readable=1 rsp_in_stack=1" : "eip_low=1 readable=1"),
              std::string::npos);
    EXPECT_NE(child.output.find("HANDLER"), std::string::npos);
    EXPECT_EQ(child.output.find("NOFAULT"), std::string::npos);
  }
}

TEST(SehTest, ContinueSearchLetsTheSignalEndTheProcess) {
  pt::ChildResult child = pt::RunSelf("SehChild.Fault", {kNoSanitizerHandlers, "TARVEL_SEH_FAULT=write",
                                                         "TARVEL_SEH_VERDICT=0"});
  SCOPED_TRACE(child.output);
  ASSERT_TRUE(WIFSIGNALED(child.status));
  EXPECT_EQ(WTERMSIG(child.status), SIGSEGV);
  EXPECT_NE(child.output.find("FAULT code=c0000005"), std::string::npos);
  EXPECT_EQ(child.output.find("HANDLER"), std::string::npos);
}

// In this process: no fault returns the body's value; a handled fault
// returns the handler's, and a second guard afterwards still works.
int Returns7(void*) { return 7; }
int Returns9(void*) { return 9; }
LONG Execute(EXCEPTION_POINTERS*, void*) { return EXCEPTION_EXECUTE_HANDLER; }

TEST(SehChild, Nested) {
  if (!std::getenv("TARVEL_SEH_NESTED")) GTEST_SKIP() << "runs only as a child";
  g_page = static_cast<char*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  std::printf("plain=%d\n", SehGuard(Returns7, nullptr, Execute, Returns9, nullptr));
  std::printf("first=%d\n", SehGuard(Faulting, const_cast<char*>("read"), Execute, Returns9, nullptr));
  // The inner guard declines; the outer one handles it.
  auto inner = [](void*) -> int {
    return SehGuard(Faulting, const_cast<char*>("div"), [](EXCEPTION_POINTERS*, void*) -> LONG { return 0; },
                    Returns7, nullptr);
  };
  std::printf("outer=%d\n", SehGuard(inner, nullptr, Execute, Returns9, nullptr));
  std::printf("again=%d\n", SehGuard(Faulting, const_cast<char*>("ill"), Execute, Returns9, nullptr));
}

TEST(SehTest, GuardsReturnAndNest) {
  pt::ChildResult child = pt::RunSelf("SehChild.Nested", {kNoSanitizerHandlers, "TARVEL_SEH_NESTED=1"});
  SCOPED_TRACE(child.output);
  ASSERT_TRUE(WIFEXITED(child.status));
  EXPECT_EQ(WEXITSTATUS(child.status), 0);
  EXPECT_NE(child.output.find("plain=7\nfirst=9\nouter=9\nagain=9\n"), std::string::npos);
}

}  // namespace
