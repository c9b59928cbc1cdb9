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
# gzip instead of xz: quicker, and only this test reads the package. With
# Makefiles CPack would first build the preinstall target, that is every
# target of the build folder; naming a generator without that target makes
# it install what the test run has built already.
cpack -G DEB -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip -D CPACK_CMAKE_GENERATOR=Ninja
ls -l "$out"/*.deb
