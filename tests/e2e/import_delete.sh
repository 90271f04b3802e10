#!/usr/bin/env bash
# Imports a file through the real window, re-imports it, declines and then confirms a delete,
# and checks the server's records and the folders on disk after every step.
# Usage: import_delete.sh <seedwell> <twao>
SEEDWELL=$1
TWAO=$2
source "$(dirname "$0")/lib.sh"

start_display
install_server main sales

printf 'main,keep@example.com,keep it\n' >"$WORK/keep.csv"
printf '%s\r\n' "main,alice@example.com,pw one,ignored" "main,bob@example.com,pw2" \
    "sales,carol@example.org,pw3" "main,dave@example.org,pw4" "" \
    "postoffice,emailaddress,password" >"$WORK/import.csv"
printf '%s\n' "main,alice@example.com" "main,bob" "sales,carol@example.org,x" \
    "sales,dave@example.org" "main,nobody@example.com" >"$WORK/delete.csv"

# Import two files, each through a fresh start of the program.
for file in keep.csv import.csv; do
    start_app
    type_file "$WORK/$file"
    press_import
    close_box "Done"
    quit_app_from_import
done

imported=$(snapshot)
expect_equal "mailboxes after import" "$(printf 'postoffice\tmailbox\nmain\talice
main\tbob\nmain\tkeep\nsales\tcarol\nsales\tdave')" "$("$TWAO" list mailboxes | cut -f1,2)"
expect_equal "domains" "$(printf 'domain\tpostoffice\nexample.com\tmain\nexample.org\tsales')" \
    "$("$TWAO" list domains | cut -f1,2)"
expect_equal "logins" "$(printf 'username\taccount\trights\nalice@main\tmain\tUSER
bob@main\tmain\tUSER\ncarol@sales\tsales\tUSER\ndave@sales\tsales\tUSER\nkeep@main\tmain\tUSER')" \
    "$("$TWAO" list logins | cut -f1-3)"
expect_equal "address maps" "$(printf 'source\tdestination\taccount
[SMTP:alice@example.com]\t[SF:main/alice]\tmain
[SMTP:bob@example.com]\t[SF:main/bob]\tmain
[SMTP:carol@example.org]\t[SF:sales/carol]\tsales
[SMTP:dave@example.org]\t[SF:sales/dave]\tsales
[SMTP:keep@example.com]\t[SF:main/keep]\tmain')" "$("$TWAO" list addressmaps | cut -f1-3)"
expect_equal "folders after import" "$(printf '%s\n' ./main ./main/mailroot \
    ./main/mailroot/alice ./main/mailroot/alice/inbox ./main/mailroot/bob \
    ./main/mailroot/bob/inbox ./main/mailroot/keep ./main/mailroot/keep/inbox ./sales \
    ./sales/mailroot ./sales/mailroot/carol ./sales/mailroot/carol/inbox \
    ./sales/mailroot/dave ./sales/mailroot/dave/inbox)" \
    "$(cd "$DATA/Postoffices" && find . -mindepth 1 | LC_ALL=C sort)"
"$TWAO" login check alice@main "pw one" || fail "alice's password does not match"
"$TWAO" login check alice@main "pw two" && fail "a wrong password matched"

# A second import of the same file changes nothing.
start_app
type_file "$WORK/import.csv"
press_import
close_box "Done"
quit_app_from_import
expect_equal "the server after a re-run" "$imported" "$(snapshot)"

# Delete, answering No: nothing changes.
start_app
type_file "$WORK/delete.csv"
press_delete Escape
expect_equal "the server after declining" "$imported" "$(snapshot)"

# Delete again in the same window, answering Yes (the default button).
keys_to "Import/Delete Mailboxes" space
close_box "Delete" Return
close_box "Done"
expect_equal "the server after the delete" "== postoffices
name
main
sales
== domains
$("$TWAO" list domains)
== mailboxes
$("$TWAO" list mailboxes | head -1)
main	keep	-1		0	1	0
== logins
$("$TWAO" list logins | head -1)
keep@main	main	USER	1	
== addressmaps
$("$TWAO" list addressmaps | head -1)
[SMTP:keep@example.com]	[SF:main/keep]	main	
== folders
./main
./main/mailroot
./main/mailroot/keep
./main/mailroot/keep/inbox
./sales
./sales/mailroot" "$(snapshot)"
"$TWAO" login check keep@main "keep it" || fail "the kept login lost its password"

# The focus is on Delete; Quit comes just before it in the tab order.
quit_after delete
echo "import and delete through the window: ok"
