# Shared by scripts/test (short runs) and scripts/fuzz-long (long runs):
# runs one libFuzzer target of build-fuzz from its kept corpus and reports
# executions, coverage and findings. Source it; needs $root.
#
# fuzz_run TARGET SECONDS WORKDIR [libFuzzer options...]
#   Copies tests/fuzz/corpus/TARGET into WORKDIR/corpus, runs the target
#   there (new inputs stay in WORKDIR/corpus, findings go to
#   WORKDIR/findings) and prints one summary line. Fails when the target
#   crashes, leaks, hits a sanitizer report, times out on an input, or
#   covers fewer edges of the project's code outside the harness than its
#   floor in tests/fuzz/targets.txt.

fuzz_targets() {
  awk '!/^#/ && NF { print $1 }' "$root/tests/fuzz/targets.txt"
}

fuzz_column() { # target column
  awk -v t="$1" -v c="$2" '!/^#/ && $1 == t { print $c }' "$root/tests/fuzz/targets.txt"
}

fuzz_run() {
  local name=$1 seconds=$2 work=$3; shift 3
  local binary="$root/build-fuzz/tests/fuzz/fuzz_$name"
  local corpus="$root/tests/fuzz/corpus/$name"
  local floor dictionary
  floor=$(fuzz_column "$name" 2)
  dictionary=$(fuzz_column "$name" 3)
  if [ -z "$floor" ]; then
    echo "fuzz_$name: not listed in tests/fuzz/targets.txt" >&2
    return 1
  fi
  mkdir -p "$work/corpus" "$work/findings"
  cp -r "$corpus"/. "$work/corpus"/
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$work/findings/")
  [ "$dictionary" != "-" ] && options+=(-dict="$root/tests/fuzz/$dictionary")
  local status=0
  # Fontconfig keeps its caches behind pointers LeakSanitizer cannot see;
  # they are allocated once, not per input.
  LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$binary" "${options[@]}" "$@" "$work/corpus" >"$work/log" 2>&1 || status=$?
  local edges executions total
  edges=$(grep -oE 'cov: [0-9]+' "$work/log" | tail -n 1 | grep -oE '[0-9]+' || echo 0)
  executions=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$work/log" | grep -oE '[0-9]+$' || echo 0)
  total=$(grep -oE '\([0-9]+ inline' "$work/log" | grep -oE '[0-9]+' | head -n 1 || echo 0)
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$name: FAILED (exit $status); the end of its log:" >&2
    grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse)' "$work/log" | tail -n 40 >&2
    ls "$work/findings" >&2
    return 1
  fi
  # The edges of the project's own code outside the harness, from the
  # corpus the run ended with: what the floor holds the target to.
  # The replay runs every kept input once more, in a fresh process: an
  # input whose fault depends on the memory around it can fail here even
  # though the run passed.
  local library replay=0
  LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0" \
    "$binary" -runs=0 -print_coverage=1 -rss_limit_mb=2048 -timeout=10 "$work/corpus" >"$work/replay.log" 2>&1 ||
    replay=$?
  if [ "$replay" -ne 0 ]; then
    echo "fuzz_$name: FAILED, replaying the corpus ended with status $replay; the end of its log:" >&2
    grep -v -E '^(UN)?COVERED_FUNC' "$work/replay.log" | tail -n 40 >&2
    return 1
  fi
  library=$(awk -v root="$root/" '
      /^COVERED_FUNC/ {
        file = $NF; sub(/:[0-9]+$/, "", file)
        if (index(file, root) == 1 && index(file, root "tests/fuzz/") != 1) { split($5, e, "/"); sum += e[1] }
      }
      END { print sum + 0 }' "$work/replay.log")
  printf 'fuzz_%-14s %10s executions  %6s edges covered, %6s of them in the libraries (floor %s; %s instrumented)\n' \
    "$name" "$executions" "$edges" "$library" "$floor" "$total"
  if [ "$library" -lt "$floor" ]; then
    echo "fuzz_$name: FAILED, $library library edges covered, below the floor of $floor" >&2
    return 1
  fi
}
