#!/usr/bin/env bash
# Makes the .deb from a configured build and checks it: lintian finds nothing
# to complain about; unpacked into a throwaway root, every program is there,
# each command-line program runs and has its man page, the desktop entry and
# AppStream metadata pass desktop-file-validate and appstreamcli; its
# dependencies name the libraries the programs link.
# `cmake --install` into a throwaway prefix must give the same programs.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! (cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out") >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log" >&2
  exit 1
fi
deb=$(ls "$out"/*.deb)
# Debian's own checks: no error and no warning (the informational tags are
# printed but do not fail; an override needs its reason in the override file).
if ! lintian --fail-on error,warning --display-info "$deb" >"$out/lintian.log" 2>&1; then
  cat "$out/lintian.log" >&2
  echo "check-deb: lintian found errors or warnings in $(basename "$deb")" >&2
  exit 1
fi
dpkg-deb --field "$deb" Depends | tee "$out/depends"
grep -q libsndfile1 "$out/depends"
grep -q libasound2 "$out/depends"
# The version every program and the metadata must show: the package's, less
# the Debian revision.
version=$(dpkg-deb --field "$deb" Version)
version=${version%-*}
app=org.tarnix.Tarnix
# Each program, and an option its man page must describe; the desktop entry and
# the AppStream metadata, valid, named after the application's ID and giving
# this version.
check_root() {
  local root=$1
  test -x "$root/bin/tarnix" || { echo "check-deb: $root/bin/tarnix missing" >&2; exit 1; }
  "$root/bin/tarnix" --version | grep -qx "tarnix $version" ||
    { echo "check-deb: tarnix --version is not $version" >&2; exit 1; }
  desktop-file-validate "$root/share/applications/$app.desktop" ||
    { echo "check-deb: $root/share/applications/$app.desktop is not valid" >&2; exit 1; }
  appstreamcli validate --no-net "$root/share/metainfo/$app.metainfo.xml" >"$out/appstream.log" &&
    appstreamcli validate-tree --no-net "$root" >>"$out/appstream.log" ||
    { cat "$out/appstream.log" >&2; echo "check-deb: the AppStream metadata in $root is not valid" >&2; exit 1; }
  grep -q "<release version=\"$version\"" "$root/share/metainfo/$app.metainfo.xml" ||
    { echo "check-deb: the AppStream metadata does not name release $version" >&2; exit 1; }
  for pair in tarnix:--latency tarnix-file:--output-dir tarnix-live:--capture tarnix-snapshot:--select; do
    local program=${pair%%:*} option=${pair#*:}
    "$root/bin/$program" --version | grep -q "^$program " ||
      { echo "check-deb: $root/bin/$program does not run" >&2; exit 1; }
    zcat "$root/share/man/man1/$program.1.gz" | grep -qF -- "${option//-/\\-}" ||
      { echo "check-deb: no man page for $program in $root" >&2; exit 1; }
  done
}
dpkg -x "$deb" "$out/root"
check_root "$out/root/usr"
cmake --install "$build" --prefix "$out/prefix" >"$out/install.log"
check_root "$out/prefix"
if [ -n "${2:-}" ]; then cp "$deb" "$2/"; fi
echo "check-deb: $(basename "$deb") passes lintian; it and cmake --install hold every program, each"
echo "check-deb: runs and has its man page, and valid desktop and AppStream files for $app $version"
