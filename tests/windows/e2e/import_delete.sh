#!/usr/bin/env bash
# The Windows program end to end under Wine: a fresh prefix under Xvfb, the COM stand-in of the
# mail server registered there, the program driven from outside by the console driver, and the
# records and folders checked from Linux through the prefix's Z: drive. The prefix is 64-bit;
# BITS says which program and stand-in are tested: 64, or 32 for a 32-bit pair, which read and
# register in the registry's 32-bit view as on 64-bit Windows.
#   import_delete.sh SEEDWELL_EXE DRIVER_EXE TWAO_COM_DLL BITS
set -euo pipefail

EXE=$1 DRIVER=$2 DLL=$3 BITS=$4
case "$BITS" in
    64) REGSVR32=regsvr32 ;;
    32) REGSVR32='C:\windows\syswow64\regsvr32.exe' ;;
    *) echo "BITS must be 64 or 32, not '$BITS'" >&2; exit 2 ;;
esac
# Every program through Wine's 64-bit loader, which hands a 32-bit one to the 32-bit loader: a
# 32-bit Wine that the kernel cannot run then never fails the 64-bit test.
# shellcheck source=scripts/lib/wine.sh
source "$(dirname "$0")/../../../scripts/lib/wine.sh"
use_wine64
WORK=$(mktemp -d "${TMPDIR:-/tmp}/seedwell-wine-e2e.XXXXXX")
DATA="$WORK/data"
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
XVFB_PID="" APP_PID="" HOLD_PID=""

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
cleanup() {
    local pid
    for pid in "$HOLD_PID" "$APP_PID"; do [[ -n "$pid" ]] && kill -9 "$pid" 2>/dev/null || true; done
    "$WINESERVER" -k 2>/dev/null || true
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# "Z:\tmp\x": a Linux path as Wine's programs see it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
drive() { "$WINELOADER" "$DRIVER" "$@" | tr -d '\r'; }
expect_equal() {
    [[ "$2" == "$3" ]] || fail "$1: expected
$2
got
$3"
}
expect_box() {  # title answer text
    local shown
    shown=$(drive box "$1" "$2" 60) || fail "no '$1' box"
    [[ "$shown" == *"$3"* ]] || fail "the '$1' box says '$shown', not '$3'"
}
snapshot() {
    (cd "$DATA/Config" && cat mailboxes.tsv domains.tsv logins.tsv addressmaps.tsv 2>/dev/null)
    (cd "$DATA/Postoffices" && find . -mindepth 1 | LC_ALL=C sort)
}
start_app() {
    "$WINELOADER" "$EXE" &
    APP_PID=$!
    HWND=$(drive window 60) || fail "the window did not show"
}
wait_ended() {
    for _ in $(seq 200); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$APP_PID" 2>/dev/null && fail "the program did not end after $1"
    wait "$APP_PID" || fail "the program ended with a failure after $1"
    APP_PID=""
}

# Wine stalls for seconds whenever a window hides unless it may manage windows without a
# window manager's help.
exec 9>"$WORK/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do [[ -s "$WORK/display" ]] && break; sleep 0.1; done
[[ -s "$WORK/display" ]] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -1 "$WORK/display")"

# One Wine server throughout: Debian's ends the moment its last program does, and a program
# that connects just then fails ("recvmsg: Connection reset by peer").
mkdir "$WINEPREFIX"
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINELOADER" cmd /c exit >/dev/null 2>&1
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"  # the window's own font among them
"$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
mkdir -p "$DATA/Config" "$DATA/Postoffices"
printf 'name\nmain\nsales\n' >"$DATA/Config/postoffices.tsv"
"$WINELOADER" reg add 'HKLM\SOFTWARE\Tarnwick\Tarnwick' /v 'Data Directory' /t REG_SZ \
    /d "$(winpath "$DATA")" "/reg:$BITS" /f >/dev/null
"$WINELOADER" "$REGSVR32" /s "$(winpath "$DLL")" ||
    fail "$REGSVR32 could not register the stand-in"

# The window: its caption, frame, client size, controls, focus and root box.
start_app
drive layout "$HWND" || fail "the window's layout"
expect_equal "the focus at start" "cmdSelect" "$(drive focus "$HWND")"
expect_equal "the root box" "$(winpath "$DATA")\\Postoffices" "$(drive gettext "$HWND" txtRoot)"

# Import.
printf '%s\r\n' 'main,alice@example.com,pw one' 'main,bob@example.com,pwtwo' \
    'sales,carol@example.org,pw3' >"$WORK/import.csv"
drive settext "$HWND" txtFile "$(winpath "$WORK/import.csv")"
drive click "$HWND" cmdImport
expect_box Done ok "Mailboxes created."
expect_equal "mailboxes" "$(printf 'postoffice\tmailbox\nmain\talice\nmain\tbob\nsales\tcarol')" \
    "$(cut -f1,2 "$DATA/Config/mailboxes.tsv")"
expect_equal "domains" "$(printf 'domain\tpostoffice\nexample.com\tmain\nexample.org\tsales')" \
    "$(cut -f1,2 "$DATA/Config/domains.tsv")"
