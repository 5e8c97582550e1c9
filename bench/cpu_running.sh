#!/usr/bin/env bash
# CPU use of the program under a virtual X display (Xvfb): idle, with the clock running, and the
# same two with a photocell port open (a pseudo-terminal linked as COM1 in a temporary ports
# folder, never one of the machine's own serial lines). The clock is started by Alt+S through a
# real key event. Figures are the process's own CPU time (user + system, from /proc/<pid>/stat)
# over the measured span, as a share of one core: other load on the machine does not count.
# Needs xvfb, xdotool and python3.
#
# usage: bench/cpu_running.sh [build dir or program] [seconds per phase]
#   VZ_PERF=1        also records a profile of the running phase (perf, software cpu-clock event)
#                    into ./perf-running.data and prints its top entries.
#   VZ_ROUNDS=N      repeats every measurement N times, interleaved, and ends with a summary
#                    (median, least, most): single runs of a program that wakes every 10 ms vary
#                    by a quarter from one run to the next on a shared machine.
#   VZ_BEFORE=PROG   measures an older build of the program too, in the same rounds.
# When the build has bench/paint_floor, its modes are measured in the same rounds: a bare 10 ms
# timer, one display digit repainted every tick, the display's seven digits, and the one digit
# drawn into a window of its own past the widgets' repaint machinery.
set -euo pipefail
target=${1:-build}
secs=${2:-10}
if [ -d "$target" ]; then prog=$(cd "$target" && pwd)/app/vidazorov; else prog=$(realpath "$target"); fi
[ -x "$prog" ] || { echo "no program at $prog" >&2; exit 1; }
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
disp=:$((RANDOM % 300 + 400))
Xvfb "$disp" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
sleep 1
export DISPLAY=$disp
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14, $15}' "/proc/$1/stat"; }

results="$work/results"
: >"$results"

# measure <label> <pid>: CPU of <pid> over $secs seconds, as a share of one core. /proc's user and
# system times are counted in scheduler ticks; where perf works, its task-clock (the time the
# process's threads were on a CPU, in nanoseconds) is printed as well, the sharper figure for a
# program that wakes every 10 ms.
measure() {
  local u0 s0 u1 s1 tc=""
  read -r u0 s0 < <(cpu_ticks "$2")
  if perf stat -e task-clock -x, -o "$work/perf" -p "$2" -- sleep "$secs" 2>/dev/null; then
    tc=$(awk -F, '/task-clock/ {print $1}' "$work/perf")
  else
    sleep "$secs"
  fi
  read -r u1 s1 < <(cpu_ticks "$2")
  if [ -n "$tc" ]; then
    awk -v l="$1" -v tc="$tc" -v s="$secs" 'BEGIN { printf "%s\t%.3f\n", l, tc / 10 / s }' >>"$results"
  else
    awk -v l="$1" -v t=$((u1 - u0 + s1 - s0)) -v hz="$ticks" -v s="$secs" \
      'BEGIN { printf "%s\t%.3f\n", l, t * 100 / hz / s }' >>"$results"
  fi
  awk -v l="$1" -v u=$((u1 - u0)) -v k=$((s1 - s0)) -v hz="$ticks" -v s="$secs" -v tc="$tc" \
    'BEGIN { printf "%-30s %5.0f ms CPU (user %4.0f, system %4.0f) in %d s = %5.2f %% of one core",
             l, (u + k) * 1000 / hz, u * 1000 / hz, k * 1000 / hz, s, (u + k) * 100 / hz / s
             if (tc != "") printf "; task-clock %6.1f ms = %5.2f %%", tc, tc / 10 / s
             printf "\n" }'
}

