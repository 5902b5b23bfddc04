// Linked into every test program. At exit the leak checker stops every
// thread of the process to scan it, and its tracer can crash on a thread
// that is still running or exiting then, failing a test that passed. So a
// test program ends every thread it started before it exits; this checks
// it just before the leak checker runs, and names the threads left.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int LiveThreads(std::string* names) {
  names->clear();
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return 1;
  int count = 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    ++count;
    std::string path = std::string("/proc/self/task/") + e->d_name + "/comm";
    if (FILE* f = std::fopen(path.c_str(), "r")) {
      char comm[64] = {};
      if (std::fgets(comm, sizeof comm, f)) {
        comm[std::strcspn(comm, "\n")] = 0;
        *names += std::string(names->empty() ? "" : ", ") + comm + " (" + e->d_name + ")";
      }
      std::fclose(f);
    }
  }
  closedir(dir);
  return count;
}

void CheckOneThreadLeft() {
  std::string names;
  // A thread joined a moment ago can still be listed while the kernel
  // finishes it; wait a little before calling it left running.
  for (int i = 0; i < 100; ++i) {
    if (LiveThreads(&names) <= 1) return;
    usleep(10 * 1000);
  }
  std::fprintf(stderr, "test program: threads still running at exit: %s\n", names.c_str());
  std::fflush(stderr);
  _exit(1);
}

// Registered while the program starts, so it runs after the exit handlers
// registered later (the driver's, the tests' own) and before the leak
// checker's, which the sanitizer runtime registered first of all.
const int registered = std::atexit(CheckOneThreadLeft);

}  // namespace
