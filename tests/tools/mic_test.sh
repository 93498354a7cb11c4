#!/bin/sh
# earshot-feed --mic for real: a PulseAudio daemon of this test's own (user
# mode, a null sink, no hardware), a recording played into the sink, and
# the tool recording the sink's monitor until Ctrl-C.
# Usage: mic_test.sh FEED EARSHOT RECORDING "expected words"
set -u
feed=$1 earshot=$2 recording=$3 expected=$4
command -v pulseaudio >/dev/null && command -v paplay >/dev/null || {
  echo "pulseaudio and paplay (Debian pulseaudio, pulseaudio-utils) are needed"; exit 1; }
dir=$(mktemp -d /tmp/feed-mic-XXXXXX)
mkdir -m 700 "$dir/run" "$dir/home"
export XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home"
unset PULSE_SERVER
daemon= feedpid=
finish() {
  [ -n "$feedpid" ] && kill -KILL "$feedpid" 2>/dev/null
  [ -n "$daemon" ] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
  rm -rf "$dir"
}
trap finish EXIT
fail() { echo "FAIL: $*"; for f in "$dir"/*.out "$dir"/*.err "$dir/daemon.log"; do
  [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done; exit 1; }

# Waits up to $1 tenths of a second for the command after it to succeed.
within() { n=$1; shift; while ! "$@" 2>/dev/null; do n=$((n - 1)); [ $n -gt 0 ] || return 1; sleep 0.1; done; }

# No sound server yet: a clear line, status 1.
"$feed" --earshot "$earshot" --mic > "$dir/none.out" 2> "$dir/none.err"
status=$?
[ $status -eq 1 ] || fail "no server: status $status"
grep -qx "earshot-feed: microphone: no sound server is reachable (PulseAudio or PipeWire): is one running for this user?" "$dir/none.err" || fail "no server: message"

pulseaudio -n --daemonize=no --exit-idle-time=-1 -L module-native-protocol-unix \
  -L "module-null-sink sink_name=t rate=16000 channels=1" > "$dir/daemon.log" 2>&1 &
daemon=$!
within 100 test -S "$dir/run/pulse/native" || fail "the daemon did not start"

"$feed" --list-devices > "$dir/list.out" 2> "$dir/list.err" || fail "--list-devices failed"
grep -q "^t.monitor " "$dir/list.out" || fail "t.monitor not listed"

"$feed" --earshot "$earshot" --mic --device t.monitor > "$dir/mic.out" 2> "$dir/mic.err" &
feedpid=$!
# Recording starts once the tool's stream shows up on the server.
within 300 sh -c 'pactl list short source-outputs | grep -q .' || fail "the tool never started recording"
timeout 60 paplay -d t "$recording" || fail "paplay failed"
sleep 2  # the silence after it: the last words' final comes during it or at Ctrl-C
kill -INT "$feedpid"
within 300 sh -c "! kill -0 $feedpid" || fail "no exit within 30 s of Ctrl-C"
wait "$feedpid"
status=$?
feedpid=
[ $status -eq 130 ] || fail "status $status after Ctrl-C, not 130"
[ ! -s "$dir/mic.err" ] || fail "standard error not empty"
for word in $expected; do
  grep -qw "$word" "$dir/mic.out" || fail "\"$word\" not heard"
done
echo "heard: $(cat "$dir/mic.out")"
