#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) in build-fuzz and runs
# each for a bounded time, starting from its committed corpus in fuzz/corpus/<name>/.
#
#   scripts/run-fuzzers.sh                   # every fuzzer, 60 s each
#   scripts/run-fuzzers.sh regexp            # only that one
#   scripts/run-fuzzers.sh --merge regexp    # run, then add the inputs that reached new code to fuzz/corpus/
#
# Inputs found during a run go to build-fuzz/corpus/<name>/, so a run leaves the checkout clean. A failure
# leaves the crashing input in build-fuzz/artifacts/ and makes the script fail.
# Environment: FUZZ_SECONDS (default 60), JOBS (build parallelism, default: number of processors).
# clang and its libFuzzer runtime are installed with apt-get when missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-$(nproc)}
merge=0
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for dir in "$root"/fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
fi

log() { printf '== %s (%ds)\n' "$*" "$SECONDS"; }

apt_install() {
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  log "installing $*"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

# Whether clang++ can link a fuzzer: libFuzzer ships in clang's runtime package, not always with clang itself.
can_link_fuzzer() {
  local dir
  dir=$(mktemp -d)
  echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' >"$dir/probe.cpp"
  clang++ -fsanitize=fuzzer,address "$dir/probe.cpp" -o "$dir/probe" >/dev/null 2>&1
  local status=$?
  rm -rf "$dir"
  return $status
}

ensure_toolchain() {
  local missing=()
  command -v clang++ >/dev/null || missing+=(clang)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  [ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"
  if ! can_link_fuzzer; then
    local major
    major=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
    apt_install "libclang-rt-$major-dev"
    can_link_fuzzer || { echo "clang++ still cannot link -fsanitize=fuzzer" >&2; exit 1; }
  fi
}

# The longest input libFuzzer makes for a target (its default is 4096). Past these lengths an input reaches
# nothing new and only runs slower, so the minute goes to more inputs instead: the matcher's thresholds are at
# 16 characters, paths are compacted and markers expanded one segment at a time, and the format target repeats
# its text to the length its first bytes choose.
max_len() {
  case $1 in
    regexp | translator | path) echo 256 ;;
    format) echo 64 ;;
    *) echo 4096 ;;
  esac
}

ensure_toolchain
log "building fuzzers in $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja --log-level=WARNING \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=OFF -DZEM_UTIL_BUILD_FUZZERS=ON -DZEM_UTIL_WERROR=ON \
  -DZEM_UTIL_BUILD_TESTS=OFF -DZEM_UTIL_BUILD_EXAMPLES=OFF
cmake --build "$build" -j "$jobs"

status=0
for name in "${names[@]}"; do
  fuzzer="$build/fuzz/${name}_fuzz"
  work="$build/corpus/$name"
  output="$build/$name.log"
  mkdir -p "$work" "$build/artifacts"
  log "fuzzing $name for $seconds s"
  if "$fuzzer" -max_total_time="$seconds" -max_len="$(max_len "$name")" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" "$work" "$root/fuzz/corpus/$name" >"$output" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$output" || true
  else
    status=1
    echo "$name failed; the last lines of $output:" >&2
    tail -n 40 "$output" >&2
    continue
  fi
  if [ "$merge" -eq 1 ]; then
    log "merging new inputs into fuzz/corpus/$name"
    "$fuzzer" -merge=1 -max_len="$(max_len "$name")" "$root/fuzz/corpus/$name" "$work" >>"$output" 2>&1
  fi
done
log "done, status $status"
exit "$status"