# run_case <label> <port> [program]: starts the program with the given COM port (0 = none) and
# measures it idle and with the clock running.
run_case() {
  local label=$1 port=$2 prog=${3:-$prog} cfg="$work/$1"
  rm -rf "$cfg"
  mkdir -p "$cfg/vidazorov/ports" "$cfg/run"
  for n in $(seq 1 16); do ln -sf "/nonexistent/vz-missing-$n" "$cfg/vidazorov/ports/COM$n"; done
  local pty=""
  if [ "$port" != 0 ]; then
    # A pseudo-terminal held open by a small helper; its slave side becomes COM<port>.
    python3 -c 'import os, sys, time
m, s = os.openpty()
print(os.ttyname(s), flush=True)
time.sleep(1e6)' >"$cfg/pty" &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$cfg/pty" ] && break; sleep 0.1; done
    pty=$(cat "$cfg/pty")
    ln -sf "$pty" "$cfg/vidazorov/ports/COM$port"
  fi
  printf '[General]\nPort=%s\n' "$port" >"$cfg/vidazorov/vidazorov.conf"
  (cd "$cfg/run" && XDG_CONFIG_HOME=$cfg XDG_STATE_HOME=$cfg/state exec "$prog") >"$cfg/log" 2>&1 &
  local app=$!
  pids+=($app)
  local win
  win=$(xdotool search --sync --pid "$app" --name 'Vidazorov-ZavEzazi' | head -1)
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 2
  if [ -n "$pty" ]; then
    if ls -l "/proc/$app/fd" 2>/dev/null | grep -q -- "-> $pty\$"; then
      echo "($pty is open in the program)"
    else
      echo "(the program did not open $pty)"
    fi
  fi
  measure "$label, idle" "$app"
  xdotool key --window "$win" alt+s
  sleep 1
  if [ "${VZ_PERF:-0}" = 1 ] && [ "$port" = 0 ]; then
    perf record -q -e cpu-clock -F 2000 -g -p "$app" -o perf-running.data -- sleep "$secs" 2>/dev/null &
    local perfpid=$!
    measure "$label, clock running" "$app"
    wait "$perfpid" || true
    perf report -i perf-running.data --no-children --percent-limit 2 --stdio -g none 2>/dev/null |
      grep -v '^#' | grep -v '^$' | head -30
  else
    measure "$label, clock running" "$app"
  fi
  kill "$app" 2>/dev/null || true
}

# run_floor <mode>: the reference program, shown and settled, then measured.
run_floor() {
  local app
  "$floor" "$1" >/dev/null 2>&1 &
  app=$!
  pids+=($app)
  xdotool search --sync --pid "$app" --name paint_floor >/dev/null
  sleep 2
  measure "paint_floor $1" "$app"
  kill "$app" 2>/dev/null || true
}

floor=$(dirname "$prog")/../bench/paint_floor
[ -x "$floor" ] || floor=""
echo "program: $prog"
[ -n "${VZ_BEFORE:-}" ] && echo "before:  $(realpath "$VZ_BEFORE")"
[ -n "$floor" ] && echo "floor:   $(realpath "$floor")"
rounds=${VZ_ROUNDS:-1}
for round in $(seq "$rounds"); do
  [ "$rounds" -gt 1 ] && echo "-- round $round of $rounds"
  if [ -n "${VZ_BEFORE:-}" ]; then
    run_case "before, no port" 0 "$(realpath "$VZ_BEFORE")"
  fi
  run_case "no port" 0
  run_case "COM1 open (pty)" 1
  if [ -n "$floor" ]; then
    for mode in timer digit row window; do run_floor "$mode"; done
  fi
done
if [ "$rounds" -gt 1 ]; then
  echo "-- % of one core over $rounds rounds: median (least - most)"
  sort -t$'\t' -k1,1 -k2,2n "$results" | awk -F'\t' '
    function flush() { if (n) printf "%-34s %5.2f (%4.2f - %4.2f)\n", key, v[int((n + 1) / 2)], v[1], v[n] }
    $1 != key { flush(); key = $1; n = 0 }
    { v[++n] = $2 }
    END { flush() }'
fi
