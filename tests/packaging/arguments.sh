#!/usr/bin/env bash
# mmedit answers --help and --version in the terminal and refuses what it
# does not understand, before it touches any file.
set -euo pipefail
mmedit=$1
version=$2
export QT_QPA_PLATFORM=offscreen
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

"$mmedit" --help | grep -q "使い方: mmedit"
# Also where there is no display at all.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$mmedit" --help | grep -q "使い方: mmedit"
"$mmedit" -h | grep -q -- "--version"
"$mmedit" --version | grep -q "$version"
# Qt's own options may stand before them.
"$mmedit" -platform offscreen --version | grep -q "$version"

status=0
"$mmedit" --frobnicate 2>err.txt || status=$?
[ "$status" -eq 2 ] || { echo "unknown option: status $status"; exit 1; }
grep -q "不明なオプションです: --frobnicate" err.txt
status=0
"$mmedit" a.txt b.txt 2>err.txt || status=$?
[ "$status" -eq 2 ] || { echo "two files: status $status"; exit 1; }
grep -q "ファイルは一つだけ" err.txt
echo "arguments answered"
