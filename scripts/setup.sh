#!/usr/bin/env bash
# Installs the Debian packages MMEdit needs to build, run and test.
set -euo pipefail
# binutils gives readelf (scripts/check-layers.sh), clang-format checks the
# formatting (scripts/check-format.sh), git lists the files to check.
# qt6-translations-l10n gives Qt's own dialogs in Japanese; the IPA fonts stand
# in for the Gothic and Mincho fonts named in settings files. libicu-dev gives
# the program ICU's charset detector and the EUC-JP and ISO-2022-JP converters
# (opening and importing files in other encodings) and the benchmarks ICU's
# line breaker as a reference, jq reads their results in
# bench/run_all.sh. qt6-svg-dev draws the icons from their SVG files;
# desktop-file-utils and appstream validate the desktop entry and the
# metainfo, dpkg-dev gives dpkg-shlibdeps for the Debian package's
# dependencies, lintian checks the package as Debian would. python3 reads
# an exported mail back with its own mail parser and ISO-2022-JP codec
# (tests/cli/eml_decode.py).
# libcurl4-openssl-dev sends the newsletter by SMTP, libsecret-1-dev keeps the
# SMTP password in the desktop's secret store; the sending tests run an SMTP
# server (python3-aiosmtpd, with a test CA from python3-trustme) and a keyring
# in a private session bus (dbus-daemon, gnome-keyring). xvfb, fluxbox and
# xdotool run bench/keys.sh and bench/open.sh: the program on an X display
# with a window manager, keys typed into it as a user types them. zlib1g-dev
# gives the CRC-32 that checks each record of the crash-recovery journal.
packages=(cmake g++ make pkg-config binutils git clang-format qt6-base-dev qt6-svg-dev libgl-dev
          qt6-translations-l10n fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core
          libgtest-dev libgmock-dev libbenchmark-dev libicu-dev jq
          desktop-file-utils appstream dpkg-dev lintian
          libcurl4-openssl-dev libsecret-1-dev python3 python3-aiosmtpd python3-trustme
          dbus-daemon gnome-keyring xvfb fluxbox xdotool zlib1g-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
