#!/usr/bin/env bash
# Makes the .deb from a configured build and checks it: unpacked into a
# throwaway root, its tarnix-file runs and its man page is there; its
# dependencies name the libraries the program links.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! (cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out") >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log" >&2
  exit 1
fi
deb=$(ls "$out"/*.deb)
dpkg-deb --field "$deb" Depends | tee "$out/depends"
grep -q libsndfile1 "$out/depends"
dpkg -x "$deb" "$out/root"
"$out/root/usr/bin/tarnix-file" --version | grep -q '^tarnix-file '
zcat "$out/root/usr/share/man/man1/tarnix-file.1.gz" | grep -q -- '--output-dir'
if [ -n "${2:-}" ]; then cp "$deb" "$2/"; fi
echo "check-deb: $(basename "$deb") installs and runs"
