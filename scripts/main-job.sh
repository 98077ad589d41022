#!/usr/bin/env bash
# The main job on a private emulated machine (build/demo-root unless
# QPX_ROOT is set): installs and builds, makes a real ISO image with xorriso
# from the project's own files, turns it into a compressed container,
# registers the container in the catalogue and lists the catalogue.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

bin="$root/build/bin"
export QPX_ROOT="${QPX_ROOT:-$root/build/demo-root}"
work="$root/build/demo"
rm -rf "$work"
mkdir -p "$work/tree"
cp -r "$root/README.md" "$root/lib" "$root/platform" "$work/tree/"

echo "== ISO image of the project's sources"
xorriso -as mkisofs -quiet -J -R -V QUOPLEX_DEMO -o "$work/demo.iso" "$work/tree"
ls -l "$work/demo.iso"

echo "== container (normal compression)"
"$bin/qpx-mkcontainer" --type 1 --description "Quoplex demo disc" "$work/demo.iso" "$work/demo.qim"
ls -l "$work/demo.qim"

echo "== catalogue of $QPX_ROOT"
if ! number=$("$bin/qpxcatalogue" find "$work/demo.qim" 2>/dev/null); then
  number=$("$bin/qpxcatalogue" add "$work/demo.qim,G,0,0,")
fi
echo "registered as number $number"
"$bin/qpxcatalogue" list
