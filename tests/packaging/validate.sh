#!/usr/bin/env bash
# Runs a validator on a file when the validator is installed; exit status 77
# (skipped) when it is not.
set -euo pipefail
tool=$1
shift
if ! command -v "$tool" >/dev/null 2>&1; then
  echo "$tool is not installed: skipped"
  exit 77
fi
exec "$tool" "$@"
