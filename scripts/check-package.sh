#!/usr/bin/env bash
# Checks Plinth as an installed desktop program, from a built folder (default
# build/release): `cmake --install` into a temporary folder; the desktop
# entry, the AppStream metainfo and the manual pages with Debian's tools (and
# every command and option of --help named in its page); `cpack -G DEB` and
# lintian; the package unpacked, its programs run from there and a written
# file opened by the desktop's rules in its desktop entry; then dpkg
# installs it into a private root folder (never the running system), where
# plinth and plinthctl get cap_net_bind_service and plinthctl, run as nobody
# in a network namespace of its own, binds the BOOTP port; and dpkg removes
# it again, leaving nothing behind. Ends with "packaging: N passed, 0 failed";
# the first failed check stops it with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(realpath "${1:-build/release}")"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
PASSED=0
pass() { echo "ok: $1"; PASSED=$((PASSED + 1)); }
fail() {
  echo "FAILED: $1" >&2
  echo "packaging: $PASSED passed, 1 failed"
  exit 1
}
# expect_empty WHAT COMMAND...: the command succeeds and prints nothing.
expect_empty() {
  local what="$1" out
  shift
  out="$("$@" 2>&1)" || fail "$what: $out"
  [ -z "$out" ] || fail "$what: $out"
  pass "$what"
}

VERSION="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD/CPackConfig.cmake")"
[ -n "$VERSION" ] || fail "no CPackConfig.cmake in $BUILD (configure and build it first)"

# --- cmake --install
DEST="$WORK/dest"
DESTDIR="$DEST" cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" || fail "cmake --install: $(cat "$WORK/install.log")"
share="$DEST/usr/share"
for f in bin/plinth bin/plinthctl bin/plinth-sim share/applications/org.plinth.Plinth.desktop \
  share/metainfo/org.plinth.Plinth.metainfo.xml share/mime/packages/plinth.xml \
  share/icons/hicolor/scalable/apps/org.plinth.Plinth.svg share/icons/hicolor/48x48/apps/org.plinth.Plinth.png \
  share/man/man1/plinth.1.gz share/man/man1/plinthctl.1.gz share/man/man1/plinth-sim.1.gz \
  share/doc/plinth/copyright share/doc/plinth/changelog.gz share/bash-completion/completions/plinthctl \
  share/bash-completion/completions/plinth-sim; do
  [ -f "$DEST/usr/$f" ] || fail "cmake --install did not install usr/$f"
done
pass "cmake --install: $(find "$DEST" -type f | wc -l) files"

# --- desktop entry, metainfo, manual pages
expect_empty "desktop-file-validate" desktop-file-validate "$share/applications/org.plinth.Plinth.desktop"
appstreamcli validate --no-net "$share/metainfo/org.plinth.Plinth.metainfo.xml" >"$WORK/appstream.log" 2>&1 ||
  fail "appstreamcli validate: $(cat "$WORK/appstream.log")"
pass "appstreamcli validate --no-net"
for page in plinth plinthctl plinth-sim; do
  expect_empty "man --warnings $page.1" sh -c 'LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$1" >/dev/null' \
    sh "$share/man/man1/$page.1.gz"
done

# Every command and option that --help shows is named in the page.
page_text() { zcat "$share/man/man1/$1.1.gz" | sed 's/\\-/-/g'; }
options_of() { "$@" --help | sed -n 's/^ *\(-[a-zA-Z],\)\{0,1\}\(--[a-z][a-z-]*\).*/\2/p'; }
names() { grep -q -- "$2\b" <<<"$1"; }
ctl="$BUILD/bin/plinthctl"
ctl_page="$(page_text plinthctl)"
sim_page="$(page_text plinth-sim)"
commands="$("$ctl" --help | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z-]*\) .*/\1/p')"
[ -n "$commands" ] || fail "plinthctl --help lists no commands"
missing=()
for option in $(options_of "$ctl"); do names "$ctl_page" "$option" || missing+=("plinthctl $option"); done
for command in $commands; do
  names "$ctl_page" "plinthctl $command" || missing+=("plinthctl $command")
  for option in $(options_of "$ctl" "$command"); do
    names "$ctl_page" "$option" || missing+=("plinthctl $command $option")
  done
