#!/bin/sh
# Runs each fuzz target of the fuzzing executable for FUZZ_SECONDS seconds (60 by default), from
# its checked-in corpus (fuzz/corpus/NAME/) and a working corpus beside the executable, where the
# inputs it finds go. A crash, a leak, an input that runs longer than FUZZ_TIMEOUT seconds (5), one
# allocation above the readers' budget (320 MB) or a process above 2 GB is written to
# fuzz/crashes/NAME/, which the replay test of make test then runs. A target with a dictionary of
# its words (fuzz/dictionaries/NAME.dict) gets it. Prints the executions of each target and fails
# when any target found something. Targets run one after another.
#
# Usage: run_fuzzers.sh VX_FUZZ [TARGET...]
set -u

[ $# -ge 1 ] || { echo "usage: run_fuzzers.sh VX_FUZZ [TARGET...]" >&2; exit 2; }
fuzzer=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-5}
work=$(cd "$(dirname "$fuzzer")" && pwd)/corpus
targets=${*:-$(VX_FUZZ_TARGET=list "$fuzzer")}

# The longest input of a target: the model readers are kept on small files, at hundreds to thousands
# of inputs a second, instead of growing inputs towards the largest seed. 0 leaves it to libFuzzer.
max_len() {
  case $1 in
    x_model | x_animation | x_compressed | static_world) echo 4096 ;;
    three_ds) echo 8192 ;;
    *) echo 0 ;;
  esac
}

summary=""
failed=0
for target in $targets; do
  mkdir -p "$work/$target" "$here/crashes/$target"
  log="$work/$target.log"
  dictionary=""
  [ -f "$here/dictionaries/$target.dict" ] && dictionary="-dict=$here/dictionaries/$target.dict"
  VX_FUZZ_TARGET=$target SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$fuzzer" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -rss_limit_mb=2048 -malloc_limit_mb=320 \
    -timeout="$timeout" -print_final_stats=1 $dictionary \
    -artifact_prefix="$here/crashes/$target/" "$work/$target" "$here/corpus/$target" > "$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -eq 0 ]; then
    line="$target: ${runs:-0} executions, nothing found"
  else
    failed=1
    line="$target: FOUND a fault after ${runs:-?} executions (see $log and fuzz/crashes/$target/)"
  fi
  echo "$line"
  summary="$summary$line
"
done
printf '\n%s' "$summary"
exit $failed
