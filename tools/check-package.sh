#!/usr/bin/env bash
# Checks the installation from a built tree (default build/): `cmake
# --install` into a scratch prefix, then the Debian package made by CPack,
# unpacked into a scratch root. In both, the installed velloran-kik must
# run and find its data folders (an HTML export needs them).
#
#   tools/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

# Runs the installed command-line tool of a prefix: its version, and an HTML
# export of a small local database, which reads the installed data folders.
check_installed() {
  local prefix=$1 label=$2
  local kik=$prefix/bin/velloran-kik
  [ -x "$kik" ] || fail "$label: bin/velloran-kik is missing"
  [ -x "$prefix/bin/velloran-kik-transfer" ] || fail "$label: bin/velloran-kik-transfer is missing"
  for folder in kikbb emoji kikemoji; do
    [ -d "$prefix/lib/velloran/$folder" ] || fail "$label: the data folder $folder is missing"
  done
  [ -f "$prefix/share/applications/com.velloran.KikTransfer.desktop" ] || fail "$label: no desktop entry"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/com.velloran.KikTransfer.svg" ] || fail "$label: no icon"
  [ -f "$prefix/share/metainfo/com.velloran.KikTransfer.metainfo.xml" ] || fail "$label: no AppStream metadata"
  [ -f "$prefix/share/man/man1/velloran-kik.1.gz" ] || fail "$label: no manual page"
  man -l "$prefix/share/man/man1/velloran-kik.1.gz" >/dev/null 2>&1 || fail "$label: the manual page does not render"

  "$kik" version | grep -q '^velloran-kik ' || fail "$label: velloran-kik version did not run"
  local data=$scratch/$label-data
  /usr/bin/python3 tests/fixtures/make_localdb.py "$data/local_databases/chats" plain
  "$kik" --quiet --data-root "$data" export localdb:chats --format html --out "$scratch/$label-html" \
    >/dev/null || fail "$label: the HTML export failed"
  [ -f "$scratch/$label-html/files/style.css" ] || fail "$label: the export lacks the bubble style"
  echo "check-package: $label: installed programs run and find their data"
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_installed "$scratch/prefix" install

appstreamcli validate --no-net packaging/com.velloran.KikTransfer.metainfo.xml >/dev/null \
  || fail "the AppStream metadata does not validate"
desktop-file-validate packaging/com.velloran.KikTransfer.desktop \
  || fail "the desktop entry does not validate"

rm -f "$build"/velloran-kik-transfer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velloran-kik-transfer_*.deb)
depends=$(dpkg-deb --field "$deb" Depends)
for package in adb usbmuxd libimobiledevice-utils libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "the package does not depend on $package"
done
contents=$(dpkg-deb --contents "$deb")
grep -q '/usr/bin/velloran-kik -> ' <<<"$contents" || fail "the package lacks /usr/bin/velloran-kik"
dpkg -x "$deb" "$scratch/root"
check_installed "$scratch/root/usr" deb
echo "check-package: $(basename "$deb") builds and installs"
