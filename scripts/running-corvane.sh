# Sourced by the scripts that drive the running application (soak.sh, hostile.sh): private
# XDG folders in a scratch folder removed on exit, a private Xvfb in DISPLAY, and
# start_corvane, which starts the application and waits until it answers later starts.
# Every process started through `pids` is ended on exit, by its id.
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CACHE_HOME="$scratch/cache"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Corvane" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb
unset DISPLAY
exec {xvfb_fd}<> <(:)
Xvfb -displayfd "$xvfb_fd" -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$xvfb_fd" display || { echo "Could not start Xvfb"; exit 1; }
export DISPLAY=":$display"

# Starts "$corvane" with its log in $scratch/corvane.log; sets `app` to its process id.
start_corvane() {
    "$corvane" 2>"$scratch/corvane.log" &
    app=$!
    pids+=($app)
    local socket="$XDG_RUNTIME_DIR/com.ferrowen.corvane.instance"
    for _ in $(seq 300); do
        [[ -S "$socket" ]] && return 0
        sleep 0.1
    done
    cat "$scratch/corvane.log"
    exit 1
}