done
for option in $(options_of "$BUILD/bin/plinth-sim"); do names "$sim_page" "$option" || missing+=("plinth-sim $option"); done
[ "${#missing[@]}" -eq 0 ] || fail "not in the manual pages: ${missing[*]}"
pass "manual pages name every command and option ($(wc -w <<<"$commands") commands)"

# Every default and range of values that --help shows is in the page: "(default 502)", "0 to 65535".
limits_of() { "$@" --help | grep -oE '^ +(-[a-zA-Z],)?--[a-z-]+ [A-Z]+(:[A-Z]+ in \[[0-9]+ - [0-9]+\])?=[^ ]+'; }
check_limits() {  # PAGE_TEXT PROGRAM [COMMAND]
  local page="$1" line option range value
  shift
  while read -r line; do
    option="$(sed 's/^\(-[a-zA-Z],\)\{0,1\}\(--[a-z-]*\).*/\2/' <<<"$line")"
    value="${line##*=}"
    grep -qwF -- "default $value" <<<"$page" || missing+=("$* $option: default $value")
    range="$(sed -n 's/.* in \[\([0-9]*\) - \([0-9]*\)\].*/\1 to \2/p' <<<"$line")"
    [ -z "$range" ] || grep -qwF -- "$range" <<<"$page" || missing+=("$* $option: $range")
  done < <(limits_of "$@")
}
missing=()
for command in $commands; do check_limits "$ctl_page" "$ctl" "$command"; done
check_limits "$sim_page" "$BUILD/bin/plinth-sim"
[ "${#missing[@]}" -eq 0 ] || fail "defaults or ranges of --help not in the manual pages: ${missing[*]}"
pass "manual pages give every default and range of values that --help shows"

