#!/usr/bin/env bash
# A long import through the real window shows its progress window, Stop ends it after the
# current line with the "Stopped" message, and running the file again completes the rest.
# Usage: progress_stop.sh <seedwell> <twao> [lines]
SEEDWELL=$1
TWAO=$2
LINES=${3:-3000}
source "$(dirname "$0")/lib.sh"
command -v sqlite3 >/dev/null || fail "sqlite3 is needed to look into the store"
trap 'show_app_log_on_failure; cleanup' EXIT

awk -v n="$LINES" 'BEGIN { for (i = 0; i < n; i++) printf "main,user%05d@example.com,Pw %d\r\n", i, i }' \
    >"$WORK/import.csv"

start_display
install_server main
start_app
type_file "$WORK/import.csv"
press_import
wait_window "Importing mailboxes" 30 >/dev/null
wait_records mailboxes "-ge 1" 30 >/dev/null
keys_to "Importing mailboxes" space
wait_window "Stopped" 30 >/dev/null
wait_gone "Importing mailboxes"
made=$(count_records mailboxes)
sleep 1
[[ $(count_records mailboxes) -eq $made ]] || fail "the run went on after Stop"
[[ $made -lt $LINES ]] || fail "Stop came too late: all $LINES lines were done"
close_box "Stopped"
echo "stopped with $made of $LINES mailboxes made"

# The same window imports the file again (Import still has the focus) and does the rest.
keys_to "Import/Delete Mailboxes" space
wait_done 600
[[ $(count_records mailboxes) -eq $LINES ]] || fail "the re-run did not complete the file"
[[ $(count_records logins) -eq $LINES ]] || fail "a mailbox is without its login"
[[ $(find "$DATA/Postoffices/main/mailroot" -mindepth 2 -maxdepth 2 -name inbox | wc -l) -eq \
    $LINES ]] || fail "a mailbox is without its folders"
quit_after import
echo "progress, Stop and a re-run through the window: ok"
