#!/usr/bin/env bash
# The checks behind `make lint` and `make format`.
#   tools/lint.sh check BUILD_DIR [WINDOWS_BUILD_DIR]
#                                   clang-format, clang-tidy and cppcheck; fails on any finding
#   tools/lint.sh format            rewrites our C++ files in the checked-in style
# BUILD_DIR must hold compile_commands.json of a finished build (generated
# headers included), which `make lint` sees to.
set -euo pipefail

cd "$(dirname "$0")/.."
readonly SOURCE_DIRS='engine|platform|app|sim|tests|bench'
jobs=$(nproc 2>/dev/null || echo 2)

# Our C++ files: tracked ones plus new ones git does not ignore.
cxx_files() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z --cached --others --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.cc' |
            while IFS= read -r -d '' file; do
                if [[ -f $file ]]; then printf '%s\0' "$file"; fi
            done | sort -zu
    else
        { find engine platform app sim tests \
            \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print0 2>/dev/null ||
            true; } | sort -z
    fi
}

# Translation units of our own in the compilation database (not moc output).
compiled_sources() {
    python3 - "$1/compile_commands.json" "$PWD" "$SOURCE_DIRS" <<'PY'
import json, os, re, sys
database, root, dirs = sys.argv[1], sys.argv[2], sys.argv[3]
ours = re.compile(r"^(%s)/" % dirs)
seen = set()
for entry in json.load(open(database)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if ours.match(relative) and relative not in seen:
        seen.add(relative)
        print(relative)
PY
}

run_clang_format() {
    echo "== clang-format"
    cxx_files | xargs -0 -r clang-format --dry-run -Werror
}

tidy() {
    xargs -r -P "$jobs" -n 1 clang-tidy -p "$1" --quiet --warnings-as-errors='*' \
        --extra-arg=-Wno-unknown-warning-option "${@:2}" 2> >(grep -v \
        -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
        -e '^Use -header-filter' >&2)
}

run_clang_tidy() {
    local build=$1 sources
    echo "== clang-tidy"
    sources=$(compiled_sources "$build")
    # The static analyzer takes minutes over GoogleTest's macros and finds
    # little there; the tests get every other check.
    local status=0
    { grep -v '^tests/' <<<"$sources" || true; } | tidy "$build" || status=1
    { grep '^tests/' <<<"$sources" || true; } | tidy "$build" --checks='-clang-analyzer-*' || status=1
    return "$status"
}

run_cppcheck() {
    local build=$1
    echo "== cppcheck"
    cppcheck --project="$build/compile_commands.json" --quiet -j "$jobs" \
        --enable=warning,performance,portability --std=c++20 --library=qt --library=googletest --library=posix \
        --inline-suppr --error-exitcode=1 \
        --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
        -i"$build"
}

# The Windows build's own sources, cross-compiled with MinGW-w64: clang-tidy
# reads them for that target with the cross compiler's C++ headers, and
# cppcheck with its Windows library. The sources both builds share are
# checked with the Linux build above.
run_windows_checks() {
    local build=$1 cxx=x86_64-w64-mingw32-g++-posix headers sources status=0
    headers="$($cxx -print-file-name=include)/c++"
    echo "== clang-tidy (Windows)"
    sources=$(compiled_sources "$build" | grep -E '(^|/)win32/|WinMain' || true)
    tidy "$build" --extra-arg=--target=x86_64-w64-mingw32 --extra-arg="-isystem$headers" \
        --extra-arg="-isystem$headers/x86_64-w64-mingw32" --extra-arg="-isystem$headers/backward" \
        <<<"$sources" || status=1
    echo "== cppcheck (Windows)"
    cppcheck --project="$build/compile_commands.json" --quiet -j "$jobs" --platform=win64 \
        --enable=warning,performance,portability --std=c++20 --library=windows --library=googletest \
        --inline-suppr --error-exitcode=1 --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
        -i"$build" -i/usr/src/googletest || status=1
    return "$status"
}

check() {
    local build=$1 windows=${2:-} failed=()
    if [[ ! -f $build/compile_commands.json ]]; then
        echo "lint: $build/compile_commands.json is missing; build first" >&2
        exit 2
    fi
    run_clang_format || failed+=(clang-format)
    run_clang_tidy "$build" || failed+=(clang-tidy)
    run_cppcheck "$build" || failed+=(cppcheck)
    if [[ -n $windows ]]; then
        run_windows_checks "$windows" || failed+=(windows)
    fi
    if [[ ${#failed[@]} -gt 0 ]]; then
        echo "lint: findings from ${failed[*]}" >&2
        exit 1
    fi
    echo "lint: clean"
}

case ${1:-} in
check) check "${2:?usage: $0 check BUILD_DIR [WINDOWS_BUILD_DIR]}" "${3:-}" ;;
format) cxx_files | xargs -0 -r clang-format -i ;;
*)
    echo "usage: $0 check BUILD_DIR [WINDOWS_BUILD_DIR] | format" >&2
    exit 2
    ;;
esac
