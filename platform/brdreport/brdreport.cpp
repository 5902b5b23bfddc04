// Stand-in for the crash-report dialog: headless, so the report goes to
// standard error.
#include <cstdio>

extern "C" __attribute__((visibility("default"))) void ShowErrorDlg(const char* title,
                                                                    const char* text,
                                                                    const char* message) {
  std::fprintf(stderr, "%s\n%s\n%s\n", title ? title : "", text ? text : "", message ? message : "");
  std::fflush(stderr);
}
