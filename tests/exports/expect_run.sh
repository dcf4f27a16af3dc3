#!/usr/bin/env bash
# expect_run.sh [--fails] [--line REGEX]... [--creates FILE] -- COMMAND...
# Runs COMMAND the way a user would and passes when it exits with 0 (with --fails: anything but
# 0), every REGEX (extended) matches a whole line of its output (stdout and stderr together),
# and, with --creates, FILE exists afterwards (it is removed first).
set -uo pipefail
fails=0
lines=()
creates=""
while (($#)); do
  case $1 in
    --fails) fails=1 ;;
    --line) lines+=("$2"); shift ;;
    --creates) creates=$2; shift ;;
    --) shift; break ;;
    *) echo "expect_run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[[ -n $creates ]] && rm -f "$creates"

output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
echo "(exit status $status)"

verdict=0
if ((fails && status == 0)); then
  echo "FAIL: it should have failed"
  verdict=1
elif ((!fails && status != 0)); then
  echo "FAIL: it should have succeeded"
  verdict=1
fi
for line in "${lines[@]}"; do
  if ! grep -Eqx -- "$line" <<<"$output"; then
    echo "FAIL: no line matches: $line"
    verdict=1
  fi
done
if [[ -n $creates && ! -e $creates ]]; then
  echo "FAIL: $creates was not written"
  verdict=1
fi
exit $verdict
