#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root made with debootstrap, checks that
# the installed tool server answers, removes the package and checks that none of its files
# are left. Needs root (chroot) and Debian's archive. Usage: scripts/check-package.sh [DEB]
set -euo pipefail
root_dir=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-$(ls "$root_dir"/build/package/corvane_*.deb | head -n1)}
[[ -f "$deb" ]] || { echo "no package: run make package first"; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap

work=$(mktemp -d)
mounted=()
cleanup() {
    for mount in "${mounted[@]}"; do umount "$mount" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
target="$work/root"
debootstrap --variant=minbase bookworm "$target" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log"; exit 1; }
for fs in proc sys dev dev/pts; do
    mount --bind "/$fs" "$target/$fs"
    mounted=("$target/$fs" "${mounted[@]}")
done
cp "$deb" "$target/tmp/"
package=$(basename "$deb")
in_root() { chroot "$target" env DEBIAN_FRONTEND=noninteractive "$@"; }

in_root apt-get update -qq
in_root apt-get install -y -qq "/tmp/$package" >"$work/install.log" 2>&1 || { tail -30 "$work/install.log"; exit 1; }
echo "installed: $(in_root dpkg-query -W -f='${Package} ${Version}, ${Installed-Size} KiB installed\n' corvane)"
echo "package file: $(du -k "$deb" | cut -f1) KiB"

reply=$(printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"packagecheck","version":"1"}}}' |
    in_root env HOME=/root XDG_DATA_HOME=/tmp/data /usr/bin/corvane --mcp)
[[ "$reply" == *'"serverInfo"'* ]] || { echo "corvane --mcp did not answer: $reply"; exit 1; }
echo "corvane --mcp answered initialize"

# The application itself is in a library the launcher loads; without a display Qt stops it,
# which shows the library and everything it needs were installed.
library=$(in_root dpkg -L corvane | grep '/corvane/libcorvane-desktop\.so$' || true)
[[ -n "$library" ]] || { echo "the package holds no desktop library"; exit 1; }
missing=$(in_root ldd "$library" | grep 'not found' || true)
[[ -z "$missing" ]] || { echo "$library needs libraries the package does not depend on:"; echo "$missing"; exit 1; }
launch=$(in_root env -u DISPLAY HOME=/root XDG_DATA_HOME=/tmp/data timeout 20 /usr/bin/corvane 2>&1 </dev/null || true)
[[ "$launch" == *"could not connect to display"* ]] ||
    { echo "corvane did not start the application from $library: $launch"; exit 1; }
echo "corvane loads the application from $library"

files=$(in_root dpkg -L corvane | sort)
in_root apt-get remove -y -qq corvane >/dev/null
left=""
for file in $files; do
    [[ -f "$target$file" ]] && left+="$file"$'\n'
done
[[ -z "$left" ]] || { echo "left behind by apt-get remove:"; echo "$left"; exit 1; }
echo "apt-get remove left none of the package's files"
