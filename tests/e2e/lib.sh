# Helpers for driving the real seedwell program under Xvfb with xdotool, against a stand-in
# server installed with twao in a temporary folder. Source it; it expects SEEDWELL and TWAO to
# name the two programs.
set -euo pipefail

WORK=$(mktemp -d "${TMPDIR:-/tmp}/seedwell-e2e.XXXXXX")
export SEEDWELL_REGISTRY="$WORK/registry.reg"
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
DATA="$WORK/data"
XVFB_PID=""
APP_PID=""

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cleanup() {
    [[ -n "$APP_PID" ]] && kill -9 "$APP_PID" 2>/dev/null || true
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

start_display() {
    exec 9>"$WORK/display"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [[ -s "$WORK/display" ]] && break
        sleep 0.1
    done
    [[ -s "$WORK/display" ]] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
    export DISPLAY=":$(head -1 "$WORK/display")"
}

install_server() {
    "$TWAO" install --data-dir "$DATA" >/dev/null
    local postoffice
    for postoffice in "$@"; do "$TWAO" postoffice add "$postoffice" >/dev/null; done
}

# The id of the window whose title is exactly $1, waiting up to $2 seconds (default 20).
wait_window() {
    local title=$1 timeout=${2:-20} id
    for _ in $(seq $((timeout * 10))); do
        id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -1 || true)
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    fail "no window titled '$title' within ${timeout}s"
}

wait_gone() {
    local title=$1
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name "^${title}\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "the window titled '$title' did not close"
}

# Presses keys in the window titled $1.
keys_to() {
    local id
    id=$(wait_window "$1")
    shift
    xdotool windowfocus --sync "$id"
    xdotool key --delay 40 "$@"
}

# Starts the program and waits for its window; the focus is then on "Select File...".
start_app() {
    "$SEEDWELL" >"$WORK/app.log" 2>&1 &
    APP_PID=$!
    wait_window "Import/Delete Mailboxes" >/dev/null
}

# Types $1 into the file box: from "Select File..." one Tab reaches it.
type_file() {
    keys_to "Import/Delete Mailboxes" Tab
    xdotool type --delay 5 "$1"
}

# Closes the message box titled $1 with the key $2 (Return by default).
close_box() {
    keys_to "$1" "${2:-Return}"
    wait_gone "$1"
}

quit_app_from_import() {
    # After a run the focus is back on Import; Quit follows it in the tab order.
    keys_to "Import/Delete Mailboxes" Tab space
    for _ in $(seq 100); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$APP_PID" 2>/dev/null && fail "Quit did not end the program"
    wait "$APP_PID" || fail "the program ended with status $?"
    APP_PID=""
}

# Every table the server holds and every folder below the post-office root, as one text.
snapshot() {
    local table
    for table in postoffices domains mailboxes logins addressmaps; do
        echo "== $table"
        "$TWAO" list "$table"
    done
    echo "== folders"
    (cd "$DATA/Postoffices" && find . -mindepth 1 | LC_ALL=C sort)
}

expect_equal() {
    local what=$1 expected=$2 actual=$3
    if [[ "$expected" != "$actual" ]]; then
        diff <(echo "$expected") <(echo "$actual") >&2 || true
        fail "$what differs"
    fi
}
