#!/usr/bin/env bash
# The Windows packages (scripts/package --windows) under wine, in a fresh prefix.
#
#   tests/windows/installer.sh SETUP.exe PORTABLE.zip LINUX_TARNIX_FILE [BUILD_DIR]
#
# 1. Per-machine, silent (/S): the programs, README and licences land in
#    Program Files\Tarnix, the Start-menu shortcut carries the program's icon
#    and starts it in the user's Documents folder, the uninstall key (HKLM)
#    the About box's version; the zip holds the same
#    files; the installed programs carry their version resources.
# 2. The installed tarnix-file.exe writes the demo's output with the same bytes
#    as the Linux tarnix-file.
# 3. The installed tarnix.exe, started through the shortcut, opens its Welcome
#    dialog (screenshot); Disagree ends it with 0.
# 4. Per-user beside it (/S /CurrentUser): the same into the user's Programs
#    folder, Start menu and HKCU.
# 5. The per-user uninstall.exe /S, started from its folder, removes the
#    per-user install and leaves the per-machine one as it was.
# 6. The per-machine key's QuietUninstallString removes the rest: drive C holds
#    the same files as before the install, and no key names Tarnix.
# BUILD_DIR (default build/windows) has the smoke helper; the screenshot and
# logs land in BUILD_DIR/installer. Exit status 0 when all passed.
set -eu

setup=$(realpath "$1")
zip=$(realpath "$2")
linux_file_tool=$(realpath "$3")
build=$(cd "${4:-build/windows}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
helper=$build/tests/windows/tarnix-smoke-helper.exe
out=$build/installer
rm -rf "$out"
mkdir -p "$out"

export WINEPREFIX="$build/wine-install"
export WINEDEBUG=-all
# No debugger (reliable exit codes) and no menu entries in the host's desktop.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winedbg.exe=d;winemenubuilder.exe=d"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnix'

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# Waits for every wine process to end (and the registry to be saved).
settle() { timeout 60 wineserver -w || fail "wine still busy after 60 s"; }

xvfb_pid=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

wineserver -k 2>/dev/null || true
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$out/display")"
export DISPLAY

echo "installer: making a fresh wine prefix (takes a few seconds)"
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# A virtual desktop, or destroying windows stalls.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f >/dev/null 2>&1
# Windows' folder for per-user programs is shared and stays after an uninstall:
# have it before, as a used Windows account does.
host_folder() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
mkdir -p "$(host_folder LOCALAPPDATA)/Programs"
declare -A start_menu=(
    [HKLM]="$(host_folder ProgramData)/Microsoft/Windows/Start Menu/Programs"
    [HKCU]="$(host_folder APPDATA)/Microsoft/Windows/Start Menu/Programs"
)
settle

# What drive C holds, without the temporary folders' contents.
drive_c_files() {
    (cd "$WINEPREFIX/drive_c" && find . ! -path '*/Temp/*' ! -path './windows/temp/*' | sort)
}
drive_c_files >"$out/drive-c-before.txt"

# The value of a registry value, or nothing.
reg_value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"
}

# Unpacks the zip once, for comparing with each install.
python3 -m zipfile -e "$zip" "$out/zip"
portable=$(find "$out/zip" -mindepth 1 -maxdepth 1 -type d)

