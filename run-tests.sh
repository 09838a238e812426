#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a normal build and an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh

jobs=$(nproc)
# Continuous integration treats every compiler warning as an error.
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORAN_WERROR="$werror"
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

if [ "${VELLORAN_SKIP_SANITIZE:-0}" != "1" ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLORAN_SANITIZE=ON \
        -DVELLORAN_BUILD_BENCH=OFF -DVELLORAN_WERROR="$werror"
  cmake --build build-asan -j "$jobs"
  # new_delete_type_mismatch: reported inside the prebuilt WebEngine library.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:new_delete_type_mismatch=0"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  # Without DISPLAY: with an X server at hand the offscreen platform loads
  # the GLX stack, whose prebuilt libraries report leaks from modules the
  # sanitizer cannot name. The normal build above runs the GUI tests with it.
  (cd build-asan && env -u DISPLAY ctest --output-on-failure -j "$jobs")
fi
