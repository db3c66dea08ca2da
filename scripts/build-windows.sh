#!/usr/bin/env bash
# Cross-builds the library for Windows with mingw-w64 and runs the 64-bit tests under Wine.
#
#   scripts/build-windows.sh            # build-win64 (built and tested) and build-win32 (built only)
#   scripts/build-windows.sh win64      # only one of them
#
# build-win64: x86_64 ZemUtil.dll, tests and examples; ctest runs every test program under Wine, with a Wine
#              prefix of its own in build-win64/wine-prefix.
# build-win32: i686 ZemUtil.dll, tests and examples, compiled and linked; not run (that needs a 32-bit Wine).
# Both are built with warnings as errors. Missing packages are installed with apt-get first.
# Environment: BUILD_TYPE (default RelWithDebInfo), JOBS (default: number of processors).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_type=${BUILD_TYPE:-RelWithDebInfo}
jobs=${JOBS:-$(nproc)}
wine_dir=/usr/lib/wine
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(win64 win32)

log() { printf '== %s (%ds)\n' "$*" "$SECONDS"; }

ensure_packages() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686-posix)
  [ -x "$wine_dir/wine64" ] || missing+=(wine64)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  command -v ninja >/dev/null || missing+=(ninja-build)
  command -v cmake >/dev/null || missing+=(cmake)
  [ ${#missing[@]} -eq 0 ] && return
  log "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# configure_and_build <build dir> <toolchain triple>
configure_and_build() {
  local dir=$1 triple=$2
  log "configuring $dir"
  # Programs, the DLL and plug-in modules all land in bin/, so that Windows finds ZemUtil.dll and the
  # plug-ins beside the test programs without any PATH set-up.
  cmake -S "$root" -B "$dir" -G Ninja --log-level=WARNING \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" \
    -DCMAKE_BUILD_TYPE="$build_type" \
    -DZEM_UTIL_WERROR=ON \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$dir/bin" \
    -DCMAKE_LIBRARY_OUTPUT_DIRECTORY="$dir/bin"
  log "building $dir"
  cmake --build "$dir" -j "$jobs"
}

run_tests_under_wine() {
  local dir=$1
  export WINEPREFIX="$dir/wine-prefix" WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating Wine prefix $WINEPREFIX"
    # Skip the .NET and HTML engine installers the first start would otherwise offer.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_dir/wine64" wineboot -i >/dev/null 2>&1 || true
    "$wine_dir/wineserver" -w
  fi
  log "running tests under Wine"
  local status=0
  ctest --test-dir "$dir" --output-on-failure --timeout 300 -j "$jobs" || status=$?
  # Leave no Wine server behind: it exits by itself a few seconds after its last program.
  "$wine_dir/wineserver" -w
  return "$status"
}

ensure_packages
status=0
for target in "${targets[@]}"; do
  case $target in
    win64)
      configure_and_build "$root/build-win64" x86_64-w64-mingw32
      run_tests_under_wine "$root/build-win64" || status=$?
      ;;
    win32)
      configure_and_build "$root/build-win32" i686-w64-mingw32
      ;;
    *)
      echo "usage: $0 [win64] [win32]" >&2
      exit 2
      ;;
  esac
done
log "done, status $status"
exit "$status"
