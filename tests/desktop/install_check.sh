#!/usr/bin/env bash
# `cmake --install` of the build tree into a temporary prefix puts the
# program, its data and help pages, its icons and its menu entry in place,
# and the installed program finds its data there.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install check: $*" >&2; exit 1; }
need() { [ -e "$prefix/$1" ] || fail "missing $1"; }

need bin/pocketlane
need share/pocketlane/Pocketlane.wbmp
need share/pocketlane/help/index.html
need share/pocketlane/help/pocketlane/enhancements.htm
need share/pocketlane/help/Pocketlane/help.htm
for anchor in failed_to_determine_ip missing_upnp_software manual_port_forward \
              port_mapping_problems port_forward_wrong_machine; do
  grep -q "id=\"$anchor\"" "$prefix/share/pocketlane/help/pocketlane/help.htm" ||
    fail "help page lacks the anchor $anchor"
done
need share/icons/hicolor/scalable/apps/pocketlane.svg
for size in 16 22 24 32 48 64 128 256; do
  need share/icons/hicolor/${size}x${size}/apps/pocketlane.png
done
need share/applications/pocketlane.desktop
desktop-file-validate "$prefix/share/applications/pocketlane.desktop"
[ ! -e "$prefix/share/pocketlane/icons" ] || fail "icons installed twice"

# The installed program's first run stores the welcome picture it ships, by
# its name inside the data folder.
settings="$prefix/settings.reg"
env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/pocketlane" --settings "$settings" \
    --show-settings >/dev/null
grep -q "ShowWelcomeGraphicFilename\"=\"Pocketlane.wbmp\"" "$settings" ||
  fail "the first run does not store the shipped picture by its name: $(cat "$settings")"
echo "install check passed"
