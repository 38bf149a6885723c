#!/usr/bin/env bash
# Builds the Debian package from the source tree, checks it the way Debian
# does (lintian, AppStream, the menu entry, the manual page), unpacks it and
# runs the installed program: --version, --help, and the user service's
# command line answering a phone on loopback with its status lines prefixed
# for the journal.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "deb check: $*" >&2; exit 1; }

# A copy of the tracked and new files, so that the build leaves the tree alone.
mkdir "$work/pocketlane"
(cd "$source_dir" && git ls-files -co --exclude-standard -z | xargs -0 tar -c -f - --) |
  tar -x -C "$work/pocketlane"
(cd "$work/pocketlane" && dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) ||
  { tail -n 40 "$work/build.log"; fail "dpkg-buildpackage failed"; }
deb=$(ls "$work"/pocketlane_*.deb)

lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports an error"

contents=$(dpkg-deb -c "$deb")
for path in usr/bin/pocketlane usr/share/pocketlane/Pocketlane.wbmp \
            usr/share/pocketlane/help/index.html usr/share/applications/pocketlane.desktop \
            usr/share/metainfo/net.pocketlane.Pocketlane.metainfo.xml \
            usr/share/man/man1/pocketlane.1.gz usr/lib/systemd/user/pocketlane.service \
            usr/share/icons/hicolor/scalable/apps/pocketlane.svg; do
  grep -q " \./$path\$" <<<"$contents" || fail "the package lacks $path"
done
dpkg-deb -f "$deb" Depends | grep -q xdg-utils || fail "Depends lacks xdg-utils"

root="$work/root"
dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root/usr/share/metainfo/net.pocketlane.Pocketlane.metainfo.xml"
desktop-file-validate "$root/usr/share/applications/pocketlane.desktop"
warnings=$(man --warnings -l "$root/usr/share/man/man1/pocketlane.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"

program="$root/usr/bin/pocketlane"
"$program" --version | grep -q '^pocketlane [0-9]' || fail "--version: $("$program" --version)"
"$program" --help | grep -q -- '--headless' || fail "--help lacks --headless"

# The user service: its unit verifies, and its command line serves.
unit="$root/usr/lib/systemd/user/pocketlane.service"
sed "s|^ExecStart=/usr/bin/pocketlane|ExecStart=$program|" "$unit" >"$work/pocketlane.service"
systemd-analyze verify --man=no "$work/pocketlane.service" 2>&1 | grep -v -e 'Failed to connect' \
  -e 'Cannot find unit for notify-reload' | grep . && fail "the user unit does not verify"
exec_start=$(sed -n 's|^ExecStart=/usr/bin/pocketlane||p' "$unit")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
log="$work/journal.log"
touch "$log"
export JOURNAL_STREAM=$(stat -c '%d:%i' "$log")
# shellcheck disable=SC2086
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work" \
  "$program" $exec_start --port "$port" --offline --settings "$work/settings.reg" 2>>"$log" &
server=$!
for _ in $(seq 100); do
  curl -s -o "$work/page.wml" "http://127.0.0.1:$port/" && break
  sleep 0.1
done
grep -q '<wml>' "$work/page.wml" || fail "the service did not answer a phone"
kill -TERM "$server"; wait "$server" || fail "the service did not end cleanly on SIGTERM"
server=""
grep -q '^<[0-9]>' "$log" || fail "no journal priorities on the status lines: $(head -n 3 "$log")"
echo "deb check passed"
