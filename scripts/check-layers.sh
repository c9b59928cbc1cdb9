#!/usr/bin/env bash
# Checks the layering of the libraries under src/.
#
# Usage: scripts/check-layers.sh <source-root> <path-to-mmedit-cli>
#
# 1. Every "folder/file.h" include in src/<folder>/ names a library that
#    <folder> may use (see the table below); a file of the same library may
#    include its siblings by bare name or through its own folder.
# 2. text, settings, mail and cli use Qt Core only: no Qt Gui or Qt Widgets header.
# 3. The mmedit-cli executable needs neither Qt Gui nor Qt Widgets (read from
#    the NEEDED entries of its dynamic section).
#
# Prints every violation as "file:line: ..." and exits 1 when there is any.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <source-root> <path-to-mmedit-cli>" >&2
  exit 2
fi
root=$1
cli=$2
# The executable's path is taken from where the script was started.
case $cli in
  /*) ;;
  *) cli=$PWD/$cli ;;
esac

# Which of our libraries each library may include from (besides itself).
declare -A allowed=(
  [text]=""
  [platform]="text"
  [settings]="text"
  [editor]="text platform"
  [tray]="text platform"
  [mail]="text settings"
  [cli]="text settings mail"
  [palettes]="text platform editor settings"
  [settingsdialogs]="text platform settings"
  [app]="text platform settings editor tray palettes settingsdialogs mail"
)
# The libraries that may use Qt Core only.
core_only=" text settings mail cli "

# Qt Gui and Qt Widgets class headers that must not turn up in a Core-only
# library (besides anything from <QtGui/...>, <QtWidgets/...> and friends).
gui_headers="QWidget QColor QFont QFontMetrics QFontDatabase QPainter QApplication QGuiApplication
QImage QPixmap QIcon QPalette QBrush QPen QKeyEvent QMouseEvent QKeySequence QClipboard QCursor
QScreen QAction QMainWindow QDialog QMessageBox QDesktopServices QTextLayout QSystemTrayIcon"

cd "$root"
if [ ! -d src ]; then
  echo "$0: no src/ folder in $root" >&2
  exit 2
fi

failed=0

# Every folder under src/ holding sources must be in the table.
for dir in src/*/; do
  folder=$(basename "$dir")
  [ -n "$(find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \) -print -quit)" ] || continue
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "src/$folder: library missing from the layer table in scripts/check-layers.sh"
    failed=1
  fi
done

# Our folders, as "name:allowed names" lines for awk.
table=""
for folder in "${!allowed[@]}"; do
  table+="$folder:${allowed[$folder]}"$'\n'
done

mapfile -t files < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort)
if [ ${#files[@]} -gt 0 ]; then
  if ! awk -v table="$table" -v core_only="$core_only" -v gui_headers="$gui_headers" '
    BEGIN {
      n = split(table, rows, "\n")
      for (i = 1; i <= n; i++) {
        if (rows[i] == "") continue
        split(rows[i], parts, ":")
        ours[parts[1]] = 1
        m = split(parts[2], uses, " ")
        for (j = 1; j <= m; j++) may[parts[1], uses[j]] = 1
      }
      n = split(gui_headers, names, /[ \n]+/)
      for (i = 1; i <= n; i++) if (names[i] != "") gui[names[i]] = 1
      bad = 0
    }
    FNR == 1 {
      split(FILENAME, path, "/")
      layer = path[2]
      in_comment = 0
    }
    {
      line = $0
      # Skip includes inside /* ... */ comments.
      if (in_comment) {
        if (index(line, "*/") == 0) next
        line = substr(line, index(line, "*/") + 2)
        in_comment = 0
      }
      if (line ~ /^[ \t]*\/\*/ && index(line, "*/") == 0) { in_comment = 1; next }
      if (line !~ /^[ \t]*#[ \t]*include[ \t]*["<]/) next
      sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
      opener = substr(line, 1, 1)
      closer = (opener == "<") ? ">" : "\""
      rest = substr(line, 2)
      stop = index(rest, closer)
      if (stop == 0) next
      header = substr(rest, 1, stop - 1)
      first = header
      slash = index(header, "/")
      if (slash > 0) first = substr(header, 1, slash - 1)

      if (slash > 0 && (first in ours) && first != layer && !((layer, first) in may)) {
        printf "%s:%d: includes %s from a layer above\n", FILENAME, FNR, first
        bad = 1
      }
      if (index(core_only, " " layer " ") > 0 && opener == "<") {
        base = header
        sub(/^.*\//, "", base)
        if (first ~ /^Qt(Gui|Widgets|PrintSupport|OpenGL|OpenGLWidgets|Svg|SvgWidgets)$/ ||
            (slash == 0 && header ~ /^Qt(Gui|Widgets|PrintSupport)$/) ||
            (base in gui)) {
          printf "%s:%d: %s library includes <%s>, which is Qt Gui or Qt Widgets\n",
                 FILENAME, FNR, layer, header
          bad = 1
        }
      }
    }
    END { exit bad }
  ' "${files[@]}"; then
    failed=1
  fi
fi

# mmedit-cli must not need Qt Gui or Qt Widgets.
if [ ! -f "$cli" ]; then
  echo "$cli: no such file (build the mmedit-cli target first)"
  failed=1
else
  if command -v readelf >/dev/null 2>&1; then
    dynamic=$(LC_ALL=C readelf -d "$cli") || { echo "$cli: readelf failed"; exit 1; }
    needed=$(printf '%s\n' "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p')
  elif command -v objdump >/dev/null 2>&1; then
    dynamic=$(LC_ALL=C objdump -p "$cli") || { echo "$cli: objdump failed"; exit 1; }
    needed=$(printf '%s\n' "$dynamic" | awk '$1 == "NEEDED" { print $2 }')
  else
    echo "$0: neither readelf nor objdump found (install binutils)" >&2
    exit 2
  fi
  if [ -z "$needed" ]; then
    echo "$cli: no NEEDED entries in its dynamic section; not a dynamically linked executable?"
    failed=1
  fi
  while IFS= read -r lib; do
    case $lib in
      libQt6Gui.so* | libQt6Widgets.so* | libQt6PrintSupport.so* | libQt6OpenGL*.so* | libQt6Svg*.so*)
        echo "$cli: needs $lib; mmedit-cli may use Qt Core only"
        failed=1
        ;;
    esac
  done <<<"$needed"
fi

if [ $failed -ne 0 ]; then
  echo "Layer check failed." >&2
  exit 1
fi
echo "Layer check passed: ${#files[@]} source files, $(basename "$cli") needs Qt Core only."
