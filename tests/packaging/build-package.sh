#!/usr/bin/env bash
# Builds the Debian package with CPack from the programs already built in the
# build folder, into a folder of its own. Without dpkg-deb nothing is built
# (the tests that use the package skip).
set -euo pipefail
build=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg-deb is not installed: no package built"
  exit 0
fi
cd "$build"
# gzip instead of xz: the package of a debug build is large, and only this
# test reads it.
cpack -G DEB -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip
ls -l "$out"/*.deb
