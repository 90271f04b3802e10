#!/usr/bin/env bash
# Deletes through the window mailboxes that an attacker inside the post-office tree has prepared:
# one whose post office's mailroot is a link to a folder outside, and one holding an immutable
# file deep inside. Each gets its own message box, nothing of either is removed, every file
# outside the tree survives, and the ordinary mailbox on the same list goes as usual.
# Usage: delete_refusals.sh <seedwell> <twao>
SEEDWELL=$1
TWAO=$2
source "$(dirname "$0")/lib.sh"

IMMUTABLE=""
finish() {
    show_app_log_on_failure
    [[ -n "$IMMUTABLE" ]] && chattr -i "$IMMUTABLE" 2>/dev/null || true
    cleanup
}
trap finish EXIT

start_display
install_server main sales
printf '%s\r\n' "main,alice@example.com,pw1" "main,bob@example.com,pw2" \
    "sales,carol@example.org,pw3" >"$WORK/list.csv"
run_to_end import "$WORK/list.csv" 60

# The sales post office's mailroot becomes a link to a folder outside holding a carol of its own.
outside="$WORK/outside"
mkdir -p "$outside/mailroot/carol/inbox"
echo "keep me" >"$outside/mailroot/carol/inbox/mail.eml"
echo "keep me" >"$outside/keep.txt"
rm -rf "$DATA/Postoffices/sales/mailroot"
ln -s "$outside/mailroot" "$DATA/Postoffices/sales/mailroot"

# Deep inside alice's mailbox, a file that cannot be removed, after a few that can.
alice="$DATA/Postoffices/main/mailroot/alice"
mkdir -p "$alice/inbox/deep"
for i in 1 2 3; do echo "message $i" >"$alice/inbox/m$i.eml"; done
echo "held" >"$alice/inbox/deep/held.eml"
if ! chattr +i "$alice/inbox/deep/held.eml" 2>/dev/null; then
    echo "cannot make a file immutable here (needs root on a file system with file flags)"
    exit 77
fi
IMMUTABLE="$alice/inbox/deep/held.eml"
alice_files=$(cd "$alice" && find . | LC_ALL=C sort)

start_app
type_file "$WORK/list.csv"
press_delete
# alice: in use; carol: a link. Each box is titled with the application's name.
close_seedwell_box
close_seedwell_box
close_box "Done"
quit_after delete

expect_equal "alice's files" "$alice_files" "$(cd "$alice" && find . | LC_ALL=C sort)"
[[ -L "$DATA/Postoffices/sales/mailroot" ]] || fail "the link was removed"
expect_equal "the folder outside" "keep me" "$(cat "$outside/mailroot/carol/inbox/mail.eml")"
expect_equal "the file outside" "keep me" "$(cat "$outside/keep.txt")"
expect_equal "mailboxes left" "$(printf 'main\talice\nsales\tcarol')" \
    "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2)"
[[ -d "$DATA/Postoffices/main/mailroot/bob" ]] && fail "bob's folder is still there"
echo "delete refusals through the window: ok"
