#include "engine/core/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <thread>

#include "engine/core/fatal.h"
#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "platform/d3d9/testing.h"
#include "tools/archive_writer.h"
#include "tools/font_demo.h"
#include "tools/image_writer.h"
#include "tools/project_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace fs = std::filesystem;

namespace {

struct FatalErrorCaught {
    std::string text;
};

[[noreturn]] void ThrowFatalError(const char* text)
{
    throw FatalErrorCaught{text};
}

} // namespace

std::string ReadFileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void EngineTest::SetUp()
{
    std::string pattern = (fs::temp_directory_path() / "tarvel-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mTemp = pattern;
    mWork = mTemp / "work";
    mRoot = mTemp / "root";
    fs::create_directories(mWork);
    fs::create_directories(mRoot);
    mOldCwd = fs::current_path();
    fs::current_path(mWork);

    platform::testing::Reset();
    platform::testing::SetPlatformRoot(mRoot.string());
    platform::testing::TakeClock(kClockStart);
    platform::testing::ResetD3D9();

    std::fflush(stdout);
    mSavedStdout = dup(STDOUT_FILENO);
    ASSERT_NE(std::freopen((mWork / "tarvel.log").c_str(), "w", stdout), nullptr);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    RebuildEngine();
}

void EngineTest::TearDown()
{
    RebuildEngine();
    SetFatalErrorHook(nullptr);
    cTarvelScript::sCallObserver = nullptr;

    std::string log = Log();
    if (mSavedStdout != -1) {
        std::fflush(stdout);
        dup2(mSavedStdout, STDOUT_FILENO);
        close(mSavedStdout);
        mSavedStdout = -1;
        std::clearerr(stdout);
    }
    if (HasFailure())
        std::printf("----- engine log of the failed test -----\n%s\n-----\n", log.c_str());

    platform::testing::Reset();
    std::error_code ignored;
    fs::current_path(mOldCwd, ignored);
    fs::remove_all(mTemp, ignored);
}

void EngineTest::RebuildEngine()
{
    // What the main object owns goes as at the end of a game, so that a
    // test leaves nothing behind.
    if (gTarvel.mPendingScene != gTarvel.mScene)
        delete gTarvel.mPendingScene;
    gTarvel.mPendingScene = nullptr;
    delete gTarvel.mPendingPlayer;
    gTarvel.mPendingPlayer = nullptr;
    gTarvel.Shutdown();
    gTarvel.~cTarvel();
    new (&gTarvel) cTarvel();
    // The script machines' shared variables start again with the engine.
    gSharedSymbols.Clear();
    gEngineRunning = 0;
    gMainWindow = nullptr;
    gInstance = nullptr;
}

std::string EngineTest::Log()
{
    std::fflush(stdout);
    return ReadFileText(mWork / "tarvel.log");
}

std::string EngineTest::CatchFatalError(const std::function<void()>& action)
{
    SetFatalErrorHook(ThrowFatalError);
    std::string text;
    bool caught = false;
    try {
        action();
    } catch (const FatalErrorCaught& fatal) {
        text = fatal.text;
        caught = true;
    }
    SetFatalErrorHook(nullptr);
    EXPECT_TRUE(caught) << "no fatal error was reported";
    return text;
}

void EngineTest::WriteMinimalArchive(const fs::path& folder, bool withProject)
{
    testkit::ArchiveWriter writer;
    for (int language : {1, 7, 9})
        writer.AddLanguage(language);
    writer.AddVolume(1);
    AddStartupEntries(writer, withProject);
    std::string error;
    ASSERT_TRUE(writer.Write(folder, &error)) << error;
}

void EngineTest::AddStartupEntries(testkit::ArchiveWriter& writer, bool withProject)
{
    // The shader library's named effects and the splash picture are not
    // optional: start-up ends with a fatal error without them.
    const testkit::Bytes library = testkit::BuildShaderLibrary("test", 1, testkit::MinimalEngineEffects());
    writer.AddShared(1, "shaderlib", 0, library, true);
    const testkit::Bytes start = testkit::BuildTga(testkit::Picture(8, 8), testkit::TgaOptions());
    writer.AddShared(1, "start", 5, start, true);
    // The interface images and cursors the gameplay start-up loads.
    for (const testkit::NamedResource& resource : testkit::BuildInterfaceResources(false))
        writer.AddShared(1, resource.name, resource.type, resource.data, true);
    if (withProject)
        AddProject(writer);
}

void EngineTest::AddProject(testkit::ArchiveWriter& writer)
{
    // The project record and a "Main" script whose Init and Start return.
    writer.AddShared(1, "project", 0,
                     testkit::BuildProject("test", "1",
                                           AssembleScriptOrThrow("function Main::Init\nret\nfunction Main::Start\nret\n")),
                     true);
}

void EngineTest::InitEngine()
{
    if (!fs::exists(mWork / "resource.map"))
        WriteMinimalArchive(mWork);
    gInstance = GetModuleHandleA(nullptr);
    gTarvel.CreateMainWindow();
    ASSERT_EQ(gTarvel.Init(gMainWindow, gInstance, cTarvelString()), 0);
}

namespace {

// Waits for a child, ending it after the time limit.
void WaitForChild(pid_t pid, int timeoutMs, const std::function<bool()>& endNow, ChildResult& result)
{
    auto start = std::chrono::steady_clock::now();
    int status = 0;
    bool signalled = false;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        auto elapsed = std::chrono::steady_clock::now() - start;
        bool late = elapsed > std::chrono::milliseconds(timeoutMs);
        if (!signalled && (late || endNow())) {
            result.endedByTest = true;
            kill(pid, SIGTERM);
            signalled = true;
        } else if (signalled && elapsed > std::chrono::milliseconds(timeoutMs + 5000)) {
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

} // namespace

ChildResult EngineTest::RunInChild(const std::function<int()>& body, int timeoutMs)
{
    ChildResult result;
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0)
        std::exit(body());
    EXPECT_GT(pid, 0) << "fork failed";
    if (pid <= 0)
        return result;
    WaitForChild(pid, timeoutMs, [] { return false; }, result);
    result.log = Log();
    return result;
}

ChildResult EngineTest::RunChild(const ChildOptions& options)
{
    ChildResult result;
    fs::path dir = options.workDir.empty() ? mWork : options.workDir;
    fs::create_directories(dir);
    fs::path program = options.program;
    std::string libraryPath = program.parent_path().string();
    if (options.copyProgram) {
        fs::path copy = dir / program.filename();
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        program = copy;
    }
    fs::path outPath = dir / "child.out";
    fs::path errPath = dir / "child.err";

    std::vector<std::string> argvText{program.string()};
    argvText.insert(argvText.end(), options.args.begin(), options.args.end());

    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0)
            _exit(127);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(out);
        close(err);
        const char* oldPath = std::getenv("LD_LIBRARY_PATH");
        std::string path = libraryPath + (oldPath ? std::string(":") + oldPath : std::string());
        setenv("LD_LIBRARY_PATH", path.c_str(), 1);
        for (const auto& [key, value] : options.env)
            setenv(key.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (std::string& a : argvText)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    EXPECT_GT(pid, 0) << "fork failed";
    if (pid <= 0)
        return result;

    WaitForChild(pid, options.timeoutMs, [&] {
        return !options.endWhenLogContains.empty() &&
               ReadFileText(dir / "tarvel.log").find(options.endWhenLogContains) != std::string::npos;
    }, result);
    result.log = ReadFileText(dir / "tarvel.log");
    result.out = ReadFileText(outPath);
    result.err = ReadFileText(errPath);
    return result;
}