# --- the Debian package
rm -f "$BUILD"/plinth_*.deb
(cd "$BUILD" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || fail "cpack -G DEB: $(cat "$WORK/cpack.log")"
DEB="$BUILD/plinth_${VERSION}_$(dpkg --print-architecture).deb"
[ -f "$DEB" ] || fail "cpack made no $DEB"
pass "cpack -G DEB: $(basename "$DEB")"

lintian --fail-on error "$DEB" >"$WORK/lintian.log" 2>&1 || fail "lintian: $(cat "$WORK/lintian.log")"
cat "$WORK/lintian.log"
pass "lintian: no errors ($(grep -c '^W:' "$WORK/lintian.log" || true) warnings)"

depends="$(dpkg-deb -f "$DEB" Depends)"
for d in libcap2-bin libc6 libqt6widgets6; do
  [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d: $depends"
done
dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./||' | sort >"$WORK/deb.list"
(cd "$DEST" && find . -type f | sed 's|^\./||' | sort) >"$WORK/install.list"
diff -u "$WORK/install.list" "$WORK/deb.list" >"$WORK/lists.diff" || fail "package and cmake --install differ: $(cat "$WORK/lists.diff")"
pass "package: what cmake --install installs; Depends: $depends"

# --- the programs from the unpacked package
UNPACKED="$WORK/unpacked"
dpkg-deb -x "$DEB" "$UNPACKED"
for program in plinth plinthctl plinth-sim; do
  out="$("$UNPACKED/usr/bin/$program" --version)" || fail "$program --version failed"
  [ "$out" = "$program $VERSION" ] || fail "$program --version printed '$out'"
done
pass "--version of the three programs: $VERSION"
echo '{"master": {"ip": "192.168.1.10"}, "slaves": [{"node": "1", "moduleId": "704", "macAddress": "02:00:00:00:00:01"}]}' |
  "$UNPACKED/usr/bin/plinthctl" build - -o "$WORK/sample.bin" || fail "plinthctl build of the sample"
out="$("$UNPACKED/usr/bin/plinthctl" check "$WORK/sample.bin")" || fail "plinthctl check: $out"
[ "$out" = "$WORK/sample.bin: valid, 1 slave, master 192.168.1.10" ] || fail "plinthctl check printed '$out'"
pass "plinthctl build and check from the package"

# The desktop knows that file by its content and opens it in Plinth: the
# package's MIME type and desktop entry alone, caches made in the unpacked tree.
shared="$UNPACKED/usr/share"
XDG_DATA_DIRS="$shared" PKGSYSTEM_ENABLE_FSYNC=0 update-mime-database "$shared/mime"
update-desktop-database "$shared/applications"
desktop=(env XDG_DATA_HOME="$WORK/none" XDG_DATA_DIRS="$shared" XDG_CONFIG_HOME="$WORK/none"
  XDG_CONFIG_DIRS="$WORK/none" PATH="$UNPACKED/usr/bin:$PATH")
type="$("${desktop[@]}" gio info -a standard::content-type "$WORK/sample.bin" | sed -n 's/^ *standard::content-type: //p')"
handler="$("${desktop[@]}" gio mime "$type" | sed -n 1p)"
[[ "$type" == application/x-genericbuscfg && "$handler" == *": org.plinth.Plinth.desktop" ]] ||
  fail "the desktop takes the sample for '$type', handled by '$handler'"
pass "the desktop opens a configuration file in Plinth"

# --- installed and removed by dpkg in a private root
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing into a private root with capabilities needs root"
else
  ROOT="$WORK/root"
  chmod 755 "$WORK"  # nobody runs plinthctl from there
  mkdir -p "$ROOT/var/lib/dpkg/updates" "$ROOT/var/lib/dpkg/info"
  touch "$ROOT/var/lib/dpkg/status"
  # The private database knows no other package, hence --force-depends.
  dpkg_root() { dpkg --root="$ROOT" --force-script-chrootless --force-depends "$@"; }
  dpkg_root -i "$DEB" >"$WORK/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$WORK/dpkg.log")"
  touch "$WORK/probe"
  if ! setcap cap_net_bind_service=+ep "$WORK/probe" 2>/dev/null; then
    echo "skipped: file capabilities cannot be set here (postinst said: $(grep -m1 'could not give' "$WORK/dpkg.log"))"
  else
    for program in plinth plinthctl; do
      getcap "$ROOT/usr/bin/$program" | grep -q cap_net_bind_service=ep || fail "$program has no cap_net_bind_service"
    done
    pass "dpkg -i: plinth and plinthctl have cap_net_bind_service"

    # Port 67 as nobody, on the loopback of a network namespace of its own.
    if ! unshare --net true 2>/dev/null; then
      echo "skipped: no network namespace can be made here for the port 67 check"
    else
      timeout 5 unshare --net sh -c 'ip link set lo up && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$1" bootp --bind 127.0.0.1 --reply 127.0.0.1 --client-port 6868' sh "$ROOT/usr/bin/plinthctl" \
        >"$WORK/bootp.log" 2>&1 || true
      grep -q "^serving 127.0.0.1:67," "$WORK/bootp.log" ||
        fail "plinthctl as nobody could not serve port 67: $(cat "$WORK/bootp.log")"
      pass "plinthctl bootp binds port 67 as nobody"
    fi
  fi

  dpkg_root --purge plinth >"$WORK/dpkg.log" 2>&1 || fail "dpkg --purge: $(cat "$WORK/dpkg.log")"
  left="$(cd "$ROOT" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg*')"
  [ -z "$left" ] || fail "dpkg --purge left: $left"
  pass "dpkg --purge removes everything"
fi

echo "packaging: $PASSED passed, 0 failed"
