#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format-14 makes of it with the
# tree's .clang-format. `scripts/check-format.sh --fix` formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')

if [ "${1:-}" = "--fix" ]; then
    clang-format-14 -i "${files[@]}"
    exit 0
fi

clang-format-14 --dry-run --Werror "${files[@]}"
echo "formatting: ${#files[@]} files clean"
