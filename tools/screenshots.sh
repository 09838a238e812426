#!/bin/sh
# Takes the README's pictures of the desktop program: builds a data root with
# demo data (a local database, a virtual iPhone and a virtual Android phone,
# made by the test fixture builders), starts the program on it under Xvfb
# and lets it walk through its main states.
#
# usage: tools/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
out=${2:-$here/docs/screenshots}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fixtures=$here/tests/fixtures
/usr/bin/python3 "$fixtures/make_localdb.py" "$root/local_databases/Family Archive" media
/usr/bin/python3 "$fixtures/make_ios_kik_store.py" "$root/virtual_ios/Anna's iPhone" "$root/ios.json"
/usr/bin/python3 "$fixtures/make_android_kik.py" tree "$root/virtual_android/Pixel 7"

mkdir -p "$out"
export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1280x800x24" \
  timeout 120 "$build/src/velloran-kik-transfer" --data-root "$root" --screenshots "$out"
ls -l "$out"
