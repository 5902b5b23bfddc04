#!/usr/bin/env bash
# Checks cmake/test_launcher.sh: a passed run whose only failure is the leak
# checker's tracer crash runs once more; a leak, a failed test or a tracer
# crash that repeats still fails.
set -u
launcher="$(dirname "$0")/test_launcher.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# fake <first-run-stderr> <stdout>: fails once with that stderr, then passes.
cat >"$work/fake" <<'FAKE'
#!/usr/bin/env bash
printf '%b' "$FAKE_OUT"
if [ ! -e "$FAKE_STATE" ] || [ -n "${FAKE_ALWAYS:-}" ]; then
  touch "$FAKE_STATE"
  printf '%b' "$FAKE_ERR" >&2
  exit 1
fi
exit 0
FAKE
chmod +x "$work/fake"

tracer='Tracer caught signal 11: addr=0x0 pc=0x0 sp=0x0\n==1==LeakSanitizer has encountered a fatal error.\n'
passed='[==========] 1 test ran.\n[  PASSED  ] 1 test.\n'
check() {  # name expected-rc expected-runs err out [always]
  local name=$1 want=$2 runs=$3
  rm -f "$work/state"
  FAKE_ERR=$4 FAKE_OUT=$5 FAKE_STATE="$work/state" FAKE_ALWAYS=${6:-} "$launcher" "$work/fake" \
    >"$work/out" 2>"$work/err"
  local rc=$? seen
  seen=$(grep -c 'running once more' "$work/err")
  if [ $rc -ne "$want" ] || [ "$seen" -ne $((runs - 1)) ]; then
    echo "FAIL $name: exit $rc (want $want), reruns $seen (want $((runs - 1)))"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check "tracer crash after a pass runs again" 0 2 "$tracer" "$passed"
check "tracer crash in a program without test output runs again" 0 2 "$tracer" "replayed 3 inputs\n"
check "tracer crash every time fails" 1 2 "$tracer" "$passed" always
check "a leak beside the crash fails at once" 1 1 "${tracer}ERROR: LeakSanitizer: detected memory leaks\n" "$passed"
check "a failed test beside the crash fails at once" 1 1 "$tracer" '[==========] 1 test ran.\n[  FAILED  ] 1 test.\n'
check "a sanitizer error beside the crash fails at once" 1 1 "${tracer}x.cpp:1: runtime error: overflow\n" "$passed"
check "any other failure fails at once" 1 1 "boom\n" "$passed"
exit $((failures > 0))
