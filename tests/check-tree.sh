#!/usr/bin/env bash
# The rules of the source tree, checked on the files git tracks:
#   - only gui/ and its tests (tests/gui/) include Qt headers;
#   - the core (platform, serialrules, camera, fleet, wizard), cli/ and sim/ never include from gui/;
#   - serialrules/ uses the standard library and platform/'s text helpers only;
#   - no CMake file globs sources;
#   - no two test files share a name;
#   - no code file outside tests/, bench/ and fuzz/ is longer than 400 lines (split it by job);
#   - every C++ file is formatted as the root .clang-format says (when clang-format is installed).
# usage: check-tree.sh [SOURCE_DIR]
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2
failed=0
fail() {
    echo "check-tree: $*" >&2
    failed=1
}

mapfile -t sources < <(git ls-files '*.h' '*.cpp')

for f in "${sources[@]}"; do
    case $f in
    gui/* | tests/gui/*) continue ;;
    esac
    grep -qE '^#include <Q[A-Za-z]' "$f" && fail "$f includes Qt outside gui/"
    grep -qE '^#include "gui/' "$f" && fail "$f includes from gui/"
done
for f in "${sources[@]}"; do
    [[ $f == serialrules/* ]] || continue
    grep -E '^#include "' "$f" | grep -vqE '"(serialrules/|platform/Windows1252\.h)' &&
        fail "$f includes more than the standard library and the text helpers"
done

globbing=$(git ls-files 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake' | xargs grep -l 'file(GLOB' || true)
[ -z "$globbing" ] || fail "CMake files glob sources: $globbing"

duplicates=$(git ls-files 'tests/*.cpp' 'tests/*.h' | xargs -n1 basename | sort | uniq -d)
[ -z "$duplicates" ] || fail "test files share a name: $duplicates"

for f in "${sources[@]}"; do
    case $f in
    tests/* | bench/* | fuzz/*) continue ;;
    esac
    lines=$(wc -l <"$f")
    [ "$lines" -le 400 ] || fail "$f has $lines lines (at most 400: split it by job)"
done

if command -v clang-format >/dev/null; then
    clang-format --dry-run --Werror "${sources[@]}" 2>/tmp/check-tree-format.$$ ||
        fail "not formatted: $(grep -oE '^[^:]+:[0-9]+' /tmp/check-tree-format.$$ | cut -d: -f1 | sort -u | tr '\n' ' ')"
    rm -f /tmp/check-tree-format.$$
else
    echo "check-tree: clang-format not installed, formatting not checked" >&2
fi
[ $failed -eq 0 ] && echo "check-tree: the tree keeps its rules (${#sources[@]} C++ files)"
exit $failed
