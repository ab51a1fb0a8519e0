#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from .clang-format (clang-format's
# dry run), naming the files. Usage: scripts/format-check.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/format-check.$$; then
    grep -o '^[^:]*' /tmp/format-check.$$ | sort -u | sed 's/^/not formatted: /' >&2
    rm -f /tmp/format-check.$$
    echo "format-check: run scripts/format-check.sh --fix" >&2
    exit 1
fi
rm -f /tmp/format-check.$$
echo "format-check: every file formatted"
