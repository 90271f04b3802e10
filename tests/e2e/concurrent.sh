#!/usr/bin/env bash
# While an import of a few thousand lines runs through the window, another process adds post
# offices and lists the records with twao, over and over. Both must finish without a failure,
# and nothing may be lost: every mailbox of the file and every post office added is there.
# Usage: concurrent.sh <seedwell> <twao> [lines]
SEEDWELL=$1
TWAO=$2
LINES=${3:-4000}
source "$(dirname "$0")/lib.sh"

LOOP_PID=""
stop_loop() {
    show_app_log_on_failure
    [[ -n "$LOOP_PID" ]] && kill "$LOOP_PID" 2>/dev/null || true
    cleanup
}
trap stop_loop EXIT

awk -v n="$LINES" 'BEGIN {
    for (i = 0; i < n; i++) {
        printf "%s,user%05d@d%d.example,Pw %d\r\n", (i % 2 ? "sales" : "main"), i, i % 4, i
    }
}' >"$WORK/import.csv"

start_display
install_server main sales
start_app
type_file "$WORK/import.csv"
press_import
wait_records mailboxes "-ge 1" 60 >/dev/null

# The other process: each round adds a post office and reads two tables, until the import is
# over. Every twao call must succeed; a failure is written down with its output.
(
    i=0
    while [[ ! -e "$WORK/import-over" ]] && ((i < 5000)); do
        i=$((i + 1))
        for command in "postoffice add other$i" "list postoffices" "list mailboxes"; do
            # shellcheck disable=SC2086
            if ! out=$("$TWAO" $command 2>&1 >/dev/null); then
                echo "twao $command: $out" >>"$WORK/loop-failures"
            fi
        done
        echo "other$i" >>"$WORK/added"
    done
) &
LOOP_PID=$!

wait_done 300
touch "$WORK/import-over"
wait "$LOOP_PID"
LOOP_PID=""
quit_after import

[[ ! -s "$WORK/loop-failures" ]] || fail "twao failed during the import: $(head -5 "$WORK/loop-failures")"
rounds=$(wc -l <"$WORK/added")
[[ $rounds -ge 5 ]] || fail "only $rounds rounds of the other process overlapped the import"

expect_equal "the post offices" "$(printf '%s\n' main sales $(cat "$WORK/added") | LC_ALL=C sort)" \
    "$("$TWAO" list postoffices | tail -n +2)"
expect_equal "the mailboxes" \
    "$(tr -d '\r' <"$WORK/import.csv" | awk -F'[,@]' '{ print $1 "\t" $2 }' | LC_ALL=C sort)" \
    "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2)"
[[ $(count_records logins) -eq $LINES ]] || fail "not every mailbox has its login"
[[ $(count_records addressmaps) -eq $LINES ]] || fail "not every address has its map"
[[ $(find "$DATA/Postoffices" -mindepth 4 -maxdepth 4 -name inbox -type d | wc -l) -eq $LINES ]] ||
    fail "not every mailbox has its folders"
check_integrity
"$TWAO" login check user00001@sales "Pw 1" || fail "a password was not stored as given"
echo "an import with $rounds rounds of twao beside it: ok"
