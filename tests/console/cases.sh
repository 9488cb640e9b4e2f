# The case machinery of the console and pack suites, which source it. The console suites define
# fresh NAME (a new case: its folder D, copies of the media and installation, ANSWERS, MEDIA) and
# run ARGS... (the wizard on the case, its output in $D/out, its exit status in status).
failures=0
HERE=$PWD
# A wizard that loops writing its output stops at 100 MB instead of filling the disk.
ulimit -f 102400

fail() {
  echo "FAIL [$CASE]: $*"
  failures=$((failures + 1))
}
expect_status() {
  if [ "$status" != "$1" ]; then
    fail "exit status $status, expected $1"
    sed 's/^/    | /' "$D/out"
  fi
}
# run_expect STATUS ARGS...: run, then the exit status must be STATUS.
run_expect() {
  local want=$1
  shift
  run "$@"
  expect_status "$want"
}
output_has() { grep -qF -- "$1" "$D/out" || fail "the output lacks: $1"; }
output_lacks() { ! grep -qF -- "$1" "$D/out" || fail "the output has: $1"; }
# The lines the scripted person types, for the wizard's standard input.
answers() { [ ${#ANSWERS[@]} -gt 0 ] && printf '%s\n' "${ANSWERS[@]}"; }

# One run a line on standard input: NAME|SETUP|ANSWERS|ARGS|STATUS|CHECKS. SETUP runs in the
# case's folder (it may set MEDIA), ANSWERS are the lines typed, ARGS the wizard's arguments; the
# run must end with STATUS, then CHECKS run.
run_table() {
  local name setup answers args want checks
  while IFS='|' read -r name setup answers args want checks; do
    fresh "$name"
    cd "$D" && eval "$setup"
    cd "$HERE" || exit 1
    eval "ANSWERS=($answers)"
    eval "run $args"
    expect_status "$want"
    eval "$checks"
  done
}

# The last line of a suite: its status says whether every case passed.
finish() {
  [ "$failures" = 0 ] && echo "$1: all passed" && exit 0
  echo "$1: $failures failures"
  exit 1
}
