#!/usr/bin/env bash
# Checks that every tracked C++ file is formatted as the .clang-format at the
# root says, without changing any file. Prints the files that are not and exits
# 1 when there is any; `clang-format -i <file>` fixes one.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null 2>&1; then
  echo "$0: clang-format not found (scripts/setup.sh installs it)" >&2
  exit 2
fi

if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "$0: not a git work tree; the files to check come from git ls-files" >&2
  exit 2
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
unformatted=()
for f in "${files[@]}"; do
  # A file git still lists but that is gone from the working tree (deleted or
  # renamed without staging) has nothing to check.
  [ -f "$f" ] || continue
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    unformatted+=("$f")
  fi
done

if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Not formatted with clang-format (run: clang-format -i <file>):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "Formatting checked: ${#files[@]} files."
