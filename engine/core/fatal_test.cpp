#include <string>

#include "engine/core/crash_log.h"
#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/dxerr.h"
#include "platform/d3d9/testing.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

class FatalErrorTest : public EngineTest {};

TEST_F(FatalErrorTest, TextOfEveryKind)
{
    const std::string description = DXGetErrorDescriptionA(D3DERR_INVALIDCALL);
    struct Case {
        int kind;
        uint32_t code;
        std::string expected;
    };
    const Case cases[] = {
        {0, 0, "Error in function cTarvelResource::Read\nFile reading failed.\nFile: .\\source\\class_resource, Line: 588"},
        {0, 0x80004005u,
         "Error in function cTarvelResource::Read\nFile reading failed.\nError code: 0x80004005\n"
         "File: .\\source\\class_resource, Line: 588"},
        {1, 0x8876086Cu,
         "Error in function cTarvelResource::Read\nFile reading failed.\nDirect3D Error code: 0x8876086c, "
         "D3DERR_INVALIDCALL\n" + description + "\nFile: .\\source\\class_resource, Line: 588"},
        {2, 0x1234u, "\nFile: .\\source\\class_resource, Line: 588"},
        // A code the error-text service does not know adds no name or description.
        {1, 0x12345678u,
         "Error in function cTarvelResource::Read\nFile reading failed.\nDirect3D Error code: 0x12345678"
         "\nFile: .\\source\\class_resource, Line: 588"},
    };
    for (const Case& c : cases) {
        std::string text = CatchFatalError([&] {
            gTarvel.FatalError(c.kind, ".\\source\\class_resource", 588, "cTarvelResource::Read",
                               "File reading failed.", c.code);
        });
        EXPECT_EQ(text, c.expected) << "kind " << c.kind;
        EXPECT_NE(Log().find("ERROR:\n" + c.expected), std::string::npos);
    }
}

TEST_F(FatalErrorTest, DirectErrorAlwaysHasACode)
{
    std::string text = CatchFatalError(
        [] { gTarvel.FatalError(1, "f", 1, "a::b", "m", 0); });
    EXPECT_EQ(text.rfind("Error in function a::b\nm\nDirect3D Error code: 0x00000000", 0), 0u) << text;
}

TEST_F(FatalErrorTest, ShowsTheCursorAndMinimisesTheWindow)
{
    InitEngine();
    int cursor = pt::CursorCounter();
    CatchFatalError([] { gTarvel.FatalError(0, "f", 1, "a::b", "m", 0); });
    EXPECT_EQ(pt::CursorCounter(), cursor + 1);
    EXPECT_TRUE(pt::GetWindowState(gMainWindow).minimised);
}

TEST(CrashLogTest, ExceptionNames)
{
    EXPECT_STREQ(ExceptionName(0xC0000005u), "an Access Violation");
    EXPECT_STREQ(ExceptionName(0xC000001Du), "an Illegal Instruction");
    EXPECT_STREQ(ExceptionName(0xC0000094u), "an Integer Divide by Zero");
    EXPECT_STREQ(ExceptionName(0x40010005u), "a Control-C");
    EXPECT_STREQ(ExceptionName(0xE06D7363u), "a Microsoft C++ Exception");
    EXPECT_STREQ(ExceptionName(0x12345678u), "Unknown exception type");
}

// ---- The program as a child process ----------------------------------------

class ProgramTest : public EngineTest {
protected:
    ChildResult RunProgram(const std::string& endWhen)
    {
        // The child runs on the real clock, so its frames come.
        pt::ReleaseClock();
        WriteMinimalArchive(WorkDir());
        ChildOptions options;
        options.program = TARVEL30X_PATH;
        options.endWhenLogContains = endWhen;
        options.env = {{"ASAN_OPTIONS", "detect_leaks=0"}};
        return RunChild(options);
    }
};

TEST_F(ProgramTest, StartsUpAndReachesTheMainLoop)
{
    ChildResult child = RunProgram("Initializing gameplay...\n");
    EXPECT_TRUE(child.endedByTest);
    EXPECT_EQ(child.log.rfind("-- Tarvel v3.0 runtime started.\n"
                              "Initializing window...\n"
                              "Initializing Tarvel Engine...\n"
                              "Reading configuration...\n"
                              "Timer period is min ",
                              0),
              0u)
        << child.log;
    size_t at = 0;
    for (const char* line : {"Initializing resources...\n", "Initializing graphics...\n",
                             "Initializing physics...\n", "Initializing shader library...\n",
                             "Initializing sound...\n", "Initializing gameplay...\n"}) {
        size_t next = child.log.find(line, at);
        EXPECT_NE(next, std::string::npos) << line << child.log;
        at = next == std::string::npos ? at : next;
    }
    EXPECT_EQ(child.log.find("ERROR"), std::string::npos);
}

TEST_F(ProgramTest, WindowThatCannotBeCreatedEndsWithMinusOne)
{
    pt::FailCreateWindow(true);
    ChildResult child = RunProgram("");
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 255);
    EXPECT_EQ(child.log,
              "-- Tarvel v3.0 runtime started.\nInitializing window...\nCreateWindowEx failed.\n"
              "Destroying Tarvel object...\nDestroying window...\n-- Shut down successful.\n");
}

TEST_F(ProgramTest, FatalErrorEndsWithOneAndReachesTheCrashReport)
{
    pt::SetCooperativeLevel(D3DERR_INVALIDCALL);
    ChildResult child = RunProgram("");
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 1);
    std::string text = "Error in function cTarvel::Run\nDirect3D device lost.\n"
                       "Direct3D Error code: 0x8876086c, D3DERR_INVALIDCALL\n";
    EXPECT_NE(child.log.find("ERROR:\n" + text), std::string::npos) << child.log;
    // The stand-in crash-report library prints what it was given.
    EXPECT_NE(child.err.find("Kestrelmoor"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find("342"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find(text), std::string::npos) << child.err;
}

} // namespace
