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

# Starts Xvfb; any arguments go to it. It never resets: otherwise the server resets as its last
# client leaves, and a program started just then fails with "could not connect to display".
start_display() {
    exec 9>"$WORK/display"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset "$@" >"$WORK/xvfb.log" 2>&1 &
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

# Closes the box titled "Seedwell" showing now and waits until that very box has gone.
close_seedwell_box() {
    local id
    id=$(wait_window "Seedwell")
    xdotool windowfocus --sync "$id"
    xdotool key --delay 40 Return
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name '^Seedwell$' 2>/dev/null | grep -qx "$id" || return 0
        sleep 0.1
    done
    fail "the box titled 'Seedwell' did not close"
}

quit_app_from_import() {
    quit_after import
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

# ---- Helpers for long runs, several servers and killed programs ----

# For an EXIT trap, before cleanup: shows what the program printed when the script failed.
show_app_log_on_failure() {
    local status=$?
    if [[ $status -ne 0 && -s "$WORK/app.log" ]]; then
        echo "--- what the program printed:" >&2
        tail -50 "$WORK/app.log" >&2
    fi
    if [[ $status -ne 0 && -n "$XVFB_PID" ]]; then
        kill -0 "$XVFB_PID" 2>/dev/null || echo "--- Xvfb ($XVFB_PID) is no longer running" >&2
        local display=${DISPLAY:-}
        [[ -z "$display" || -S "/tmp/.X11-unix/X${display#:}" ]] ||
            echo "--- the socket of the display $display has gone from /tmp/.X11-unix" >&2
        [[ -s "$WORK/xvfb.log" ]] && { echo "--- Xvfb's log:" >&2; tail -20 "$WORK/xvfb.log" >&2; }
    fi
    return 0
}

# Points the helpers, twao and programs started from now on at the server named $1: its own
# registry file and data directory below $WORK.
use_server() {
    export SEEDWELL_REGISTRY="$WORK/$1.reg"
    DATA="$WORK/$1"
}

store_path() { echo "$DATA/Config/server.db"; }

# Runs the SQL $1 on the current server's store, read-only.
store_query() {
    sqlite3 -readonly "$(store_path)" "$1"
}

# Runs the SQL $1 on the current server's store, writing, while no program uses it.
store_write() {
    sqlite3 "$(store_path)" "$1" >/dev/null
}

# The number of records in the table $1 of the current server.
count_records() {
    store_query "SELECT count(*) FROM $1"
}

# Fails unless SQLite finds the current server's store intact.
check_integrity() {
    local result
    result=$(sqlite3 "$(store_path)" 'PRAGMA integrity_check') ||
        fail "sqlite3 could not check the store: $result"
    [[ "$result" == "ok" ]] || fail "the store is damaged: $result"
}

# Waits up to $3 seconds until `count_records $1` satisfies the test $2 (e.g. "-ge 4000").
wait_records() {
    local table=$1 test=$2 timeout=$3 count
    for _ in $(seq $((timeout * 5))); do
        count=$(count_records "$table" 2>/dev/null || echo -1)
        # shellcheck disable=SC2086
        if [[ "$count" -ge 0 ]] && [ "$count" $test ]; then
            echo "$count"
            return 0
        fi
        kill -0 "$APP_PID" 2>/dev/null || fail "the program ended while waiting for $table $test"
        sleep 0.2
    done
    fail "$table did not reach '$test' within ${timeout}s (last count $count)"
}

# With the file typed into the file box: presses Import.
press_import() {
    keys_to "Import/Delete Mailboxes" Tab Tab space
}

# With the file typed into the file box: presses Delete and answers the question with the key
# $1: Return (the default, Yes) or Escape (No).
press_delete() {
    keys_to "Import/Delete Mailboxes" Tab Tab Tab Tab space
    close_box "Delete" "${1:-Return}"
}

# Waits up to $1 seconds for the run to end with its "Done" box and closes it with Escape, which
# also declines its offer to save the list of lines when it makes one. Fails as soon as a box
# titled "Seedwell" shows: a run's failure or a message of CreateMailbox or DeleteMailbox.
wait_done() {
    local timeout=$1
    for _ in $(seq $((timeout * 5))); do
        if xdotool search --onlyvisible --name '^Seedwell$' >/dev/null 2>&1; then
            fail "a message box titled 'Seedwell' showed during the run"
        fi
        if xdotool search --onlyvisible --name '^Done$' >/dev/null 2>&1; then
            close_box "Done" Escape
            return 0
        fi
        kill -0 "$APP_PID" 2>/dev/null || fail "the program ended during the run"
        sleep 0.2
    done
    fail "the run did not end within ${timeout}s"
}

# Kills the program with SIGKILL, as a crash or a power cut of the program alone would.
kill_app() {
    kill -9 "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=""
}

# Quits the program with its Quit button after a run of the kind $1 ("import" or "delete"),
# whose button still has the focus: Quit follows Import and comes just before Delete.
quit_after() {
    if [[ "$1" == "import" ]]; then
        keys_to "Import/Delete Mailboxes" Tab space
    else
        keys_to "Import/Delete Mailboxes" shift+Tab space
    fi
    for _ in $(seq 100); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$APP_PID" 2>/dev/null && fail "Quit did not end the program"
    wait "$APP_PID" || fail "the program ended with status $?"
    APP_PID=""
}

# Starts the program, runs the file $2 ("import" or "delete" as $1) to its end within $3
# seconds, and ends the program.
run_to_end() {
    local kind=$1 file=$2 timeout=$3
    start_app
    type_file "$file"
    "press_$kind"
    wait_done "$timeout"
    quit_after "$kind"
}
