#!/bin/sh
# Measures what the program costs while nobody touches it: starts it on the X display
# $DISPLAY (a virtual one such as `Xvfb :21` does) in a copy of the application folder,
# answers the start-up notices (no MIDI device, no audio device) with Return, lets it
# settle, then reads its CPU time over SECONDS seconds from /proc and prints it as a
# percentage of one core.
#
#   DISPLAY=:21 tools/idle_cpu.sh BUILD_DIR [demo|full] [SECONDS]
#
# "demo" opens the demo project (as a first start does); "full" opens a project with all
# 1024 slots taken and chained by cables. Audio stays stopped.
set -eu
build=${1:?usage: tools/idle_cpu.sh BUILD_DIR [demo|full] [SECONDS]}
which=${2:-demo}
seconds=${3:-10}
pid=""
work=$(mktemp -d "${TMPDIR:-/tmp}/tw_idle_XXXXXX")
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cp -r "$build/app/." "$work/"
project="$work/Projects/Demo Synth.tw1"
if [ "$which" = full ]; then
    project="$work/Projects/Full.tw1"
    "$build/tools/tw_demo_project" --full "$project"
fi
rm -f "$work"/Resources/*.cfg
"$build/tools/tw_demo_project" --preferences "$work" "$project"
cd "$work"
QT_QPA_PLATFORM=xcb ./tonewright >/dev/null 2>&1 &
pid=$!
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
for _ in 1 2 3 4; do
    sleep 1
    xdotool search --name '^Tonewright$' key --window %@ Return 2>/dev/null || true
done
# A Return whose release went to a window that closed would repeat for ever.
xdotool keyup Return 2>/dev/null || true
sleep 2
start=$(ticks)
sleep "$seconds"
end=$(ticks)
hz=$(getconf CLK_TCK)
awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" -v w="$which" \
    'BEGIN { printf "%s: %.2f %% of one core over %d s\n", w, 100 * t / hz / s, s }'
