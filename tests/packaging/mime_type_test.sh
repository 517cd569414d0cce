#!/usr/bin/env bash
# The configuration file's MIME type, offline: a private shared-mime-info
# database (the system's types and ours) in a temporary folder, asked through
# GIO, which looks at the content of a file whose name decides nothing.
# Written configurations (total-size codes of 1, 2 and 3 bytes) are ours;
# other .bin files, a damaged header among them, are not.
# Usage: mime_type_test.sh PLINTHCTL MIME_XML PNG_FILE
set -euo pipefail
plinthctl="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$2" "$work/mime/packages/plinth.xml"
cp /usr/share/mime/packages/freedesktop.org.xml "$work/mime/packages/" 2>/dev/null || true
export XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work"
# A throw-away database needs no fsync of each of its files.
PKGSYSTEM_ENABLE_FSYNC=0 update-mime-database "$work/mime"

ours=application/x-genericbuscfg
echo '{}' | "$plinthctl" build - -o "$work/empty.bin"
echo '{"slaves": [{"node": "1", "moduleId": "704"}]}' | "$plinthctl" build - -o "$work/one.bin"
slaves="$(for n in $(seq 1 254); do printf '{"node": "%d", "moduleId": "704", "description": "%0100d"},' "$n" 0; done)"
echo "{\"slaves\": [${slaves%,}]}" | "$plinthctl" build - -o "$work/full.bin"
printf 'plain text, not a configuration\n' > "$work/notes.bin"
head -c 4096 /dev/urandom > "$work/random.bin"
cp "$3" "$work/picture.bin"
sed 's/GenericBusTable/GenericBusTablX/' "$work/one.bin" > "$work/damaged.bin"

failed=0
check() {  # check FILE EXPECTED [not]
  local got
  got="$(gio info -a standard::content-type "$work/$1" | sed -n 's/^ *standard::content-type: //p')"
  if [ -z "$got" ] || { [ "${3:-}" = not ] && [ "$got" = "$2" ]; } || { [ "${3:-}" != not ] && [ "$got" != "$2" ]; }; then
    echo "FAIL: $1 is '$got', expected ${3:-}${3:+ }$2"
    failed=1
  fi
}
check empty.bin "$ours"
check one.bin "$ours"
check full.bin "$ours"
check notes.bin text/plain
check random.bin "$ours" not
check picture.bin image/png
check damaged.bin "$ours" not
[ "$(head -c 1 "$work/full.bin" | od -An -tx1 | tr -d ' ')" = e0 ] || { echo "FAIL: full.bin has no 3-byte size code"; failed=1; }
exit "$failed"
