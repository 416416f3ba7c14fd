#!/usr/bin/env bash
# The checks beyond the test command:
#   1. the whole test suite built with the address and undefined-behaviour sanitizers (leak
#      detection on) in build-asan: first all but the server tests, then the server tests against
#      a private PostgreSQL server (scripts/pg-server.sh), stopped at the end whatever happens;
#   2. the libFuzzer targets (clang) built in build-fuzz, each run for FUZZ_SECONDS (60) seconds
#      from its committed corpus in fuzz/corpus/<target>; what they add is kept in
#      build-fuzz/corpus/<target>, a crash input in build-fuzz/artifacts/.
# Installs what it needs (Debian packages); the server tests and the fuzzing are skipped, each with
# a line saying why, when the registry cannot serve their packages (scripts/steps.sh). ASAN_BUILD_DIR and FUZZ_BUILD_DIR name other folders.
# Compiler warnings stop the builds unless MAE_WERROR=OFF is set.
set -euo pipefail
cd "$(dirname "$0")/.."
ASAN_BUILD_DIR="${ASAN_BUILD_DIR:-build-asan}"
FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-build-fuzz}"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
FUZZ_TARGETS=(profile_reader record_placement remarks_split scrub_non_ascii connection_string driver_text)
JOBS="$(nproc)"

. scripts/steps.sh
./scripts/install-deps.sh
./scripts/pg-server.sh install || [ "$?" -eq "$SKIPPED" ]
# llvm-symbolizer turns the sanitizers' reports into file:line. The fuzzers need clang with its
# libFuzzer and sanitizer runtimes: without them only the fuzzing is skipped.
./scripts/apt-ensure.sh llvm || [ "$?" -eq 3 ]
fuzz=0
ensure_or_skip "fuzzing" clang libclang-rt-14-dev || fuzz=$?
[ "$(step_status "$fuzz")" -eq 0 ] || exit "$fuzz"

# Any sanitizer report fails the test it happens in. Leaks are looked for too, with no
# suppressions: Qt, unixODBC and the SQLite and PostgreSQL drivers leave nothing that the leak
# checker reports in these tests.
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

echo "== sanitizers: build ($ASAN_BUILD_DIR)"
cmake -S . -B "$ASAN_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAE_SANITIZE=ON \
    -DMAE_WERROR="${MAE_WERROR:-ON}"
cmake --build "$ASAN_BUILD_DIR" -j"$JOBS"

echo "== sanitizers: tests"
status=0
(cd "$ASAN_BUILD_DIR" && ctest --output-on-failure -j"$JOBS" -LE server) || status=$?

server=0
./scripts/server-tests.sh "$ASAN_BUILD_DIR" || server=$?
[ "$(step_status "$server")" -eq 0 ] || status=$server
if [ "$status" -ne 0 ]; then
    echo "sanitizers: the test suite failed under the sanitizers" >&2
    exit "$status"
fi

[ "$fuzz" -eq 0 ] || exit 0
echo "== fuzzing: build ($FUZZ_BUILD_DIR)"
CC=clang CXX=clang++ cmake -S . -B "$FUZZ_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMAE_FUZZ=ON -DMAE_SANITIZE=ON -DMAE_BUILD_APP=OFF -DMAE_BUILD_TESTS=OFF \
    -DMAE_BUILD_TOOLS=OFF -DMAE_WERROR="${MAE_WERROR:-ON}"
cmake --build "$FUZZ_BUILD_DIR" -j"$JOBS" --target fuzz_all

passed=0
failed=0
mkdir -p "$FUZZ_BUILD_DIR/artifacts"
for target in "${FUZZ_TARGETS[@]}"; do
    echo "== fuzzing: $target for $FUZZ_SECONDS s"
    work="$FUZZ_BUILD_DIR/corpus/$target"
    log="$FUZZ_BUILD_DIR/fuzz-$target.log"
    mkdir -p "$work"
    # New inputs go to the first folder; the committed corpus is only read.
    if "$FUZZ_BUILD_DIR/fuzz/fuzz_$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$FUZZ_BUILD_DIR/artifacts/$target-" \
        "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        passed=$((passed + 1))
        echo "$target: $(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs," \
            "corpus $(ls "$work" | wc -l) + $(ls "fuzz/corpus/$target" | wc -l) inputs, no failure"
    else
        failed=$((failed + 1))
        tail -n 60 "$log"
        echo "$target: FAILED (input in $FUZZ_BUILD_DIR/artifacts/$target-*)" >&2
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
