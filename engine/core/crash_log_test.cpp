#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <signal.h>

#include "engine/core/test_support.h"
#include "platform/win32/testing.h"

namespace fs = std::filesystem;

namespace {

class CrashTest : public EngineTest {
protected:
    // Runs a copy of the crash child in its own folder.
    ChildResult Crash(const std::string& mode, const fs::path& dir)
    {
        platform::testing::ReleaseClock();
        WriteMinimalArchive(dir);
        ChildOptions options;
        options.program = CRASH_CHILD_PATH;
        options.args = {mode};
        options.workDir = dir;
        options.copyProgram = true;
        options.env = {{"ASAN_OPTIONS", "handle_segv=0:handle_sigill=0:handle_sigfpe=0:detect_leaks=0"}};
        return RunChild(options);
    }
    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "a line without CR LF at " << start;
            if (end == std::string::npos)
                break;
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
};

TEST_F(CrashTest, FaultsAreWrittenToTheCrashLog)
{
    struct Case {
        const char* mode;
        const char* name;
        const char* accessLine;   // null: none
    };
    const Case cases[] = {
        {"read-protected", "an Access Violation", "Read from location "},
        {"write-null", "an Access Violation", "Write to location 00000000 caused an access violation."},
        {"illegal", "an Illegal Instruction", nullptr},
        {"divide", "an Integer Divide by Zero", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::path dir = TempDir() / c.mode;
        ChildResult child = Crash(c.mode, dir);
        EXPECT_TRUE(child.exited);
        EXPECT_EQ(child.exitCode, 1);
        EXPECT_NE(child.err.find("Crash."), std::string::npos) << child.err;

        std::string log = ReadFileText(dir / "exception.log");
        std::vector<std::string> lines = Lines(log);
        ASSERT_GT(lines.size(), 12u) << log;
        std::string first = std::string("engine_crash_child caused ") + c.name +
                            " in module engine_crash_child at ";
        EXPECT_EQ(lines[0].rfind(first, 0), 0u) << lines[0];
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(".* at [0-9a-f]{4}:[0-9a-f]{8}\\."))) << lines[0];
        EXPECT_EQ(lines[1], "Exception handler called in main thread.");
        EXPECT_TRUE(std::regex_match(lines[2], std::regex("Error occurred in Z:\\\\.*\\\\engine_crash_child\\.")))
            << lines[2];
        EXPECT_TRUE(std::regex_match(lines[3], std::regex("\\d+ processor\\(s\\), type \\d+\\."))) << lines[3];
        EXPECT_TRUE(std::regex_match(lines[4], std::regex("\\d+ MBytes physical memory\\."))) << lines[4];
        size_t next = 5;
        if (c.accessLine) {
            EXPECT_EQ(lines[5].rfind(c.accessLine, 0), 0u) << lines[5];
            EXPECT_TRUE(std::regex_match(lines[5], std::regex("(Read from|Write to) location [0-9a-f]{8} caused an access violation\\.")));
            next = 6;
        }
        EXPECT_EQ(lines[next], "");
        EXPECT_EQ(lines[next + 1], "Registers:");
        EXPECT_TRUE(std::regex_match(lines[next + 2], std::regex("EAX=[0-9a-f]{8} CS=[0-9a-f]{4} EIP=[0-9a-f]{8} EFLGS=[0-9a-f]{8}")));
        EXPECT_TRUE(std::regex_match(lines[next + 3], std::regex("EBX=[0-9a-f]{8} SS=[0-9a-f]{4} ESP=[0-9a-f]{8} EBP=[0-9a-f]{8}")));
        EXPECT_TRUE(std::regex_match(lines[next + 4], std::regex("ECX=[0-9a-f]{8} DS=[0-9a-f]{4} ESI=[0-9a-f]{8} FS=[0-9a-f]{4}")));
        EXPECT_TRUE(std::regex_match(lines[next + 5], std::regex("EDX=[0-9a-f]{8} ES=[0-9a-f]{4} EDI=[0-9a-f]{8} GS=[0-9a-f]{4}")));
        EXPECT_EQ(lines[next + 6], "Bytes at CS:EIP:");
        EXPECT_TRUE(std::regex_match(lines[next + 7], std::regex("([0-9a-f]{2}|\\?\\? ){16}"))) << lines[next + 7];
        EXPECT_EQ(lines[next + 8], "Stack dump:");

        size_t i = next + 9;
        int words = 0;
        std::regex stackLine("[0-9a-f]{8}:[0-9a-f]{8}( [0-9a-f]{8}){0,7}");
        while (i < lines.size() && std::regex_match(lines[i], stackLine)) {
            words += 1 + static_cast<int>(std::count(lines[i].begin(), lines[i].end(), ' '));
            ++i;
        }
        EXPECT_GT(words, 0);
        EXPECT_LE(words, 8192 / 4);
        ASSERT_LT(i + 1, lines.size());
        EXPECT_EQ(lines[i], "");
        EXPECT_EQ(lines[i + 1], "Module list: names, addresses, sizes, time stamps and file times:");

        std::regex moduleLine(".+, loaded at 0x[0-9a-f]{8} - \\d+ bytes - 00000000"
                              "( - file date is \\d+/\\d+/\\d{4} \\d{2}:\\d{2}:\\d{2})?");
        bool program = false;
        bool platformLibrary = false;
        for (size_t m = i + 2; m < lines.size(); ++m) {
            EXPECT_TRUE(std::regex_match(lines[m], moduleLine)) << lines[m];
            program |= lines[m].find("\\engine_crash_child, loaded at") != std::string::npos;
            platformLibrary |= lines[m].find("libplatform_win32.so, loaded at") != std::string::npos;
        }
        EXPECT_TRUE(program) << log;
        EXPECT_TRUE(platformLibrary) << log;
        EXPECT_NE(child.log.find("-- Tarvel v3.0 runtime started.\n"), std::string::npos);
    }
}

TEST_F(CrashTest, SecondExceptionWritesNothing)
{
    fs::path dir = TempDir() / "twice";
    ChildResult child = Crash("twice", dir);
    // The second fault is passed on: the process dies of it.
    EXPECT_FALSE(child.exited);
    EXPECT_EQ(child.signal, SIGSEGV);
    std::string log = ReadFileText(dir / "exception.log");
    EXPECT_EQ(log.rfind("engine_crash_child caused an Illegal Instruction", 0), 0u) << log;
    EXPECT_NE(log.find("Exception handler called in inner guard.\r\n"), std::string::npos);
    EXPECT_EQ(log.find("main thread"), std::string::npos);
}

TEST_F(CrashTest, LaterProcessReplacesTheCrashLog)
{
    fs::path dir = TempDir() / "again";
    Crash("illegal", dir);
    ChildResult child = Crash("divide", dir);
    EXPECT_EQ(child.exitCode, 1);
    std::string log = ReadFileText(dir / "exception.log");
    EXPECT_EQ(log.rfind("engine_crash_child caused an Integer Divide by Zero", 0), 0u) << log;
    EXPECT_EQ(log.find("Illegal Instruction"), std::string::npos);
}

} // namespace
