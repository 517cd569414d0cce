#!/usr/bin/env bash
# The configuration file's MIME type, offline: a private shared-mime-info database (the system's types and ours)
# asked through GIO, which looks at the content of a file whose name decides nothing. Written configurations (size
# codes of 1, 2 and 3 bytes) are ours; a picture and a damaged configuration, both named .bin, are not.
# Usage: mime_type_test.sh PLINTHCTL MIME_XML PNG_FILE
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$2" /usr/share/mime/packages/freedesktop.org.xml "$work/mime/packages/"
export XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work"
PKGSYSTEM_ENABLE_FSYNC=0 update-mime-database "$work/mime"  # a throw-away database needs no fsync

echo '{}' | "$1" build - -o "$work/empty.bin"
echo '{"slaves": [{"node": "1", "moduleId": "704"}]}' | "$1" build - -o "$work/one.bin"
slaves="$(for n in $(seq 1 254); do printf '{"node": "%d", "description": "%0100d"},' "$n" 0; done)"
echo "{\"slaves\": [${slaves%,}]}" | "$1" build - -o "$work/full.bin"
[ "$(od -An -tx1 -N1 "$work/full.bin")" = " e0" ] || { echo "FAIL: full.bin has no 3-byte size code"; exit 1; }
cp "$3" "$work/picture.bin"
sed 's/GenericBusTable/GenericBusTablX/' "$work/one.bin" >"$work/damaged.bin"
for case in empty.bin=ours one.bin=ours full.bin=ours picture.bin=image/png damaged.bin=other; do
  file="${case%%=*}" want="${case#*=}"
  got="$(gio info -a standard::content-type "$work/$file" | sed -n 's/^ *standard::content-type: //p')"
  is="${got/#application\/x-genericbuscfg/ours}"
  [ "$is" = "$want" ] || { [ "$want" = other ] && [ -n "$got" ] && [ "$is" != ours ]; } ||
    { echo "FAIL: $file is '$got', expected $want"; exit 1; }
done
