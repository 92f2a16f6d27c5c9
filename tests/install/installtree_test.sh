#!/usr/bin/env bash
# Installs a build into a staging folder (DESTDIR) as a package build does, checks that every
# file is where the freedesktop standards put it and that the desktop reads them, then
# runs the installed executable's tool server from there.
set -euo pipefail
build=${1:?usage: installtree_test.sh BUILD_DIR}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

expected=(
    usr/bin/corvane
    usr/share/applications/com.ferrowen.corvane.desktop
    usr/share/metainfo/com.ferrowen.corvane.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/com.ferrowen.corvane.svg
    usr/share/man/man1/corvane.1.gz
    usr/lib/systemd/user/com.ferrowen.corvane.service
    usr/share/doc/corvane/changelog.Debian.gz
    usr/share/doc/corvane/copyright
)
# The desktop library sits in the library folder the build was configured for (lib, or
# lib/<multiarch> for a package under /usr).
desktop_library=$(cd "$stage" && find usr/lib* -path '*/corvane/libcorvane-desktop.so' -type f | head -n1)
expected+=("${desktop_library:-usr/lib/corvane/libcorvane-desktop.so}")
for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/com.ferrowen.corvane.png")
done
failures=0
for file in "${expected[@]}"; do
    if [[ ! -s "$stage/$file" ]]; then
        echo "missing from the installation: /$file"
        failures=$((failures + 1))
    fi
done
unexpected=$(cd "$stage" && find . -type f | sed 's|^\./||' | sort | comm -13 <(printf '%s\n' "${expected[@]}" | sort) -)
if [[ -n "$unexpected" ]]; then
    echo "installed but not expected:"
    echo "$unexpected"
    failures=$((failures + 1))
fi
grep -qx 'Exec=corvane --settings' "$stage/usr/share/applications/com.ferrowen.corvane.desktop" ||
    { echo "the Settings action does not run corvane --settings"; failures=$((failures + 1)); }
desktop-file-validate "$stage/usr/share/applications/com.ferrowen.corvane.desktop" ||
    failures=$((failures + 1))
appstreamcli validate --no-net --pedantic "$stage/usr/share/metainfo/com.ferrowen.corvane.metainfo.xml" ||
    failures=$((failures + 1))
gzip -t "$stage/usr/share/man/man1/corvane.1.gz" || failures=$((failures + 1))
grep -qx 'ExecStart=/usr/bin/corvane' "$stage/usr/lib/systemd/user/com.ferrowen.corvane.service" ||
    { echo "the unit does not start the installed executable"; failures=$((failures + 1)); }

# The installed tool server answers the handshake from where it was installed.
home="$stage/home"
mkdir -p "$home"
reply=$(printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"installcheck","version":"1"}}}' |
    env -u DISPLAY XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" "$stage/usr/bin/corvane" --mcp 2>/dev/null)
if [[ "$reply" != *'"id":1'* || "$reply" != *'"serverInfo"'* ]]; then
    echo "the installed corvane --mcp did not answer initialize: $reply"
    failures=$((failures + 1))
fi

# Without --mcp the installed launcher loads the desktop library from where it was installed:
# without a display, what stops it is Qt failing to reach the X server, not a missing library.
launch=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_DATA_HOME="$home/data" \
    XDG_CONFIG_HOME="$home/config" timeout 20 "$stage/usr/bin/corvane" 2>&1 </dev/null || true)
if [[ "$launch" != *"could not connect to display"* ]]; then
    echo "the installed corvane did not start the application from its library: $launch"
    failures=$((failures + 1))
fi

if ((failures > 0)); then
    echo "0 passed, $failures failed: install tree"
    exit 1
fi
echo "install tree checked"
