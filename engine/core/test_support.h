#pragma once

// Test support for everything that runs on the engine's global object.
//
// Derive a test from EngineTest (TEST_F(MyTest, ...) with
// `class MyTest : public EngineTest {};`). Each test then gets:
//   - a fresh temporary folder with "work/" as the working folder and
//     "root/" as the platform root (registry hives, drives), both removed
//     after the test;
//   - the platform layer reset, the test clock taken at kClockStart ms and
//     the Direct3D layer's cooperative level at D3D_OK;
//   - gTarvel shut down, destroyed and built afresh in place (after the
//     clock was taken, so its timer starts on the test clock), and again
//     after the test;
//   - standard output (the engine log) captured into "work/tarvel.log";
//     Log() returns what was logged so far. When a test fails, the log is
//     printed after it.
//
// Fatal errors: CatchFatalError(action) runs action with the reporter's
// hook installed and returns the text the reporter logged; the test fails
// when no fatal error is reported. The process does not end.
//
// Child processes: RunChild(options) runs a program (for instance
// tarvel30x, or a test's own helper program) in a folder with the same
// platform root, waits for it to end (or ends it once its log contains a
// text, or after a time limit) and returns its exit code or signal, its log
// and its standard output and error. With copyProgram set, the program is
// first copied into the folder (files it writes beside itself stay
// there); its shared libraries are still found in the build folder.
//
// RunInChild(body) forks the test process: the child runs body on the
// engine as the test set it up and ends through exit() with body's result,
// so the exit handlers and static destructors run as at the end of the
// program. The parent waits and gets the exit code (or signal) and
// "work/tarvel.log". Use it for cTarvel::Start or cTarvel::Run whole.
//
// InitEngine() creates the main window and runs cTarvel::Init as start-up
// does, without reopening the log or registering the exit handler. When the
// working folder holds no archive, WriteMinimalArchive makes one first.
//
// WriteMinimalArchive(folder) writes an archive with empty language volumes
// for languages 1, 7 and 9 and a "resource.map" that lists only what start-up
// reads, enough for the engine to start. A test that writes its own archive
// adds that with AddStartupEntries(writer): a shader library with every
// named effect, the splash picture "start", the interface pictures and a
// "project" resource (left out on request) in data volume 1.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace testkit {
class ArchiveWriter;
}

struct ChildOptions {
    std::filesystem::path program;
    std::vector<std::string> args;
    // The working folder; the test's working folder when empty.
    std::filesystem::path workDir;
    std::vector<std::pair<std::string, std::string>> env;
    bool copyProgram = false;
    // End the child (SIGTERM) once its "tarvel.log" contains this text.
    std::string endWhenLogContains;
    int timeoutMs = 30000;
};

struct ChildResult {
    bool exited = false;      // ended by itself through exit or main
    int exitCode = -1;        // when exited
    int signal = 0;           // the signal that ended it, else 0
    bool endedByTest = false; // ended because of endWhenLogContains or the time limit
    std::string log;          // its "tarvel.log"
    std::string out;
    std::string err;
};

class EngineTest : public ::testing::Test {
protected:
    static constexpr uint32_t kClockStart = 100000;

    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& TempDir() const { return mTemp; }
    const std::filesystem::path& WorkDir() const { return mWork; }
    const std::filesystem::path& RootDir() const { return mRoot; }

    // Shuts gTarvel down (deleting the scenes and actors it holds),
    // destroys it and builds it again in place.
    static void RebuildEngine();
    // What the engine logged since the test began.
    std::string Log();
    std::string CatchFatalError(const std::function<void()>& action);
    ChildResult RunChild(const ChildOptions& options);
    ChildResult RunInChild(const std::function<int()>& body, int timeoutMs = 30000);
    void InitEngine();
    static void WriteMinimalArchive(const std::filesystem::path& folder, bool withProject = true);
    static void AddStartupEntries(testkit::ArchiveWriter& writer, bool withProject = true);
    // A "project" resource named "test", build "1", whose "Main" script's
    // Init and Start return.
    static void AddProject(testkit::ArchiveWriter& writer);

private:
    std::filesystem::path mTemp;
    std::filesystem::path mWork;
    std::filesystem::path mRoot;
    std::filesystem::path mOldCwd;
    int mSavedStdout = -1;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
