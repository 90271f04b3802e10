#!/usr/bin/env bash
# The end of an import through the window that a failure ends after seven lines were passed
# over: lines that mix separators, double the @ or forget the domain. Five boxes, then the
# failure's end offering the list of lines; the list refused over the import file, failing on a
# full disk without touching the file it was to replace, and then written with no password in it
# and the columns of the fields that may hold one left empty.
# Usage: run_ends.sh <seedwell> <twao>
SEEDWELL=$1
TWAO=$2
source "$(dirname "$0")/lib.sh"

FULL=""
finish() {
    show_app_log_on_failure
    [[ -n "$FULL" ]] && umount "$FULL" 2>/dev/null || true
    cleanup
}
trap finish EXIT

# Answers Yes to the save dialog's question whether to replace the file, which carries the
# dialog's own title, and waits until the dialog has gone.
replace_yes() {
    local title="Save the list of lines"
    for _ in $(seq 100); do
        (($(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | wc -l) >= 2)) && break
        sleep 0.1
    done
    xdotool key --delay 40 alt+y
    wait_gone "$title"
}

# Types the path $1 into the save dialog and accepts it.
save_as() {
    keys_to "Save the list of lines" ctrl+a
    xdotool type --delay 5 "$1"
    xdotool key --delay 40 Return
}

start_display
install_server main sales
in=$WORK/in.csv
printf '%s\r\n' "main,bob@example.com;Hunter2" "main,carl@example.com Hunter3" \
    $'main,dave@example.com\tHunter4' "main;fay@example.com;Hunter6,x@y.z" \
    "main,j@@example.com,Hunter7" "main,@x f@example.com,Hunter8" "main,bob,Hunter9" \
    "main,ok@example.com,Hunter10" "nosuch,x@new.example,Hunter11" \
    "main,after@example.com,Hunter12" >"$in"
cp "$in" "$WORK/in.copy"

# A full file system holding a list of an earlier run, where it can be mounted.
full=$WORK/full
mkdir "$full"
if mount -t tmpfs -o size=16k tmpfs "$full" 2>/dev/null; then
    FULL=$full
    echo "the old list" >"$full/list.csv"
    dd if=/dev/zero of="$full/filler" bs=1k count=64 2>/dev/null || true
else
    echo "cannot mount a small file system here: the save to a full disk is not tried"
fi

start_app
type_file "$in"
press_import
for _ in 1 2 3 4 5; do close_seedwell_box; done
# The failure's end, with no title of its own, asks whether to save the list: Yes.
close_seedwell_box
save_as "$in"
replace_yes
close_seedwell_box # the list cannot be saved over the import file
close_seedwell_box # the question again: Yes
if [[ -n "$FULL" ]]; then
    save_as "$full/list.csv"
    replace_yes
    close_seedwell_box # the list could not be saved
    close_seedwell_box # the question again: Yes
fi
save_as "$WORK/saved"
wait_gone "Save the list of lines"
quit_after import

expect_equal "the import file" "$(cat "$WORK/in.copy")" "$(cat "$in")"
if [[ -n "$FULL" ]]; then
    expect_equal "the list on the full disk" "the old list" "$(cat "$full/list.csv")"
    expect_equal "what the full disk holds" "$(printf 'filler\nlist.csv')" "$(ls -A "$full")"
fi
list=$WORK/saved.csv
[[ -f "$list" ]] || fail "the list was not saved as $list"
grep -q Hunter "$list" && fail "the list shows a password: $(grep Hunter "$list")"
expect_equal "the list's lines" "$(printf '%s\n' line 1 2 3 4 5 6 7)" \
    "$(sed '1s/^\xEF\xBB\xBF//' "$list" | cut -d, -f1)"
# The fields that failed their check and may hold the rest of their line are left empty.
expect_equal "the list's columns" \
    "$(printf '%s\n' main, main, main, ,x@y.z main,j@@example.com main, main,bob)" \
    "$(tail -n +2 "$list" | cut -d, -f2,3)"
grep -q "^5,main,j@@example.com,Line 5 was passed over: the address 'j@@example.com' is not a" \
    "$list" ||
    fail "the doubled @ is not listed with its reason: $(grep "^5," "$list")"
expect_equal "the mailboxes" "$(printf 'main\tok')" "$("$TWAO" list mailboxes | tail -n +2 | cut -f1,2)"
echo "the ends of a run, through the window: ok"
