// The sample game's walkthrough played whole, as scripts/run plays it: the
// built tarvel30x in a child process on a copy of the game folder, a fresh
// platform root, the test clock (clock.idle), the script trace and
// demo/walkthrough.input as its input, until the game quits by itself.
// The figure is game frames per second of real time; beside it, its limit:
// the 60 frames a second a player sees, so a ratio below 1 plays faster
// than real time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kRealTimeFrameNs = 1e9 / 60.0;

struct Played {
    int code = -1;
    int frames = 0;
    double seconds = 0.0;
};

// One play: tarvel30x of the game folder in a child, in a copy of that
// folder; the engine says at its shutdown how many frames it drew.
Played PlayOnce(const fs::path& folder)
{
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    const fs::path root = folder / "root", game = folder / "game";
    fs::create_directories(root);
    fs::copy(TARVEL_GAME_DIR, game, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    std::ofstream(root / "testing.ini") << "clock=10000\nclock.idle=1\nscript.trace=1\ninput.tarvel30x="
                                        << TARVEL_SOURCE_DIR << "/demo/walkthrough.input\n";
    const std::string program = (game / "tarvel30x").string(), errors = (folder / "stderr.txt").string();
    const std::string rootVariable = "TARVEL_ROOT=" + root.string();
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "TARVEL_ROOT=", 12) != 0)
            environment.push_back(*e);
    environment.push_back(const_cast<char*>(rootVariable.c_str()));
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The engine reads its resources from the working folder.
    posix_spawn_file_actions_addchdir_np(&actions, game.c_str());
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    Played played;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = -1;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return played;
    int status = 0;
    waitpid(child, &status, 0);
    played.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    played.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errors);
    for (std::string line; std::getline(in, line);) {
        int frames = 0;
        if (std::sscanf(line.c_str(), "%d frames drawn", &frames) == 1)
            played.frames = frames;   // the last line is the whole run's
    }
    return played;
}

void BM_WalkthroughRun(benchmark::State& state)
{
    const fs::path folder = fs::temp_directory_path() / ("bench_demo_walkthrough." + std::to_string(getpid()));
    Played played;
    double seconds = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        played = PlayOnce(folder);
        if (played.code != 0 || played.frames <= 0) {
            state.SkipWithError("the walkthrough did not play to its quit");
            break;
        }
        state.SetIterationTime(played.seconds);
        seconds += played.seconds;
        frames += played.frames;
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (frames == 0)
        return;
    state.counters["game_frames"] = double(played.frames);
    state.counters["frames_per_second"] = double(frames) / seconds;
    state.counters["project_ns"] = seconds * 1e9 / double(frames);
    state.counters["baseline_ns"] = kRealTimeFrameNs;
    state.counters["ratio_to_baseline"] = seconds * 1e9 / double(frames) / kRealTimeFrameNs;
}

BENCHMARK(BM_WalkthroughRun)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
