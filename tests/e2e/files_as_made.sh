#!/usr/bin/env bash
# Files as spreadsheets and hand editing make them, through the real window: separators other
# than commas, blanks after the commas, quoted fields and malformed addresses are passed over,
# each with a box of its own (five at most), and nothing of them is made; a file with only a
# header makes nothing; a UTF-8 file with its byte-order mark and a UTF-16 file are read as the
# text they hold; a delete file with a typo removes what it names and nothing else. The end of a
# run that cannot show every reported line offers their list: No writes nothing, Yes writes it
# where the save dialog says. A post-office root with a typo is refused before anything is made.
# Usage: files_as_made.sh <seedwell> <twao>
SEEDWELL=$1
TWAO=$2
source "$(dirname "$0")/lib.sh"
trap 'show_app_log_on_failure; cleanup' EXIT

start_display
install_server main sales

printf '%s\n' "main;sem@example.com;pw" $'main\ttab@example.com\tpw' \
    "main, carol@example.com, secret" "main,dan@x@example.com,pw" "main,fay@exa mple.com,pw" \
    "main,gus@.com,pw" "main,hal@example..com,pw" 'main,"ivy@example.com","pass"' \
    "main,zoë@example.com,pw" "main,ok@example.com,pw" "main,bob@example.com;Hunter2" \
    "main,j@@example.com,pw" >"$WORK/mixed.csv"
printf 'postoffice,emailaddress,password\r\n' >"$WORK/header.csv"
printf '\xEF\xBB\xBFsales,bom@example.org,pw\r\n' >"$WORK/bom.csv"
printf 'sales,wide@example.org,pw\r\nsales,zoé@example.org,pw\r\n' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xFF\xFE'; cat; } >"$WORK/utf16.csv"
printf '%s\n' "main,ok@example.com" "main,okk@example.com" >"$WORK/typo.csv"
for i in $(seq 12); do echo "main,gone$i@example.com"; done >"$WORK/gone.csv"

# A root with a typo: refused, with the focus in the root box, and nothing made.
before=$(snapshot)
start_app
type_file "$WORK/mixed.csv"
xdotool key --delay 40 Tab ctrl+a
xdotool type --delay 5 "$DATA/Postofices"
xdotool key --delay 40 Tab space
close_box "Error"
# The focus is back in the root box: Import and then Quit follow it.
keys_to "Import/Delete Mailboxes" Tab Tab space
wait "$APP_PID" || fail "the program ended with status $?"
APP_PID=""
expect_equal "the server after a root with a typo" "$before" "$(snapshot)"

# Ten lines passed over: five boxes, the rest listed in the end message, which offers the list
# of them all. No writes nothing; Yes, and the file the save dialog proposes, writes it. A field
# that fails its check and holds a blank or another export's separator is shown nowhere.
lines_file=$WORK/mixed-lines.csv
for answer in Escape Return; do
    start_app
    type_file "$WORK/mixed.csv"
    press_import
    for _ in 1 2 3 4 5; do close_seedwell_box; done
    close_box "Done" "$answer"
    [[ "$answer" == Escape ]] && [[ -e "$lines_file" ]] && fail "No wrote the list of lines"
    [[ "$answer" == Return ]] && close_box "Save the list of lines" Return
    quit_after import
done
[[ -f "$lines_file" ]] || fail "the list of lines was not written"
[[ "$(head -c 3 "$lines_file" | od -An -tx1 | tr -d ' ')" == efbbbf ]] ||
    fail "the list of lines has no byte-order mark"
expect_equal "the list's line ends" "11" "$(grep -c $'\r$' "$lines_file")"
expect_equal "the list's header and line numbers" "$(printf '%s\n' line 1 2 3 4 5 6 7 8 11 12)" \
    "$(sed '1s/^\xEF\xBB\xBF//' "$lines_file" | cut -d, -f1)"
grep -q "^3,main,,Line 3 was passed over: the address begins with a blank" "$lines_file" ||
    fail "the list of lines lacks line 3 with its reason"
grep -q "^11,main,,Line 11 was passed over: the address is not a valid e-mail address: the character ';' is not allowed in the domain" "$lines_file" ||
    fail "the list of lines lacks line 11 with its reason"
grep -q "^12,main,j@@example.com,Line 12 was passed over: the address 'j@@example.com' is not a valid e-mail address: it holds two @ signs" "$lines_file" ||
    fail "the list of lines lacks line 12 with its reason"
grep -q -e secret -e Hunter2 "$lines_file" && fail "the list of lines shows a password"
expect_equal "mailboxes from the mixed file" "$(printf 'main\tok\nmain\tzoë')" \
    "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2)"
expect_equal "domains from the mixed file" "$(printf 'example.com\tmain')" \
    "$("$TWAO" list domains | tail -n +2 | cut -f1,2)"
[[ -d "$DATA/Postoffices/main/mailroot/zoë/inbox" ]] || fail "zoë's folder was not made"

before=$(snapshot)
run_to_end import "$WORK/header.csv" 30
expect_equal "the server after a file with only a header" "$before" "$(snapshot)"

for file in bom.csv utf16.csv; do run_to_end import "$WORK/$file" 30; done
expect_equal "mailboxes from the marked files" "$(printf 'sales\tbom\nsales\twide\nsales\tzoé')" \
    "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2 | grep sales)"
[[ -d "$DATA/Postoffices/sales/mailroot/zoé/inbox" ]] || fail "zoé's folder was not made"

start_app
type_file "$WORK/typo.csv"
press_delete
close_box "Done"
quit_after delete

# Twelve lines that name no mailbox: the list holds all twelve.
start_app
type_file "$WORK/gone.csv"
press_delete
close_box "Done" Return
close_box "Save the list of lines" Return
quit_after delete
expect_equal "the list of a delete" "$(for i in $(seq 12); do
    printf '%s,main,gone%s@example.com,The line named no existing mailbox.\r\n' "$i" "$i"
done)" "$(tail -n +2 "$WORK/gone-lines.csv")"
expect_equal "mailboxes after the delete" "$(printf 'main\tzoë\nsales\tbom\nsales\twide\nsales\tzoé')" \
    "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2)"
echo "files as they are made, through the window: ok"
