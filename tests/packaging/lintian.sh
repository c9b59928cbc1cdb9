#!/usr/bin/env bash
# Runs Debian's package checker on the package built by the package_build
# test: no errors and no warnings. Skipped without lintian.
set -euo pipefail
pkgdir=$1
if ! command -v lintian >/dev/null 2>&1; then
  echo "lintian is not installed: skipped"
  exit 77
fi
deb=$(ls "$pkgdir"/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no package in $pkgdir"; exit 1; }
# --fail-on error,warning: an error or a warning fails the test; the
# information tags are printed for a person to read.
lintian --allow-root --info --fail-on error,warning "$deb"
