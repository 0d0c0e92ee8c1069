#!/usr/bin/env bash
# Fails when a C or C++ source differs from the project's format (.clang-format).
# Usage: scripts/check-format.sh [--fix]
# Needs clang-format 14 (Debian 12's): other versions break some lines differently, so with
# another version, or none, the check is skipped with a note.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed; formatting not checked" >&2
  exit 0
fi
if ! clang-format --version | grep -q 'version 14\.'; then
  echo "check-format: $(clang-format --version) is not version 14; formatting not checked" >&2
  exit 0
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "check-format: not a git checkout; formatting not checked" >&2
  exit 0
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/spinlorex-format.$$; then
  grep -E '^[^ ].*: (error|warning):' /tmp/spinlorex-format.$$ | cut -d: -f1 | sort -u |
    sed 's/^/check-format: not in the project format: /' >&2
  rm -f /tmp/spinlorex-format.$$
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/spinlorex-format.$$