# Installs silently with the options given ($2...) and checks what is there;
# sets dir (the install folder, as a host path) and shortcut.
install() {
    local root=$1
    shift
    if timeout 120 wine "$setup" /S "$@" >"$out/setup.log" 2>&1; then
        pass "$root: the installer ended with 0"
    else
        fail "$root: the installer failed ($?)"
    fi
    settle
    local key="$root\\$uninstall_key" location version
    location=$(reg_value "$key" InstallLocation)
    version=$(reg_value "$key" DisplayVersion)
    if [ -n "$location" ] && [ -n "$(reg_value "$key" QuietUninstallString)" ] &&
        [ "$(reg_value "$key" DisplayIcon)" = "$location\\tarnix.exe,0" ]; then
        pass "$root: uninstall key for $location"
    else
        fail "$root: the uninstall key is incomplete"
        wine reg query "$key" 2>&1 | tr -d '\r'
    fi
    if grep -q "kVersionText = \"Version $version\";" "$source_dir/src/engine/version.h"; then
        pass "$root: version $version, as the About box shows"
    else
        fail "$root: version '$version' is not the About box's"
    fi
    dir=$(winepath -u "$location" 2>/dev/null)
    diff -r "$portable" "$dir" >"$out/zip-diff.txt" 2>&1 || true
    if [ -d "$dir" ] && [ "$(cat "$out/zip-diff.txt")" = "Only in $dir: uninstall.exe" ]; then
        pass "$root: the installed files are the zip's and uninstall.exe"
    else
        fail "$root: installed files and zip differ:"
        cat "$out/zip-diff.txt"
    fi
    shortcut=${start_menu[$root]}/Tarnix.lnk
    # The link's flags (HasIconLocation) and its icon, tarnix.exe.
    if [ -f "$shortcut" ] && python3 - "$shortcut" <<'PY'; then
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
sys.exit(0 if flags & 0x40 and "tarnix.exe".encode("utf-16-le") in data else 1)
PY
        pass "$root: Start-menu shortcut ${shortcut#*/c:/} with the icon"
    else
        fail "$root: no Start-menu shortcut with the icon"
    fi
    # It starts the program in the user's Documents folder: for all users,
    # each user's own (expanded when it starts); for one, that user's.
    local start want documents
    start=$(python3 - "$shortcut" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
at = 0x4C
if flags & 0x01:  # the target's item list
    at += 2 + struct.unpack_from("<H", data, at)[0]
if flags & 0x02:  # the link information
    at += struct.unpack_from("<I", data, at)[0]
width = 2 if flags & 0x80 else 1
for bit in (0x04, 0x08, 0x10):  # name, relative path, working folder
    if not flags & bit:
        continue
    count = struct.unpack_from("<H", data, at)[0]
    text = data[at + 2:at + 2 + count * width]
    at += 2 + count * width
    if bit == 0x10:
        print(text.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0"))
PY
)
    documents="$(wine cmd /c echo "%USERPROFILE%" 2>/dev/null | tr -d '\r')\\Documents"
    if [ "$root" = HKLM ]; then want='%USERPROFILE%\Documents'; else want=$documents; fi
    if [ "${start,,}" = "${want,,}" ]; then
        pass "$root: the shortcut starts in $start"
    else
        fail "$root: the shortcut starts in '$start', not '$want'"
    fi
}

# Runs an uninstaller (ROOT, the drive C listing expected after it, the command)
# and checks that it removed ROOT's key and all it installed.
uninstall() {
    local root=$1 expected=$2
    shift 2
    timeout 60 wine "$@" >"$out/uninstall.log" 2>&1 || fail "$root: the uninstaller failed ($?)"
    # The uninstaller runs on from a copy in the temporary folder.
    settle
    drive_c_files >"$out/drive-c-after.txt"
    if diff "$expected" "$out/drive-c-after.txt" >"$out/drive-c-diff.txt"; then
        pass "$root: uninstalled, drive C holds what it held before"
    else
        fail "$root: the uninstall changed other files or left some behind:"
        cat "$out/drive-c-diff.txt"
    fi
    if [ -z "$(reg_value "$root\\$uninstall_key" InstallLocation)" ]; then
        pass "$root: the uninstall key is gone"
    else
        fail "$root: the uninstall key is still there"
    fi
}

# 1-3. Per-machine, the default when the user may install for everyone (as
# wine's user may).
install HKLM
case "$dir" in */Program\ Files/Tarnix) ;; *) fail "HKLM: installed into $dir" ;; esac
machine_dir=$dir
# The installed (stripped) programs keep their version resources.
if python3 "$source_dir/tests/windows/version_resource.py" "$source_dir/src/engine/version.h" \
    "$dir/tarnix.exe" "$dir/tarnix-file.exe"; then
    pass "the installed programs carry the version resource"
else
    fail "the installed programs' version resources"
fi
if grep -q "GPL-3.0-or-later" "$dir/README.txt" && grep -q "GNU GENERAL PUBLIC LICENSE" "$dir/LICENSE.txt"; then
    pass "README.txt names the licence, LICENSE.txt holds it"
else
    fail "README.txt or LICENSE.txt lacks the licence"
fi

work=$out/file-tool
mkdir -p "$work"
"$linux_file_tool" -q "$source_dir/samples/demo-noisy.wav" "$work/linux.wav"
timeout 120 wine "$dir/tarnix-file.exe" -q "$source_dir/samples/demo-noisy.wav" "$work/windows.wav" ||
    fail "installed tarnix-file.exe failed ($?)"
if cmp -s "$work/linux.wav" "$work/windows.wav"; then
    pass "the installed tarnix-file.exe writes the Linux tool's bytes"
else
    fail "the installed tarnix-file.exe writes other bytes than the Linux tool"
fi

wine start /wait /unix "$shortcut" >"$out/tarnix.log" 2>&1 &
program_pid=$!
if wine "$helper" --boxes-before Welcome >"$out/boxes.log" 2>&1; then
    sleep 1
    import -window root "$out/welcome.png"
    pass "tarnix.exe from the shortcut: Welcome (screenshot installer/welcome.png)"
    wine "$helper" --box Welcome 2 >/dev/null 2>&1 || fail "Welcome could not be answered"
else
    fail "tarnix.exe from the shortcut: no Welcome dialog"
    cat "$out/boxes.log"
fi
code=timeout
for _ in $(seq 100); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
        wait "$program_pid" && code=0 || code=$?
        break
    fi
    sleep 0.1
done
if [ "$code" = 0 ]; then pass "Disagree ended tarnix.exe with 0"; else fail "tarnix.exe: exit $code"; fi
settle
drive_c_files >"$out/drive-c-machine.txt"

# 4-5. Per-user beside it, and out again by its own uninstaller, as from its
# folder (no mode given).
install HKCU /CurrentUser
case "$dir" in */AppData/Local/Programs/Tarnix) ;; *) fail "HKCU: installed into $dir" ;; esac
uninstall HKCU "$out/drive-c-machine.txt" "$dir/uninstall.exe" /S
[ -n "$(reg_value "HKLM\\$uninstall_key" InstallLocation)" ] ||
    fail "HKCU: the per-user uninstall removed the per-machine key"

# 6. Per-machine, by the key's QuietUninstallString, as Apps and features would.
command=$(reg_value "HKLM\\$uninstall_key" QuietUninstallString)
exe=${command#\"}
exe=${exe%%\"*}
# shellcheck disable=SC2086
uninstall HKLM "$out/drive-c-before.txt" "$exe" ${command##*\"}
[ -d "$machine_dir" ] && fail "HKLM: $machine_dir is still there"
if grep -il tarnix "$WINEPREFIX"/*.reg >"$out/registry-left.txt"; then
    fail "the registry still names Tarnix:"
    grep -i tarnix "$WINEPREFIX"/*.reg
else
    pass "no registry key names Tarnix"
fi

echo "installer: $failures failure(s)"
[ "$failures" = 0 ]
