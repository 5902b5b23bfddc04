// The Windows C runtime's behaviour where it differs from glibc's: its random
// generator, its number formatting and its low-level file calls, which take
// Windows paths (mapped as platform/win32/path.h says). Engine code calls
// these, never glibc's functions of the same names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/windows_types.h"

namespace crt {

// ---- Random numbers ------------------------------------------------------
// The runtime's linear congruential generator, one state per thread,
// seeded 1: the first values are 41, 18467, 6334. RAND_MAX is the
// runtime's 32767 wherever this header is included.
#undef RAND_MAX
#define RAND_MAX 0x7FFF
void srand(unsigned int seed);
int rand();

// ---- Number formatting ---------------------------------------------------
// `digits` significant digits; keeps the decimal point ("1." for 1.0,
// "0." for 0.0), switches to an exponent of at least three digits
// ("1.e+020", "5.e-002") when the decimal exponent is below -1 or not below
// `digits`. Infinities and NaNs print as "1.#INF", "-1.#INF", "1.#QNAN",
// "-1.#IND". `digits` is clamped to 1..17; the buffer must hold digits + 9
// characters. Returns `buffer`.
char* _gcvt(double value, int digits, char* buffer);

// ---- Low-level files -------------------------------------------------------
// Files are always binary: _O_TEXT is accepted and does no CR-LF translation.
constexpr int _O_RDONLY = 0x0000;
constexpr int _O_WRONLY = 0x0001;
constexpr int _O_RDWR = 0x0002;
constexpr int _O_APPEND = 0x0008;
constexpr int _O_RANDOM = 0x0010;
constexpr int _O_SEQUENTIAL = 0x0020;
constexpr int _O_CREAT = 0x0100;
constexpr int _O_TRUNC = 0x0200;
constexpr int _O_EXCL = 0x0400;
constexpr int _O_TEXT = 0x4000;
constexpr int _O_BINARY = 0x8000;
constexpr int _S_IWRITE = 0x0080;
constexpr int _S_IREAD = 0x0100;

// On failure these return -1 and set errno (ENOENT, EACCES, EEXIST, EBADF,
// EINVAL: the same numbers as the Windows runtime's).
int _open(const char* path, int flags, int mode = _S_IREAD | _S_IWRITE);
int _close(int fd);
int _read(int fd, void* buffer, unsigned int count);
int _write(int fd, const void* buffer, unsigned int count);
// Offsets are 32-bit, as the runtime's `long`; past 2 GB fails with EINVAL.
// origin: SEEK_SET, SEEK_CUR, SEEK_END (the same values as the runtime's).
LONG _lseek(int fd, LONG offset, int origin);
int64_t _lseeki64(int fd, int64_t offset, int origin);
LONG _tell(int fd);
LONG _filelength(int fd);
int _eof(int fd);
// The Win32 file handle of a runtime descriptor (CreateFileA's kind), or -1
// with EBADF.
intptr_t _get_osfhandle(int fd);
// mode 0 exists, 2 writable, 4 readable, 6 both. 0 or -1 with errno.
int _access(const char* path, int mode);
int remove(const char* path);
int rename(const char* oldPath, const char* newPath);
int _unlink(const char* path);
int _mkdir(const char* path);
// Mode letters as the runtime takes them ("rb", "wt", "a+"); 't' is dropped.
FILE* fopen(const char* path, const char* mode);
FILE* freopen(const char* path, const char* mode, FILE* stream);

// ---- Directory search ------------------------------------------------------
constexpr unsigned _A_NORMAL = 0x00;
constexpr unsigned _A_RDONLY = 0x01;
constexpr unsigned _A_HIDDEN = 0x02;
constexpr unsigned _A_SYSTEM = 0x04;
constexpr unsigned _A_SUBDIR = 0x10;
constexpr unsigned _A_ARCH = 0x20;

struct _finddata_t {
  unsigned attrib;
  int64_t time_create;  // seconds since 1970; no creation time on Linux: last write
  int64_t time_access;
  int64_t time_write;
  uint32_t size;        // the low 32 bits of the size, as the runtime's _fsize_t
  char name[260];
};

// `query` is a folder and a pattern with '*' and '?' ("data\\*.pak"),
// matched case-insensitively against the names in the folder, "." and ".."
// included as Windows lists them. Returns a search handle, or -1 with errno
// ENOENT when nothing matches (EINVAL for a bad argument).
intptr_t _findfirst(const char* query, _finddata_t* data);
// 0, or -1 with errno ENOENT when there is no further match.
int _findnext(intptr_t handle, _finddata_t* data);
int _findclose(intptr_t handle);

}  // namespace crt
