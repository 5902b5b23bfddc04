#!/usr/bin/env bash
# Runs one test program for ctest (and its test discovery).
#
# LeakSanitizer stops every thread of a process at exit to scan it, and its
# tracer can itself crash under load ("Tracer caught signal ..."); the process
# then fails having checked nothing. A run whose tests all passed, that hit
# only that crash and reported no leak nor any other sanitizer error, is run
# once more and says so. Every other failure fails at once. A GoogleTest
# program must also have said that its tests passed.
set -u
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

run() {
  "$@" >"$out" 2>"$err"
  local rc=$?
  cat "$out"
  cat "$err" >&2
  return $rc
}

run "$@"
rc=$?
if [ $rc -ne 0 ] &&
   grep -q 'Tracer caught signal' "$err" &&
   grep -q 'LeakSanitizer has encountered a fatal error' "$err" &&
   ! grep -q -e 'detected memory leaks' -e 'ERROR: AddressSanitizer' -e 'runtime error:' "$err" &&
   { ! grep -q '^\[==========\]' "$out" ||
     { grep -q '^\[  PASSED  \]' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; }; }; then
  echo "test_launcher: the leak checker's tracer crashed after every test passed; running once more" >&2
  run "$@"
  rc=$?
fi
exit $rc
