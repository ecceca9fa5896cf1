#!/usr/bin/env bash
# The bundle as hosts see it: its .ttl files valid against the LV2 data that
# lv2-dev installs, and both plugins listed and described from it alone.
# With a build directory as well, the bundle is also installed into a
# temporary prefix and must be found there.
# Usage: lv2_bundle_check.sh DIR [BUILD_DIR] (DIR holds tarnix.lv2)
set -euo pipefail
dir=$(realpath "$1")
lv2data=/usr/lib/lv2
mapfile -t dataFiles < <(find "$lv2data" -name '*.ttl' | sort)
[ ${#dataFiles[@]} -gt 0 ] || { echo "no LV2 data in $lv2data (install lv2-dev)"; exit 1; }

report=$(sord_validate "${dataFiles[@]}" "$dir"/tarnix.lv2/*.ttl 2>&1) || true
echo "$report" | tail -n 1
echo "$report" | grep -q '^Found 0 errors' || { echo "$report"; exit 1; }

export LV2_PATH=$dir:$lv2data
listed=$(lv2ls)
for uri in urn:tarnix:lv2:mono urn:tarnix:lv2:stereo; do
  grep -qx "$uri" <<<"$listed" || { echo "lv2ls does not list $uri"; exit 1; }
  info=$(lv2info "$uri")
  grep -q 'Has latency: *yes, reported by port 15' <<<"$info" ||
    { echo "$info"; echo "$uri: no latency port"; exit 1; }
  grep -q 'Class: *Filter' <<<"$info" || { echo "$info"; echo "$uri: not a filter"; exit 1; }
done
grep -q 'Symbol: *out_right' <<<"$(lv2info urn:tarnix:lv2:stereo)"
! grep -q 'Symbol: *out_right' <<<"$(lv2info urn:tarnix:lv2:mono)"
if [ $# -ge 2 ]; then
  prefix=$(mktemp -d)
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$2" --prefix "$prefix" >/dev/null
  installed=$(LV2_PATH=$prefix/lib/lv2 lv2ls)
  [ "$installed" = "$(printf 'urn:tarnix:lv2:mono\nurn:tarnix:lv2:stereo')" ] ||
    { echo "installed bundle lists: $installed"; exit 1; }
fi
echo "lv2_bundle_check: both plugins valid, listed and described"
