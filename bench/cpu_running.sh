#!/usr/bin/env bash
# Process CPU time of the program with the clock running for 10 s under a virtual display, the
# clock started by Alt+S through a real key event. Needs xvfb and xdotool.
# usage: bench/cpu_running.sh [build dir]
set -euo pipefail
build=${1:-build}
prog=$(cd "$build" && pwd)/app/vidazorov
work=$(mktemp -d)
trap 'kill "$app" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
disp=:$((RANDOM % 300 + 400))
Xvfb "$disp" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$disp XDG_CONFIG_HOME=$work
(cd "$work" && exec "$prog") >/dev/null 2>&1 &
app=$!
win=$(xdotool search --sync --name 'Vidazorov-ZavEzazi')
xdotool windowfocus --sync "$win"
sleep 1
ticks=$(getconf CLK_TCK)
read -r u0 s0 < <(awk '{print $14, $15}' /proc/$app/stat)
xdotool key --window "$win" alt+s
sleep 10
read -r u1 s1 < <(awk '{print $14, $15}' /proc/$app/stat)
cpu_ms=$(( (u1 - u0 + s1 - s0) * 1000 / ticks ))
echo "clock running 10 s: process CPU ${cpu_ms} ms = $(awk "BEGIN{printf \"%.2f\", $cpu_ms/100}") % of one core"
xdotool search --name 'Vidazorov-ZavEzazi' >/dev/null
