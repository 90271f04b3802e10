# shellcheck shell=bash
# What the Windows test set-up asks of this machine, for scripts/install-deps, scripts/test-windows
# and the Wine end-to-end script to source: whether the kernel runs 32-bit x86 programs, whether
# the 32-bit suite can run, and Wine's 64-bit loader and server. Needs bash.

# Writes FILE: a program of our own, 96 bytes of static i386 ELF that exits with status 32.
write_i386_probe() {
    {
        # The ELF header: 32-bit, little-endian, an executable for the i386, entry 0x08048054,
        # its one program header at byte 52.
        printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0'
        printf '\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0'
        printf '\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0'
        # The program header: the whole file loaded at 0x08048000, readable and executable.
        printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08'
        printf '\x60\0\0\0\x60\0\0\0\x05\0\0\0\0\x10\0\0'
        # The code: mov eax, 1 (exit); mov ebx, 32 (its status); int 0x80.
        printf '\xb8\x01\0\0\0\xbb\x20\0\0\0\xcd\x80'
    } >"$1"
    chmod +x "$1"
}

# Succeeds when the kernel runs 32-bit x86 programs; otherwise prints why not and fails. Machines
# of one kind differ here (a kernel may be built or booted without them), and a 32-bit Wine that
# the kernel cannot start fails every program. The answer comes from running our own probe;
# SEEDWELL_I386_PROBE names another program to run in its place (the set-up's own test makes the
# answer either way with it).
kernel_runs_i386() {
    local dir probe status=0 said
    dir=$(mktemp -d "${TMPDIR:-/tmp}/seedwell-i386.XXXXXX")
    probe=${SEEDWELL_I386_PROBE:-$dir/probe}
    [[ -n ${SEEDWELL_I386_PROBE:-} ]] || write_i386_probe "$probe"
    if [[ ! -x $probe ]]; then
        rm -rf "$dir"
        echo "no 32-bit x86 program could be tried: ${TMPDIR:-/tmp} lets no program run" \
            "(set TMPDIR to a folder that does)"
        return 1
    fi
    said=$(LC_ALL=C "$probe" 2>&1) || status=$?
    rm -rf "$dir"
    case $status in
        32) return 0 ;;
        126) echo "this machine's kernel runs no 32-bit x86 programs (a 32-bit test program:" \
            "${said##*: })" ;;
        *) echo "this machine's kernel runs no 32-bit x86 programs (a 32-bit test program" \
            "ended with status $status, not 32)" ;;
    esac
    return 1
}

wine32_installed() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"
}

# Succeeds when the 32-bit Windows suite can run here; otherwise prints why not and fails. Meant
# for after scripts/install-deps --windows, which installs wine32:i386 wherever the kernel runs it.
i686_suite_runs() {
    local why
    if ! why=$(kernel_runs_i386); then
        if wine32_installed; then why+="; the wine32:i386 installed here cannot start"; fi
        echo "$why"
        return 1
    fi
    if ! wine32_installed; then
        echo "the archive could not provide wine32:i386 (scripts/install-deps --windows tried;" \
            "apt's reason is further up)"
        return 1
    fi
}

# Exports WINELOADER and WINESERVER as Wine's 64-bit loader and the server that matches it, for
# the scripts to start them by. Debian's `wine` picks the 32-bit loader whenever wine32:i386 is
# installed, and on a kernel that runs no 32-bit programs every program then fails, the 64-bit
# ones too ("Exec format error"). The 64-bit loader still hands a 32-bit program on to the 32-bit
# loader beside it. A Wine with one loader for both kinds (no wine64) is started as `wine`. Fails,
# saying what is missing, when there is no Wine.
use_wine64() {
    if [[ -x /usr/lib/wine/wine64 && -x /usr/lib/wine/wineserver64 ]]; then
        WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    elif WINELOADER=$(command -v wine64 || command -v wine) &&
        WINESERVER=$(command -v wineserver); then
        :
    else
        echo "Wine's 64-bit loader and server were not found (Debian's package wine64;" \
            "scripts/install-deps --windows installs it)" >&2
        return 1
    fi
    export WINELOADER WINESERVER
}
