#!/usr/bin/env bash
# A second compiler and static analysis over the product code (app/, checks/, reports/,
# crash/, watch/, logging/, platform/), on a Debian 12 machine:
#   1. builds the program and the test fixtures with Clang for the same
#      Windows target (cmake/clang-mingw-w64.cmake, into build-clang/), with
#      the project's warnings as errors;
#   2. runs clang-tidy over every product .cpp (checks in .clang-tidy) from
#      that build's compile_commands.json;
#   3. checks that the product code follows .clang-format.
# Every stage runs even after an earlier one failed; any finding fails the
# script. Installs what it needs and is safe to run again.
#   KESTRUM_ANALYZE_BUILD_DIR  the Clang build folder (default: build-clang)
#   KESTRUM_ANALYZE_JOBS       parallel jobs (default: the number of cores)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_ANALYZE_BUILD_DIR:-$root/build-clang}"
jobs="${KESTRUM_ANALYZE_JOBS:-$(nproc)}"
product_folders=(app checks reports crash watch logging platform)

packages=(clang clang-tidy clang-format lld cmake ninja-build python3 googletest
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "analyze: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq || exit 1
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null || exit 1
fi
"$root/scripts/fetch-deps.sh" || exit 1

failed=()
stage() { echo "analyze: $*"; }

# Product files, relative to the root; new files are picked up by themselves.
mapfile -t sources < <(cd "$root" && find "${product_folders[@]}" -type f -name '*.cpp' | sort)
mapfile -t headers < <(cd "$root" && find "${product_folders[@]}" -type f -name '*.h' | sort)

stage "1/3 Clang build ($(clang++ --version | head -n 1))"
if cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/clang-mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null; then
    # The program and the fixtures; the unit tests and GoogleTest are not built.
    targets=(kestrum sample_addin sample_addin_crash_on_load stand_in_mscoree)
    # -k 0: every file's findings at once, not only the first failing file's.
    cmake --build "$build" --parallel "$jobs" --target "${targets[@]}" -- -k 0 || failed+=("clang build")
else
    failed+=("clang build (configure)")
fi

stage "2/3 clang-tidy over ${#sources[@]} files ($(clang-tidy --version | grep -o 'version [0-9.]*'))"
if [ ! -f "$build/compile_commands.json" ]; then
    failed+=("clang-tidy (no compile_commands.json)")
else
    # Each file's findings are printed in one piece, never interleaved.
    tidy_one='out=$(clang-tidy -p "$0" --quiet "$1" 2>&1); rc=$?
              out=$(printf "%s\n" "$out" | grep -Ev "^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.$")
              [ -z "$out" ] || printf "%s\n" "$out"; exit $rc'
    (cd "$root" && printf '%s\0' "${sources[@]}" | xargs -0 -n 1 -P "$jobs" bash -c "$tidy_one" "$build") \
        || failed+=("clang-tidy")
fi

stage "3/3 clang-format over ${#sources[@]} sources and ${#headers[@]} headers"
(cd "$root" && clang-format --dry-run --Werror "${sources[@]}" "${headers[@]}") || failed+=("clang-format")

if [ ${#failed[@]} -gt 0 ]; then
    echo "analyze: FAILED: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')"
    exit 1
fi
echo "analyze: passed: Clang build, clang-tidy and clang-format found nothing"
