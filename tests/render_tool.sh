#!/bin/bash
# The page renderer on documents that fail or are damaged: it ends by itself
# (a message box answers at once), exits with status 2 after writing what it
# was asked for, keeps its standard output free of traces, and lists an
# archive named without an entry.
#   usage: render_tool.sh QUILLO-RENDER SOURCE-DIR [EMULATOR ARGS...]
# (a cross build passes its emulator, which then runs the tool)
set -u
RENDER=("${@:3}" "$1")
SRC=$2
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A PalmDoc file that is none: the import fails.
head -c 120 /dev/zero | tr '\0' 'x' > "$TMP/bad.pdb"
timeout 10 "${RENDER[@]}" "$TMP/bad.pdb" --lines -o "$TMP/bad.bmp" > "$TMP/out" 2> "$TMP/err"
rc=$?
[ $rc -eq 2 ] || fail "failed import gave status $rc, not 2"
[ -s "$TMP/bad.bmp" ] || fail "no frame written for the failed import"
grep -q "Error loading file: bad.pdb" "$TMP/err" || fail "message box not on standard error"
[ ! -s "$TMP/out" ] || fail "text output of an empty document is not empty: $(head -3 "$TMP/out")"

# A cut RTF document: its text is printed, the message goes to standard error.
printf '{\\rtf1 kept text\\'"'"'zzlost}' > "$TMP/cut.rtf"
timeout 10 "${RENDER[@]}" "$TMP/cut.rtf" --codes > "$TMP/out" 2> "$TMP/err"
rc=$?
[ $rc -eq 2 ] || fail "cut RTF gave status $rc"
[ "$(cat "$TMP/out")" = "kept text" ] || fail "cut RTF printed: $(cat "$TMP/out")"

# Traces of the importers and the platform stay off standard output.
printf '<html><body>a&#65;b</body></html>' > "$TMP/page.html"
timeout 10 "${RENDER[@]}" "$TMP/page.html" --codes > "$TMP/out" 2> "$TMP/err"
rc=$?
[ $rc -eq 0 ] || fail "sound page gave status $rc"
[ "$(cat "$TMP/out")" = "aAb" ] || fail "page printed: $(cat "$TMP/out")"
grep -q "GpVideo" "$TMP/err" || fail "platform traces missing from standard error"

# An archive without "#": its entries are listed.
timeout 10 "${RENDER[@]}" "$SRC/tests/data/zip/infozip.zip" > "$TMP/out" 2> "$TMP/err"
rc=$?
[ $rc -eq 0 ] || fail "archive listing gave status $rc"
grep -q " book.txt$" "$TMP/out" || fail "archive listing lacks book.txt"
grep -q "is an archive" "$TMP/err" || fail "archive listing does not say it is an archive"
echo "render tool: all checks passed"
