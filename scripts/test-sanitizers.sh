#!/usr/bin/env bash
# Builds the test suite with gcc's AddressSanitizer and UndefinedBehaviorSanitizer
# in ./build-asan and runs all of it through CTest; then builds the core's and
# the window's test programs (pdf, export, images, app: background parsing,
# export jobs, thumbnails, the window's controller and its pool) with
# ThreadSanitizer in ./build-tsan and runs every test of them. Any finding fails
# the run. Two build jobs. Expects the packages of scripts/install-deps.sh (the sanitizer
# runtimes come with gcc).
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

# A finding gives this status, which no test expects of the program.
export ASAN_OPTIONS="exitcode=99:detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="exitcode=99:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="exitcode=99:print_suppressions=0:suppressions=$PWD/scripts/sanitizers/lsan.supp"
# Qt and the codec libraries come uninstrumented: the locks inside Qt's thread pool
# (QImage's parallel scaling, the HEIC queue) are invisible, so the memory they hand
# over would be reported. Calls from those libraries are left out; every access of
# our own code, Qt's inline header code included, is checked.
export TSAN_OPTIONS="exitcode=99:halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1"

source scripts/compiler-cache.sh
configure() { # folder, sanitizer flags
  cmake -S . -B "$1" "${ZEMBRIX_CACHE_ARGS[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEMBRIX_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DCMAKE_C_FLAGS="$2 -fno-omit-frame-pointer" -DCMAKE_CXX_FLAGS="$2 -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="$2" -DCMAKE_SHARED_LINKER_FLAGS="$2"
}

start=$(date +%s)
configure build-asan "-fsanitize=address,undefined -fno-sanitize-recover=undefined"
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
echo "address/undefined: $(( $(date +%s) - start )) s"

start=$(date +%s)
configure build-tsan "-fsanitize=thread"
cmake --build build-tsan -j2 --target pdf_tests export_tests app_tests images_tests
# The programs not built here are left out (CTest lists them as *_NOT_BUILT).
ctest --test-dir build-tsan --output-on-failure -j2 --timeout 900 --no-tests=error -E '_NOT_BUILT$'
echo "thread: $(( $(date +%s) - start )) s"
