#!/usr/bin/env bash
# The Windows test set-up's decisions for each kind of machine, with the 32-bit probe's answer
# and dpkg's made to say each case: whether scripts/install-deps installs the 32-bit Wine, and
# whether the 32-bit suite of scripts/test-windows runs or which reason its NOT RUN line gives.
# Nothing is installed: apt-get, dpkg, dpkg-query and sudo are stand-ins that log their calls.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib/wine.sh
source "$ROOT/scripts/lib/wine.sh"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/seedwell-setup-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# dpkg-query: every package is installed but those in $MISSING.
mkdir "$WORK/bin"
cat >"$WORK/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
[[ " $MISSING " == *" ${!#} "* ]] && exit 1
printf 'install ok installed'
EOF
# dpkg: the foreign architectures are $FOREIGN.
cat >"$WORK/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
if [[ $1 == --print-foreign-architectures ]]; then printf '%s\n' $FOREIGN; exit; fi
echo "dpkg $*" >>"$LOG"
EOF
# apt-get: installs anything, or with APT_LACKS_I386 set nothing of i386, as a mirror out of step.
cat >"$WORK/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$LOG"
if [[ -n ${APT_LACKS_I386:-} && " $* " == *" install "*":i386"* ]]; then
    echo "E: Version '8.0~repack-4' for 'wine32:i386' was not found" >&2
    exit 100
fi
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$WORK/bin/sudo"
chmod +x "$WORK/bin/"*
# The probe's two answers: a program that runs as ours does, and bytes no kernel runs.
printf '#!/bin/sh\nexit 32\n' >"$WORK/runs"
printf '\0\1\2\3' >"$WORK/refused"
chmod +x "$WORK/runs" "$WORK/refused"
export PATH="$WORK/bin:$PATH" LOG="$WORK/log" MISSING FOREIGN APT_LACKS_I386 SEEDWELL_I386_PROBE
if [[ $(command -v apt-get) != "$WORK/bin/apt-get" || $(command -v dpkg) != "$WORK/bin/dpkg" ]]
then
    echo "the stand-ins for apt-get and dpkg are not the ones found; stopping" >&2
    exit 1
fi

KERNEL="this machine's kernel runs no 32-bit x86 programs (a 32-bit test program: Exec format"
KERNEL+=" error)"
ARCHIVE="the archive could not provide wine32:i386 (scripts/install-deps --windows tried; apt's"
ARCHIVE+=" reason is further up)"

# The 32-bit suite: probe | wine32:i386 missing | what i686_suite_runs says (nothing: it runs).
while IFS='|' read -r probe MISSING want; do
    SEEDWELL_I386_PROBE=$WORK/$probe
    said=$(i686_suite_runs) && ran=yes || ran=no
    [[ $ran == "$([[ -z $want ]] && echo yes || echo no)" && $said == "$want" ]] ||
        fail "32-bit suite, probe $probe, missing '$MISSING': ran $ran, said '$said', not '$want'"
done <<EOF
runs||
runs|wine32:i386|$ARCHIVE
refused|wine32:i386|$KERNEL
refused||$KERNEL; the wine32:i386 installed here cannot start
EOF

# scripts/install-deps --windows: probe | missing | foreign architectures | the archive lacks
# i386 | its calls in order, joined by ";" (a regular expression) | what it must say.
while IFS='|' read -r probe MISSING FOREIGN APT_LACKS_I386 want message; do
    SEEDWELL_I386_PROBE=$WORK/$probe
    : >"$LOG"
    case="install-deps, probe $probe, missing '$MISSING', foreign '$FOREIGN'"
    said=$("$ROOT/scripts/install-deps" --windows 2>&1) || fail "$case: failed: $said"
    calls=$(paste -sd';' "$LOG")
    [[ $calls =~ $want ]] || fail "$case: called '$calls', not '$want'"
    [[ $said == *"$message"* ]] || fail "$case: said '$said', not '$message'"
done <<EOF
runs|wine32:i386|||^dpkg --add-architecture i386;apt-get .*update;apt-get install [^;]* wine32:i386$|
runs|wine32:i386|i386|1|^apt-get .*update;apt-get install [^;]* wine32:i386$|WARNING: wine32:i386 could not be installed
refused|wine32:i386|||^$|wine32:i386 is left out: $KERNEL;
refused|wine64 wine32:i386|i386||^apt-get .*update;apt-get install [^;]* wine64$|wine32:i386 is left out: $KERNEL;
EOF

# Our own probe: an i386 executable that the kernel either runs or refuses as a format it does
# not know, never one that starts and goes wrong.
write_i386_probe "$WORK/probe"
headers=$(readelf -h -l "$WORK/probe")
for want in "Class: *ELF32" "Machine: *Intel 80386" "Type: *EXEC" \
    "Entry point address: *0x8048054" "LOAD *0x000000 0x08048000 0x08048000 0x00060 0x00060 R E 0x1000"; do
    grep -Eq "$want" <<<"$headers" || fail "the probe's headers lack '$want': $headers"
done
code=$(objdump -D -b binary -mi386 --start-address=0x54 "$WORK/probe" |
    sed -n 's/^ *[0-9a-f]*:\t[^\t]*\t//p')
[[ $code == $'mov    $0x1,%eax\nmov    $0x20,%ebx\nint    $0x80' ]] || fail "the probe's code: $code"
unset SEEDWELL_I386_PROBE
if said=$(kernel_runs_i386); then
    echo "this kernel runs 32-bit x86 programs"
else
    [[ $said == "$KERNEL" ]] || fail "our probe: $said"
    echo "$said"
fi

((failures == 0)) || exit 1
echo PASS
