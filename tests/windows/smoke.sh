#!/bin/sh
# Smoke run of tarnix.exe under Xvfb and wine.
#
#   tests/windows/smoke.sh [BUILD_DIR]     (default build/windows)
#
# 1. The built resources (menus, dialogs, icon) agree with the core's tables.
# 2. No audio device: Disagree ends the program with exit code 0. Welcome
#    (screenshot), Agree, every start-up box is answered until "waveInOpen"
#    shows wine's text for the failed open (screenshot); OK ends the program
#    with exit code 1, as a failed device does.
# 3. Audio through a private PulseAudio (when pulseaudio is installed): Agree,
#    the main window runs with its menus, Audio Level Controls beside it, and
#    the live spectrum of the demo
#    (screenshots); with the equalizer off the recorded output has lost the
#    5000 Hz whistle and kept the speech; File, Exit ends it with exit code 0.
# 4. The sound server killed under the running program: one box names the
#    stopped device, and OK ends the program with exit code 1.
# Screenshots and logs land in BUILD_DIR/smoke. Exit status 0 when all passed.
set -eu

build=$(cd "${1:-build/windows}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
out=$build/smoke
exe=$build/src/app/win32/tarnix.exe
helper=$build/tests/windows/tarnix-smoke-helper.exe
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log

export WINEPREFIX="$build/wine-gui"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winedbg.exe=d"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

xvfb_pid=
pulse_pid=
feeder_pid=
cleanup() {
    wineserver -k 2>/dev/null || true
    for pid in $feeder_pid $pulse_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

# A display of our own: Xvfb picks a free number and writes it to fd 5.
wineserver -k 2>/dev/null || true
rm -f "$out/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$out/display")"
export DISPLAY

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "smoke: making the wine prefix (takes a few seconds)"
    wineboot -i >/dev/null 2>&1
fi
# A virtual desktop, or destroying windows stalls.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

shot() { import -window root "$out/$1.png"; }

# Waits for the program started as $1 (pid) to end; its code in $code.
wait_exit() {
    code=timeout
    for _ in $(seq 200); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1" && code=0 || code=$?
            return
        fi
        sleep 0.1
    done
}

start_program() {
    wine "$exe" >"$out/$1.log" 2>&1 &
    program_pid=$!
    wine "$helper" --boxes-before Welcome >>"$out/$1-boxes.log" 2>&1 || fail "$1: no Welcome dialog"
    sleep 1
}

# 1. Resources.
if wine "$helper" "$exe" >"$out/resources.log" 2>&1; then
    pass "menus 101 and 104 and the seven dialogs agree with the tables"
else
    fail "resources differ from the tables:"; cat "$out/resources.log"
fi

# 2. No audio device: no driver at all.
wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
# "Disagree" (the button of identifier 2) ends the program before anything
# else happens.
start_program disagree
wine "$helper" --box Welcome 2 >/dev/null 2>&1 || fail "Welcome could not be answered"
wait_exit "$program_pid"
[ "$code" = 0 ] && pass "Disagree ended the program with 0" || fail "Disagree: exit $code"
start_program nodevice
shot welcome
wine "$helper" --box Welcome >/dev/null 2>&1 || fail "Welcome could not be answered"
if wine "$helper" --boxes-before waveInOpen >"$out/nodevice-boxes.log" 2>&1; then
    # The first timer tick opens Audio Level Controls over the box meanwhile.
    sleep 1
    wine "$helper" --raise waveInOpen >/dev/null 2>&1 || true
    sleep 0.5
    shot wavein-open-failed
    wine "$helper" --box waveInOpen >"$out/nodevice-wavein.log" 2>&1
    text=$(tr -d '\r' <"$out/nodevice-wavein.log")
    if [ -n "$text" ]; then pass "waveInOpen box: $text"; else fail "waveInOpen box has no text"; fi
else
    fail "no waveInOpen box"; cat "$out/nodevice-boxes.log"
fi
wait_exit "$program_pid"
[ "$code" = 1 ] && pass "no device: the program ended with 1" || fail "no device: exit $code"
sed 's/^/  box: /' "$out/nodevice-boxes.log" | tr -d '\r'

# 3. Audio through a private PulseAudio with two null sinks: the demo plays
#    into A, whose monitor is the default source; B is the default sink.
if command -v pulseaudio >/dev/null && command -v paplay >/dev/null && command -v sox >/dev/null; then
    pulse=$out/pulse
    rm -rf "$pulse"
    mkdir -p "$pulse"
    chmod 700 "$pulse"
    export PULSE_RUNTIME_PATH="$pulse" PULSE_STATE_PATH="$pulse" PULSE_COOKIE="$pulse/cookie"
    export PULSE_SERVER="unix:$pulse/native"
    cat >"$pulse/loop.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$pulse/native
load-module module-null-sink sink_name=A rate=11025 channels=1 format=s16le
load-module module-null-sink sink_name=B rate=11025 channels=1 format=s16le
set-default-sink B
set-default-source A.monitor
PA
    HOME="$pulse" pulseaudio -n -F "$pulse/loop.pa" --daemonize=no --use-pid-file=no \
        --exit-idle-time=-1 --system=false --disallow-exit --realtime=no --high-priority=no \
        >"$pulse/pulse.log" 2>&1 &
    pulse_pid=$!
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    # Idle null sinks render in 2-second blocks: keep them busy; then the demo.
    (
        pacat --device=A --latency-msec=10 /dev/zero &
        pacat --device=B --latency-msec=10 /dev/zero &
        while paplay --device=A --latency-msec=100 "$source_dir/samples/demo-noisy.wav"; do :; done
    ) >/dev/null 2>&1 &
    feeder_pid=$!

    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    start_program audio
    wine "$helper" --box Welcome >/dev/null 2>&1 || fail "Welcome could not be answered"
    wine "$helper" --boxes-for 5 >"$out/audio-boxes.log" 2>&1
    if kill -0 "$program_pid" 2>/dev/null; then
        pass "audio: the program runs"
    else
        fail "audio: the program ended at start"; cat "$out/audio-boxes.log"
    fi
    # The level dialog opens beside the main window, off the spectrum.
    if wine "$helper" --beside "Audio Level Controls" >"$out/level-dialog.log" 2>&1; then
        pass "audio: Audio Level Controls beside the main window"
    else
        fail "audio: Audio Level Controls not beside the main window: $(cat "$out/level-dialog.log")"
    fi
    sleep 1.5
    shot main-window
    sleep 2.2
    shot main-window-later
    # The live spectrum: the trace differs from one second to the next.
    changed=$(compare -metric AE -crop 750x400+8+160 "$out/main-window.png" \
        "$out/main-window-later.png" null: 2>&1 || true)
    if [ "${changed%% *}" -gt 100 ] 2>/dev/null; then
        pass "audio: the spectrum moves ($changed pixels changed)"
    else
        fail "audio: the spectrum does not move ($changed)"
    fi
    # The whistle with the equalizer off: what tarnix.exe plays into B keeps
    # the speech band and loses the 5000 Hz tone (the notch settles within
    # about a second).
    wine "$helper" --command "E&qualizer" >/dev/null 2>&1 || fail "audio: no Equalizer item"
    sleep 2
    timeout 8 parec --device=B.monitor --format=s16le --rate=11025 --channels=1 --raw \
        >"$out/played.raw" 2>/dev/null || true
    # The RMS amplitude of a band (sox's sinc filter) of the demo or the output.
    rms() { awk '/RMS +amplitude/ { print $3 }'; }
    demo_band() { sox "$source_dir/samples/demo-noisy.wav" -n sinc "$1" stat 2>&1 | rms; }
    played_band() {
        sox -t raw -r 11025 -e signed -b 16 -c 1 "$out/played.raw" -n sinc "$1" stat 2>&1 | rms
    }
    set -- "$(demo_band 4900-5100)" "$(played_band 4900-5100)" "$(demo_band 300-3000)" \
        "$(played_band 300-3000)"
    echo "  5000 Hz RMS in $1, out $2; 300-3000 Hz RMS in $3, out $4"
    if awk -v wi="$1" -v wo="$2" -v si="$3" -v so="$4" \
        'BEGIN { exit !(wo < wi / 10 && so > si / 10) }'; then
        pass "audio: the whistle is gone from the output, the speech is there"
    else
        fail "audio: the whistle stays or the speech is gone"
    fi
    # The dialogs the menus open come up over the running audio and go with
    # Cancel (identifier 2), which every one of them takes.
    for dialog in "&About:About:about" "&Quick Help:Quick Help:quick-help" \
        "&Recording Assignments:Mixer Record Assignments:record-assignments" \
        "&Playback Assignments:Mixer Playback Assignments:playback-assignments" \
        "&Dump settings to disk file:Dump Mixer Settings to Disk File:dump-settings"; do
        label=${dialog%%:*}
        rest=${dialog#*:}
        caption=${rest%%:*}
        wine "$helper" --command "$label" >/dev/null 2>&1
        if wine "$helper" --boxes-before "$caption" >>"$out/audio-boxes.log" 2>&1; then
            sleep 0.5
            shot "dialog-${rest#*:}"
            wine "$helper" --box "$caption" 2 >/dev/null 2>&1
            if wine "$helper" --gone "$caption"; then
                pass "audio: \"$caption\" opened and closed"
            else
                fail "audio: \"$caption\" did not close"
            fi
        else
            fail "audio: \"$caption\" did not open"
        fi
    done
    kill -0 "$program_pid" 2>/dev/null || fail "audio: the program ended with the dialogs"
    # File, Exit by the mouse and the mnemonic, as a person would.
    main=$(xdotool search --name '^Tarnix Digital Filter Program $' | head -n 1)
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove $((X + 17)) $((Y + 33)) click 1
    sleep 1
    shot file-menu
    xdotool key x
    wait_exit "$program_pid"
    [ "$code" = 0 ] && pass "audio: File, Exit ended the program with 0" || fail "audio: exit $code"
    sed 's/^/  box: /' "$out/audio-boxes.log" | tr -d '\r'

    # 4. The sound server dies under the running program: its buffers stop
    #    coming back, and within seconds one box reports the failed device;
    #    OK ends the program with exit code 1.
    start_program dead-server
    wine "$helper" --box Welcome >/dev/null 2>&1 || fail "Welcome could not be answered"
    wine "$helper" --boxes-for 4 >"$out/dead-server-start.log" 2>&1
    kill "$pulse_pid"
    wait "$pulse_pid" 2>/dev/null || true
    pulse_pid=
    wine "$helper" --boxes-for 12 >"$out/dead-server-boxes.log" 2>&1
    wait_exit "$program_pid"
    boxes=$(tr -d '\r' <"$out/dead-server-boxes.log")
    echo "$boxes" | sed 's/^/  box: /'
    if [ "$(echo "$boxes" | grep -c .)" = 1 ] &&
        echo "$boxes" | grep -Eq '^wave(In|Out)UnprepareHeader \(MM_W(IM_DATA|OM_DONE)\): the (capture|playback) device stopped'; then
        pass "dead server: one box for the failed device"
    else
        fail "dead server: not one box for the failed device"
    fi
    [ "$code" = 1 ] && pass "dead server: the program ended with 1" || fail "dead server: exit $code"
else
    echo "smoke: pulseaudio, pulseaudio-utils or sox missing: the audio run is skipped"
fi

echo "smoke: $failures failure(s)"
[ "$failures" = 0 ]