expect_equal "logins" "$(printf 'username\taccount\tpassword\nalice@main\tmain\tgiven
bob@main\tmain\tgiven\ncarol@sales\tsales\tgiven')" "$(cut -f1,2,6 "$DATA/Config/logins.tsv")"
expect_equal "address maps" "$(printf 'source\tdestination\taccount
[SMTP:alice@example.com]\t[SF:main/alice]\tmain
[SMTP:bob@example.com]\t[SF:main/bob]\tmain
[SMTP:carol@example.org]\t[SF:sales/carol]\tsales')" "$(cut -f1-3 "$DATA/Config/addressmaps.tsv")"
expect_equal "folders" "$(printf '%s\n' ./main ./main/mailroot ./main/mailroot/alice \
    ./main/mailroot/alice/inbox ./main/mailroot/bob ./main/mailroot/bob/inbox ./sales \
    ./sales/mailroot ./sales/mailroot/carol ./sales/mailroot/carol/inbox)" \
    "$(cd "$DATA/Postoffices" && find . -mindepth 1 | LC_ALL=C sort)"
imported=$(snapshot)

# A second run creates nothing.
drive click "$HWND" cmdImport
expect_box Done ok "Mailboxes created."
expect_equal "the records after a re-run" "$imported" "$(snapshot)"

# Delete: No changes nothing.
printf '%s\r\n' 'main,alice@example.com' 'main,bob' >"$WORK/delete.csv"
drive settext "$HWND" txtFile "$(winpath "$WORK/delete.csv")"
drive click "$HWND" cmdDelete
expect_box Delete no "Are you sure you wish to delete the mailbox?"
expect_equal "the file box" "$(winpath "$WORK/delete.csv")" "$(drive gettext "$HWND" txtFile)"
expect_equal "the records after No" "$imported" "$(snapshot)"

# Yes removes; bob's folder holds a file another program has open, so bob stays.
"$WINELOADER" "$DRIVER" hold "$(winpath "$DATA/Postoffices/main/mailroot/bob/inbox/open.msg")" 60 \
    >"$WORK/hold.out" &
HOLD_PID=$!
for _ in $(seq 100); do grep -q held "$WORK/hold.out" 2>/dev/null && break; sleep 0.1; done
drive click "$HWND" cmdDelete
expect_box Delete yes "Are you sure you wish to delete the mailbox?"
expect_box Seedwell ok "The bob mailbox is in use and cannot be deleted."
expect_box Done ok "Mailboxes deleted, except for the lines reported: 2."
kill "$HOLD_PID" 2>/dev/null || true
wait "$HOLD_PID" 2>/dev/null || true
HOLD_PID=""
expect_equal "mailboxes after the delete" "$(printf 'postoffice\tmailbox\nmain\tbob\nsales\tcarol')" \
    "$(cut -f1,2 "$DATA/Config/mailboxes.tsv")"
[[ -d "$DATA/Postoffices/main/mailroot/alice" ]] && fail "alice's folder is still there"
[[ -d "$DATA/Postoffices/main/mailroot/bob" ]] || fail "bob's folder in use was removed"

# Files as spreadsheets and editors make them, on the ANSI code page 1252: UTF-8 with its mark
# and without it, and 1252 text, each read as the text it holds.
printf '\xEF\xBB\xBFmain,zo\xC3\xAB@example.com,pw\r\n' >"$WORK/marked.csv"
printf 'main,j\xC3\xB6rg@example.com,pw\r\n' >"$WORK/utf8.csv"
printf 'main,ren\xE9@example.com,pw\r\n' >"$WORK/cp1252.csv"
for file in marked utf8 cp1252; do
    drive settext "$HWND" txtFile "$(winpath "$WORK/$file.csv")"
    drive click "$HWND" cmdImport
    expect_box Done ok "Mailboxes created."
done
expect_equal "mailboxes of the three encodings" "$(printf 'main\tj\xC3\xB6rg\nmain\tren\xC3\xA9
main\tzo\xC3\xAB')" "$(cut -f1,2 "$DATA/Config/mailboxes.tsv" | grep -v -e bob -e carol -e mailbox |
    LC_ALL=C sort)"
[[ -d "$DATA/Postoffices/main/mailroot/zo"$'\xC3\xAB'"/inbox" ]] || fail "zoë's folder is missing"

