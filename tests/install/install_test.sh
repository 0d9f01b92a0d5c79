#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a temporary prefix and uses it as a desktop would: the files are in
# place and valid, the installed binary shows a compiled style sheet in its window, and a file
# manager's "open" starts the app through D-Bus activation.
# Usage: install_test.sh CMAKE BUILD-DIR   (needs an X display; runs its own session bus)
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
id=org.fennelview.Fennelview

if [ -z "${FENNELVIEW_TEST_PREFIX:-}" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # The named component keeps build/install_manifest.txt, the user's own install, untouched.
  "$1" --install "$2" --prefix "$work/prefix" --component Unspecified >/dev/null
  # A private session bus that finds the prefix's D-Bus service, as a login session would;
  # GIO offers an application only when its Exec is found on PATH.
  PATH="$work/prefix/bin:$PATH" FENNELVIEW_TEST_PREFIX="$work/prefix" XDG_DATA_DIRS="$work/prefix/share:/usr/share" \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" GDK_BACKEND=x11 GSK_RENDERER=cairo \
    dbus-run-session -- "$0" "$@"
  exit
fi
prefix=$FENNELVIEW_TEST_PREFIX work=$(dirname "$prefix")
unset FENNELVIEW_RESOURCES

for f in bin/fennelview share/fennelview/Template/index.html share/applications/$id.desktop \
  share/metainfo/$id.metainfo.xml share/dbus-1/services/$id.service share/man/man1/fennelview.1 \
  share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/symbolic/apps/$id-symbolic.svg; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
[ -L "$prefix/share/fennelview/sassc" ] && [ "$(readlink -f "$prefix/share/fennelview/sassc")" = \
  "$(readlink -f "$(command -v sassc)")" ] || fail "the installed sassc is not a link to the system's"
grep -qx "Exec=$prefix/bin/fennelview --gapplication-service" "$prefix/share/dbus-1/services/$id.service" ||
  fail "the D-Bus service does not start the installed binary"
# A bundled Dart Sass is machine code: under libexec, never under share.
if [ -d "$2/resources/dart-sass" ]; then
  PATH=/usr/bin:/bin "$prefix/bin/fennelview" --version | grep '^Dart Sass ' >/dev/null ||
    fail "the installed app does not find its Dart Sass"
fi
[ -z "$(find "$prefix/share" -type f -exec file {} + | grep ELF)" ] || fail "an ELF file is installed under share/"
# Machines without a German locale still translate under C.UTF-8 with LANGUAGE.
[ "$(LANG=C.UTF-8 LANGUAGE=de TEXTDOMAINDIR="$prefix/share/locale" gettext fennelview \
  "Live preview for Sass style sheets")" = "Live-Vorschau für Sass-Stylesheets" ] || fail "the German catalogue"
grep -q '^Name\[de\]=' "$prefix/share/applications/$id.desktop" || fail "the desktop file has no German name"
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null || fail "appstreamcli validate"
[ -z "$(groff -man -ww -z "$prefix/share/man/man1/fennelview.1" 2>&1)" ] || fail "the manual page has faults"

# Waits for the window titled $1 (then its folder) and prints the colour in its middle once the page shows.
page_colour() {
  local win="" colour=""
  for _ in $(seq 120); do
    win=${win:-$(xdotool search --name "^${1//./\\.}( |\$)" 2>/dev/null | head -1 || true)}
    [ -n "$win" ] && colour=$(import -window "$win" png:- 2>/dev/null |
      convert png:- -gravity center -crop 1x1+0+0 -format '%[hex:p{0,0}]' info: 2>/dev/null || true)
    [[ ${colour,,} == 26a269* ]] && { echo "$win"; return; }
    sleep 0.5
  done
  fail "no window titled $1 showing the compiled page (last colour: ${colour:-none})"
}
# The page is green only when sassc compiled the variable and the nested rule.
printf '$fennel: #26a269;\nhtml { background: $fennel; body { display: none; } }\n' >"$work/fennel.scss"
"$prefix/bin/fennelview" "$work/fennel.scss" 2>"$work/app.log" &
app=$!
trap 'kill "$app" 2>/dev/null || true' EXIT  # a failure must not leave the app holding the display
page_colour fennel.scss >/dev/null && kill "$app" && wait "$app" || true

cp "$work/fennel.scss" "$work/from-files.scss"
gio open "$work/from-files.scss" || fail "gio open"
activated=$(xdotool getwindowpid "$(page_colour from-files.scss)")
tr '\0' ' ' <"/proc/$activated/cmdline" | grep -q -- "^$prefix/bin/fennelview --gapplication-service" ||
  fail "gio open did not start the installed app through D-Bus"
kill "$activated"
