#!/usr/bin/env bash
# Writes the Unicode tables again from /usr/share/unicode and compares them with the committed
# base/unicode_tables.cpp. Exits 77 (skipped) where unicode-data is not installed.
#   unicode_tables_test.sh <source folder> <scratch file>
set -euo pipefail
source_dir="$1"
scratch="$2"
data=/usr/share/unicode/UnicodeData.txt
if [[ ! -f "$data" ]]; then
    echo "$data is missing (Debian's unicode-data): nothing to compare"
    exit 77
fi
"$source_dir/scripts/unicode-tables" "$data" "$scratch"
if ! diff -u "$source_dir/base/unicode_tables.cpp" "$scratch"; then
    echo "base/unicode_tables.cpp is not what scripts/unicode-tables writes from $data:" \
        "run scripts/unicode-tables and commit the result" >&2
    exit 1
fi