# Letter case: folder names ignore it, the records do not. Kim would get kim's folder.
printf 'main,kim@example.com,pw\r\n' >"$WORK/kim.csv"
printf 'main,Kim@example.com,pw\r\n' >"$WORK/Kim.csv"
drive settext "$HWND" txtFile "$(winpath "$WORK/kim.csv")"
drive click "$HWND" cmdImport
expect_box Done ok "Mailboxes created."
drive settext "$HWND" txtFile "$(winpath "$WORK/Kim.csv")"
drive click "$HWND" cmdImport
expect_box Seedwell ok "Line 1 was passed over: the mailbox Kim would share the folder of the mailbox kim: folder names ignore letter case here; nothing was created for it."
expect_box Done ok "Mailboxes created, except for the lines reported: 1."
grep -q $'^main\tKim\t' "$DATA/Config/mailboxes.tsv" && fail "a record for Kim was made"
# A record Kim made elsewhere, written straight into the records: deleting it leaves kim's mail.
echo "kim's mail" >"$DATA/Postoffices/main/mailroot/kim/inbox/1.msg"
sed -i 's/^main\tkim\t\(.*\)$/&\nmain\tKim\t\1/' "$DATA/Config/mailboxes.tsv"
printf 'main,Kim\r\n' >"$WORK/delete-Kim.csv"
drive settext "$HWND" txtFile "$(winpath "$WORK/delete-Kim.csv")"
drive click "$HWND" cmdDelete
expect_box Delete yes "The file names 1 mailbox, in the post office main."
expect_box Seedwell ok "The Kim mailbox was not deleted: its folder main\\mailroot\\kim is named in other letters and may be another mailbox's."
expect_box Done ok "Mailboxes deleted, except for the lines reported: 1."
expect_equal "kim's mail" "kim's mail" "$(cat "$DATA/Postoffices/main/mailroot/kim/inbox/1.msg")"
grep -q $'^main\tKim\t' "$DATA/Config/mailboxes.tsv" || fail "Kim's record went"

# Eight lines passed over: five boxes, and an end that offers the list of them all; Yes and the
# file the save dialog proposes write it.
printf '%s\r\n' 'main;sem@example.com;pw' 'main, carol@example.com, secret' 'main,u3@example.com,' \
    'main,u4@example.com,' 'main,u5@example.com,' 'main,u6@example.com,' 'main,u7@example.com,' \
    'main,u8@example.com,' >"$WORK/mixed.csv"
drive settext "$HWND" txtFile "$(winpath "$WORK/mixed.csv")"
drive click "$HWND" cmdImport
for line in 1 2 3 4 5; do expect_box Seedwell ok "Line $line was passed over"; done
expect_box Done yes "Save the list of these lines, with what went wrong on each?"
expect_box "Save the list of lines" ok ""
for _ in $(seq 100); do [[ -s "$WORK/mixed-lines.csv" ]] && break; sleep 0.1; done
sleep 1  # written in one piece, but let the program finish it
expected=$({
    printf '\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n'
    printf '1,,,Line 1 was passed over: it holds no comma but semicolons: the fields must be separated by commas; nothing was created for it.\r\n'
    printf '2,main,,Line 2 was passed over: the address begins with a blank; nothing was created for it.\r\n'
    for n in 3 4 5 6 7 8; do
        printf '%s,main,u%s@example.com,Line %s was passed over: the password is empty; nothing was created for it.\r\n' "$n" "$n" "$n"
    done
} | od -An -c)
expect_equal "the list of lines" "$expected" "$(od -An -c "$WORK/mixed-lines.csv")"

# The list holds no passwords: the import file, picked by its name or by a link to it and the
# replace confirmed, is refused and the question asked again. Over another file the list takes
# its place in one step, and nothing is left beside it.
cp "$WORK/mixed.csv" "$WORK/mixed.kept"
ln -s mixed.csv "$WORK/link-to-mixed.csv"
printf 'an older and longer list of lines\r\n' >"$WORK/old-list.csv"
drive click "$HWND" cmdImport
for line in 1 2 3 4 5; do expect_box Seedwell ok "Line $line was passed over"; done
for chosen in mixed.csv link-to-mixed.csv; do
    expect_box Done yes "Save the list of these lines, with what went wrong on each?"
    asked=$(drive save "Save the list of lines" "$(winpath "$WORK/$chosen")" 60) ||
        fail "the save dialog, given $chosen"
    [[ "$asked" == *"already exists"* ]] || fail "the save dialog did not ask to replace $chosen"
    expect_box Seedwell ok "The list cannot be saved over the import file. Choose another name."
    cmp -s "$WORK/mixed.csv" "$WORK/mixed.kept" || fail "the import file changed, given $chosen"
done
expect_box Done yes "Save the list of these lines, with what went wrong on each?"
drive save "Save the list of lines" "$(winpath "$WORK/old-list.csv")" 60 >/dev/null ||
    fail "the save dialog, given old-list.csv"
for _ in $(seq 100); do cmp -s "$WORK/old-list.csv" "$WORK/mixed-lines.csv" && break; sleep 0.1; done
cmp -s "$WORK/old-list.csv" "$WORK/mixed-lines.csv" || fail "old-list.csv is not the list of lines"
[[ -L "$WORK/link-to-mixed.csv" ]] || fail "the link to the import file is no longer a link"
left=$(cd "$WORK" && ls -A | grep -i -e '\.tmp$' -e seedwell- || true)
[[ -z "$left" ]] || fail "left beside the list: $left"

# Quit, and the close box, end the program.
drive click "$HWND" cmdQuit
wait_ended Quit
start_app
drive close "$HWND"
wait_ended "the close box"

echo "PASS in ${SECONDS}s"
