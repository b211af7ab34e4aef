#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz/ from its committed corpus and
# regressions. New inputs go to a work folder, never into the corpus.
#   smoke  a fixed number of runs with a fixed seed per target (repeatable)
#   time   FUZZ_SECONDS per target (default 60), two workers
#   long   10^7 executions per target, in ten processes of 10^6 on the
#          growing work corpus, FUZZ_WORKERS of them (default 1) side by side
#          as libFuzzer's own jobs do
# Further arguments name the targets to run (default: all of them).
# Prints per target: executions, exec/s, features, corpus kept, commit.
set -euo pipefail
mode=${1:?smoke, time or long}
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build-fuzz
# ASan keeps every allocation's stack in a depot that never shrinks. With the
# default 30 frames a process slowed as it aged: settings_text ran 640 exec/s
# at 850 MB after 100 000 runs, where two frames kept it at 1 150 exec/s and
# 420 MB (same corpus and seed). A failure replayed in build-asan/ shows the
# whole stacks.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:malloc_context_size=2
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
commit=$(git -C "$root" rev-parse --short HEAD)
flags=(-timeout=10 -malloc_limit_mb=256 -rss_limit_mb=2048 -print_final_stats=1)

# Runs per target for the smoke test: a few seconds each on one core.
smoke_runs() {
    case $1 in
        vbs_script | settings_text) echo 3000 ;;
        sim_frames | history_file) echo 5000 ;;
        stp_file) echo 10000 ;;
        command_line) echo 20000 ;;
        *) echo 30000 ;;
    esac
}

status=0
printf '%-16s %12s %8s %8s %14s %s\n' target executions exec/s features corpus commit
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for exe in "$out"/bin/fuzz_*; do targets+=("${exe##*/fuzz_}"); done
fi
for target in "${targets[@]}"; do
    exe=$out/bin/fuzz_$target
    [ -x "$exe" ] || { echo "no fuzz target $target in $out/bin" >&2; exit 2; }
    seeds=("$root/tests/fuzz/corpus/$target")
    [ -d "$root/tests/fuzz/regressions/$target" ] && seeds+=("$root/tests/fuzz/regressions/$target")
    logs=$out/logs/$target
    rm -rf "$logs" && mkdir -p "$logs" "$out/artifacts/$target"
    processes=1
    workers=1
    case $mode in
        smoke)
            work=$out/smoke/$target
            rm -rf "$work" && mkdir -p "$work"
            run=(-runs="$(smoke_runs "$target")") ;;
        time)
            work=$out/work/$target
            mkdir -p "$work"
            run=(-max_total_time="${FUZZ_SECONDS:-60}" -workers=2 -jobs=2) ;;
        long)
            work=$out/work/$target
            mkdir -p "$work"
            run=(-runs=1000000)
            processes=10
            workers=${FUZZ_WORKERS:-1}
            [[ $workers =~ ^[1-9][0-9]*$ ]] || { echo "FUZZ_WORKERS must be 1 or more" >&2; exit 2; } ;;
        *) echo "unknown mode $mode" >&2; exit 2 ;;
    esac
    started=$SECONDS
    failed=0
    for ((first = 1; first <= processes && failed == 0; first += workers)); do
        pids=()
        for ((process = first; process < first + workers && process <= processes; ++process)); do
            # Seeds 1, 2, ... repeat a smoke or long run; time mode's workers draw their own.
            seed=()
            [ "$mode" = time ] || seed=(-seed="$process")
            (cd "$logs" && exec "$exe" "${flags[@]}" "${run[@]}" "${seed[@]}" \
                -artifact_prefix="$out/artifacts/$target/" "$work" "${seeds[@]}" \
                > "run-$process.log" 2>&1) &
            pids+=($!)
        done
        for pid in "${pids[@]}"; do
            wait "$pid" || failed=1
        done
    done
    seconds=$((SECONDS - started))
    [ $failed -eq 0 ] || status=1
    cat "$logs"/*.log > "$logs/all.txt"
    # With -jobs the main log repeats every job's log: the figures come from
    # the jobs' own logs, else from the runs' logs.
    stats=("$logs"/fuzz-*.log)
    [ -e "${stats[0]}" ] || stats=("$logs"/run-*.log)
    if grep -qE '^==[0-9]+==ERROR|^SUMMARY|property failed|Test unit written' "$logs/all.txt"; then
        status=1
        echo "$target: failed, see $logs" >&2
    fi
    # exec/s: all executions over the wall time, which adds up workers that
    # run side by side and averages processes that run one after the other.
    awk -v t="$target" -v c="$commit" -v s="$((seconds > 0 ? seconds : 1))" -v k="$(find "$work" -type f | wc -l)/$(find "$work" -type f -printf '%s\n' | awk '{ n += $1 } END { print n + 0 }')b" '
        /stat::number_of_executed_units/ { runs += $2 }
        / ft: / { for (i = 1; i < NF; ++i) if ($i == "ft:" && $(i + 1) > ft) ft = $(i + 1) }
        END { printf "%-16s %12d %8d %8d %14s %s\n", t, runs, runs / s, ft, k, c }' "${stats[@]}"
done
exit $status
