#!/usr/bin/env bash
# Installs the Debian package into a temporary root (dpkg -x) and runs the
# programs from there as a user would: mmedit-cli --help, an offscreen start
# of mmedit that keeps its settings in the user's configuration folder, and
# "mmedit FILE" handed over by a second start to the running one.
set -euo pipefail
pkgdir=$1
if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg-deb is not installed: skipped"
  exit 77
fi
deb=$(ls "$pkgdir"/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no package in $pkgdir"; exit 1; }

tmp=$(mktemp -d)
first_pid=
cleanup() {
  if [ -n "$first_pid" ]; then kill "$first_pid" 2>/dev/null || true; wait "$first_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

# The package's dependencies: the Qt 6 libraries, the platform plugins, a
# Japanese font.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for want in libqt6widgets6 libqt6svg6 qt6-qpa-plugins fonts-ipafont-gothic; do
  grep -q "$want" <<<"$depends" || fail "the package does not depend on $want"
done

root=$tmp/root
dpkg -x "$deb" "$root"
for f in bin/mmedit bin/mmedit-cli share/mmedit/link.dat \
         share/applications/org.mmedit.MMEdit.desktop \
         share/metainfo/org.mmedit.MMEdit.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.mmedit.MMEdit.svg \
         share/icons/hicolor/16x16/apps/org.mmedit.MMEdit.png \
         share/icons/hicolor/256x256/apps/org.mmedit.MMEdit.png \
         share/man/man1/mmedit-cli.1.gz share/man/man1/mmedit.1.gz; do
  [ -e "$root/usr/$f" ] || fail "the package has no /usr/$f"
done
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$root/usr/share/applications/org.mmedit.MMEdit.desktop"
fi
grep -q '^Exec=mmedit %f$' "$root/usr/share/applications/org.mmedit.MMEdit.desktop"

# A user of our own, so that nothing outside the temporary folder is used.
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data \
       XDG_DATA_DIRS=$tmp/none XDG_RUNTIME_DIR=$tmp/run TMPDIR=$tmp QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
bin=$root/usr/bin

# The whole usage text is read (grep -q would stop early and fail the pipe).
usage=$("$bin/mmedit-cli" --help) || fail "mmedit-cli --help"
grep -q "mmedit-cli" <<<"$usage" || fail "mmedit-cli --help names the tool"
"$bin/mmedit" --version | grep -q "mmedit" || fail "mmedit --version"

# Start-up: the link menu's data comes from share/mmedit (a missing file
# would stop the start at an error box, and the time limit would end it).
timeout 120 env MMEDIT_REPORT_STARTUP=1 "$bin/mmedit" 2>"$tmp/start.log" || {
  cat "$tmp/start.log"; fail "mmedit did not start"; }
grep -q "main window shown" "$tmp/start.log" || fail "no main window"
[ -f "$XDG_CONFIG_HOME/MMEdit/MMEdit.ini" ] || fail "no settings in the user's folder"
[ ! -e "$bin/MMEdit.ini" ] || fail "settings written beside the installed program"
grep -q "^OnlyStart=1" "$XDG_CONFIG_HOME/MMEdit/MMEdit.ini" || fail "OnlyStart is not on"

# The report with a file: the file is opened first, its first screen and its
# layout are timed, then the program ends.
printf 'report\r\n' >"$tmp/report.txt"
timeout 120 env MMEDIT_REPORT_STARTUP=1 MMEDIT_REPORT_MEMORY=1 "$bin/mmedit" "$tmp/report.txt" \
  2>"$tmp/report.log" || { cat "$tmp/report.log"; fail "mmedit FILE with the report did not end"; }
for line in "main window shown" "file shown" "layout complete"; do
  grep -q "^$line after [0-9]* ms$" "$tmp/report.log" || { cat "$tmp/report.log"; fail "no \"$line\""; }
done
grep -q "^memory at rest: rss [0-9]* KiB, peak [0-9]* KiB$" "$tmp/report.log" ||
  { cat "$tmp/report.log"; fail "no memory at rest"; }

# mmedit FILE, then a second mmedit FILE from another folder hands over.
mkdir -p "$tmp/docs"
printf 'first\r\n' >"$tmp/docs/first.txt"
printf 'second\r\n' >"$tmp/docs/second.txt"
wait_for() { # text file seconds
  local k=0
  while ! grep -qF -- "$1" "$2"; do
    k=$((k + 1))
    [ "$k" -le $(($3 * 10)) ] || { cat "$2"; fail "no \"$1\" in $2"; }
    sleep 0.1
  done
}
(cd "$tmp/docs" && exec env MMEDIT_REPORT_OPEN=1 "$bin/mmedit" first.txt) 2>"$tmp/first.log" &
first_pid=$!
wait_for "open: $tmp/docs/first.txt" "$tmp/first.log" 120
(cd "$tmp" && timeout 120 env MMEDIT_REPORT_OPEN=1 "$bin/mmedit" docs/second.txt) \
  2>"$tmp/second.log" || { cat "$tmp/second.log"; fail "the second start did not end"; }
wait_for "open: $tmp/docs/second.txt" "$tmp/first.log" 30
! grep -q "open:" "$tmp/second.log" || fail "the second start opened the file itself"
kill -0 "$first_pid" || fail "the first start has ended"
echo "package installed and started"
