#!/usr/bin/env bash
# Runs client.mjs with the official MCP SDK against the executable. The SDK is installed
# with `npm ci` into the work folder only when it is missing or the lock file changed, so
# later runs need no network.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")" && pwd)
work_dir=${1:?usage: run-interop.sh WORK_DIR CORVANE}
corvane=${2:?usage: run-interop.sh WORK_DIR CORVANE}

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "node and npm are needed for this test; scripts/install-deps.sh installs them" >&2
    exit 1
fi

mkdir -p "$work_dir"
cp "$source_dir/package.json" "$source_dir/package-lock.json" "$source_dir/client.mjs" "$work_dir/"
stamp="$work_dir/node_modules/.corvane-installed-lock"
if ! cmp -s "$work_dir/package-lock.json" "$stamp" 2>/dev/null; then
    (cd "$work_dir" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$work_dir/package-lock.json" "$stamp"
fi
exec node "$work_dir/client.mjs" "$corvane"
