#!/usr/bin/env bash
# Kills the program with SIGKILL part way through an import of 20,000 lines, and again part way
# through deleting them. Each time the store must still be intact, and running the same file
# again to its end must leave the server exactly as one uninterrupted run leaves a second,
# fresh server, but for the login of a mailbox killed before its login was added.
# Usage: crash_resume.sh <seedwell> <twao> [lines]
SEEDWELL=$1
TWAO=$2
LINES=${3:-20000}
source "$(dirname "$0")/lib.sh"
command -v sqlite3 >/dev/null || fail "sqlite3 is needed to look into the store"
trap 'show_app_log_on_failure; cleanup' EXIT

POSTOFFICES=(main sales support ops)
# Unique mailboxes in four post offices and twelve domains; every tenth line names a domain
# that another post office may own already, whose owner then takes the mailbox.
awk -v n="$LINES" 'BEGIN {
    split("main sales support ops", po, " ")
    for (i = 0; i < n; i++) {
        p = int(i / 7) % 4
        d = (p * 3 + i % 3 + (i % 10 == 9 ? 3 : 0)) % 12
        printf "%s,user%05d@d%d.example,Pw %d!\r\n", po[p + 1], i, d, i
    }
}' >"$WORK/import.csv"
[[ $(wc -l <"$WORK/import.csv") -eq $LINES ]] || fail "the import file was not made"

# The password the file gives the mailbox named $1.
password_of() { echo "Pw $((10#${1#user}))!"; }

# Mailboxes of the current server without a login, as "name post office" lines.
without_login() {
    store_query "SELECT m.name || ' ' || m.postoffice FROM mailboxes m
                 WHERE NOT EXISTS (SELECT 1 FROM logins l WHERE l.username = m.name || '@' || m.postoffice)"
}

start_display
for server in clean crashed; do
    use_server "$server"
    install_server "${POSTOFFICES[@]}"
done
SECONDS=0

# ---- Import, killed part way, then run again ----
use_server crashed
start_app
type_file "$WORK/import.csv"
press_import
made=$(wait_records mailboxes "-ge $((LINES / 5))" 180)
kill_app
check_integrity
echo "import killed with $(count_records mailboxes) mailboxes, $(count_records logins) logins," \
    "$(count_records addressmaps) address maps (first seen $made) after ${SECONDS}s"
half_made=$(without_login)

run_to_end import "$WORK/import.csv" 300
check_integrity
# A mailbox record killed before its login stays without one: a re-run never adds the login of
# a mailbox that exists.
expect_equal "mailboxes without a login after the re-run" "$half_made" "$(without_login)"
[[ -z "$half_made" ]] || echo "left without a login, as the README says: $half_made"
echo "import run again to its end after ${SECONDS}s"

use_server clean
run_to_end import "$WORK/import.csv" 300
imported=$(snapshot)
[[ $(count_records mailboxes) -eq $LINES ]] || fail "the clean import did not make $LINES mailboxes"
use_server crashed
# The operator adds such logins with the server's own tools; here they come from the clean server.
while read -r name postoffice; do
    [[ -n "$name" ]] || continue
    store_write "ATTACH '$WORK/clean/Config/server.db' AS clean;
        INSERT INTO logins SELECT * FROM clean.logins WHERE username = '$name@$postoffice'"
    "$TWAO" login check "$name@$postoffice" "$(password_of "$name")" ||
        fail "the login copied for $name@$postoffice does not have its password"
done <<<"$half_made"
expect_equal "the server after a killed and repeated import" "$imported" "$(snapshot)"
echo "clean import matched after ${SECONDS}s"

# ---- Delete, killed part way, then run again ----
use_server crashed
start_app
type_file "$WORK/import.csv"
press_delete
left=$(wait_records mailboxes "-le $((LINES * 3 / 5))" 180)
kill_app
check_integrity
echo "delete killed with $(count_records mailboxes) mailboxes left (first seen $left)," \
    "$(without_login | grep -c . || true) of them without a login, after ${SECONDS}s"
run_to_end delete "$WORK/import.csv" 300
check_integrity

use_server clean
run_to_end delete "$WORK/import.csv" 300
deleted=$(snapshot)
use_server crashed
expect_equal "the server after a killed and repeated delete" "$deleted" "$(snapshot)"

# Everything the file lists is gone; what it does not list (mailboxes that the owner of their
# domain took into another post office) stays with its login, address map and folders.
expected_left=$(LC_ALL=C comm -23 <(echo "$imported" | sed -n '/^== mailboxes/,/^== logins/p' |
    sed '1,2d;$d' | cut -f1,2 | LC_ALL=C sort) <(tr -d '\r' <"$WORK/import.csv" |
    awk -F'[,@]' '{ print $1 "\t" $2 }' | LC_ALL=C sort))
expect_equal "the mailboxes left" "$expected_left" "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2 | LC_ALL=C sort)"
[[ $(count_records logins) -eq $(count_records mailboxes) ]] || fail "logins were left behind"
[[ $(count_records addressmaps) -eq $(count_records mailboxes) ]] ||
    fail "address maps were left behind"
while read -r postoffice name; do
    [[ -d "$DATA/Postoffices/$postoffice/mailroot/$name/inbox" ]] ||
        fail "the folder of $name@$postoffice, not listed, was removed"
done <<<"$expected_left"
[[ $(find "$DATA/Postoffices" -mindepth 3 -maxdepth 3 -type d | wc -l) -eq \
    $(count_records mailboxes) ]] || fail "mailbox folders were left behind"
echo "killed import and delete completed by running them again: ok (${SECONDS}s," \
    "$(count_records mailboxes) unlisted mailboxes kept)"
