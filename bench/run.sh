#!/usr/bin/env bash
# Benchmarks Tavro against the programs an agent would use instead (chromium --app and surf) and
# against the floor program (bench/floor.c: one WebKitGTK view with Tavro's settings) on the demo
# site, under a private virtual X server, and writes the table to docs/PERFORMANCE.md.
#
# Usage: bench/run.sh [--quick] [--rounds N] [--idle SECONDS] [--exits N] [--soak SECONDS]
#   --quick   3 rounds, 10 s idle, 5 exits, 2-minute soak (a few minutes in all)
#   default   5 rounds, 60 s idle, 20 exits, 10-minute soak (20 to 25 minutes)
# The numbers are informative: the benchmark never fails because a target is missed.
#
# A/B, for one change at a time; prints a table and leaves docs/PERFORMANCE.md alone:
#   bench/run.sh --ab REV_A REV_B [--ab-env VAR=value]... [--rounds N] [--idle SECONDS]
#       two builds, each a git revision or a source folder, in alternating rounds; the environment
#       given with --ab-env applies to B only
#   bench/run.sh --ab-env VAR=value [--ab-env VAR=value]... [--rounds N] [--idle SECONDS]
#       this working tree's build without (A) and with (B) that environment
# Revisions are built once each under build/ab/ (git archive of the commit, Release).
#
# A busy day, beside chromium --app; writes its own block of docs/PERFORMANCE.md:
#   bench/run.sh --day MINUTES [--freeze SECONDS] [--cut SECONDS] [--interval MS] [--sample SECONDS]
#       both programs on the demo site's chat page (a message every MS, 1000 by default, and a new
#       sound for each) with a sound server of their own; after half the day both are frozen for
#       --freeze seconds (300), then the network to the site is cut for --cut seconds (20); threads,
#       file descriptors, memory and CPU sampled every --sample seconds (10), each message's lateness,
#       and the recovery after each fault. The run lasts MINUTES, or longer when the faults need it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

ab_revs=()
ab_env=()
args=()
day=""
while (($#)); do
  case $1 in
    --day)
      (($# >= 2)) && [[ $2 =~ ^[0-9]+([.][0-9]+)?$ ]] || { echo "bench: --day needs minutes" >&2; exit 2; }
      day=$2; shift 2 ;;
    --ab)
      (($# >= 3)) || { echo "bench: --ab needs two revisions" >&2; exit 2; }
      ab_revs=("$2" "$3"); shift 3 ;;
    --ab-env)
      (($# >= 2)) || { echo "bench: --ab-env needs VAR=value" >&2; exit 2; }
      ab_env+=(--ab-env "$2"); shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
ab=$(( ${#ab_revs[@]} + ${#ab_env[@]} > 0 ))
if [[ -n $day ]] && ((ab)); then echo "bench: --day and the A/B modes do not go together" >&2; exit 2; fi

scripts/setup.sh --bench

build=build/bench
work=$(mktemp -d /tmp/tavro-bench.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  # What the programs printed, for a look after the run.
  cp "$work/runs.log" "$build/bench-runs.log" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

quiet() {  # runs a build step, showing its output only when it fails
  "$@" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
}
quiet cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVRO_BUILD_TESTS=OFF
quiet cmake --build "$build" -j2 --target kefu-site

start_site() {  # name, then extra arguments; sets port
  local name=$1; shift
  "$build/tools/kefu_site/kefu-site" --log "$work/$name.log" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids+=($!)
  for _ in $(seq 100); do [[ -s "$work/$name.out" ]] && break; sleep 0.05; done
  port=$(head -n1 "$work/$name.out")
  [[ "$port" =~ ^[0-9]+$ ]] || { echo "bench: the demo site did not start" >&2; exit 1; }
}

# Two instances of the demo site: one that stays at the login page (the page all three programs
# are compared on, and the advertisement page compiled into this build) and one that signs the
# demo account in by itself, for the signed-in figures.
start_site plain
plain_port=$port
start_site auto --auto-login 500
auto_port=$port

ad_page="http://127.0.0.1:$plain_port/ad.html"
quiet cmake -S . -B "$build" -DTAVRO_AD_PAGE_URL="$ad_page"
quiet cmake --build "$build" -j2 --target tavro
quiet cc -O2 -Wall -Wextra -o "$build/floor" bench/floor.c $(pkg-config --cflags --libs gtk+-3.0 webkit2gtk-4.1)

build_revision() {  # a git revision or a source folder; sets built (its tavro) and label
  local rev=$1 src key sha
  if [[ -d "$rev" ]]; then
    src=$(cd "$rev" && pwd)
    key=tree-$(printf %s "$src" | sha1sum | cut -c1-12)
    label="$rev (source folder)"
  else
    sha=$(git rev-parse --verify --quiet "$rev^{commit}") || { echo "bench: no revision $rev" >&2; exit 2; }
    key=rev-$sha
    src=$root/build/ab/$key/src
    if [[ ! -f "$src/CMakeLists.txt" ]]; then
      rm -rf "$src" && mkdir -p "$src"
      git archive "$sha" | tar -x -C "$src"
    fi
    label="$rev ($(git log -1 --format='%h %s' "$sha" | cut -c1-72))"
  fi
  echo "bench: building $label" >&2
  quiet cmake -S "$src" -B "$root/build/ab/$key/build" -DCMAKE_BUILD_TYPE=Release -DTAVRO_BUILD_TESTS=OFF \
    -DTAVRO_AD_PAGE_URL="$ad_page"
  quiet cmake --build "$root/build/ab/$key/build" -j2 --target tavro
  built=$root/build/ab/$key/build/app/tavro
}

if ((ab)); then
  if ((${#ab_revs[@]})); then
    build_revision "${ab_revs[0]}"; bin_a=$built; label_a=$label
    build_revision "${ab_revs[1]}"; bin_b=$built; label_b=$label
  else
    bin_a=$root/$build/app/tavro; bin_b=$bin_a
    label_a="this working tree ($(git log -1 --format=%h)$(git diff --quiet HEAD -- . || echo ", changed"))"
    label_b=$label_a
  fi
  mode_args=(--ab-a "$bin_a" --ab-b "$bin_b" --ab-label-a "$label_a" --ab-label-b "$label_b" "${ab_env[@]}")
else
  mode_args=(--floor "$root/$build/floor" --out "$root/docs/PERFORMANCE.md")
fi

display_fd=$work/display
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_fd" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$display_fd" ]] && break; sleep 0.05; done
[[ -s "$display_fd" ]] || { echo "bench: Xvfb did not start" >&2; exit 1; }

marker=$(sed -n 's/^#define TAVRO_TITLE_MARKER "\(.*\)"$/\1/p' "$build/generated/tavro_config.h")
name=$(sed -n 's/^#define TAVRO_DISPLAY_NAME "\(.*\)"$/\1/p' "$build/generated/tavro_config.h")

# One private session bus for the whole run, as on a desktop: without one each program would try
# to start its own through dbus-launch, and a bus left behind by one program slows the next.
session=()
command -v dbus-run-session >/dev/null && session=(dbus-run-session --)

if [[ -n $day ]]; then
  # A sound server of the run's own, as a desktop has: both programs play into its null sink.
  mkdir -p "$work/pulse/home" "$work/pulse/runtime"
  HOME=$work/pulse/home XDG_RUNTIME_DIR=$work/pulse/runtime \
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
      --load="module-null-sink sink_name=day" \
      --load="module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" >"$work/pulse.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [[ -S "$work/pulse/native" ]] && break; sleep 0.05; done
  [[ -S "$work/pulse/native" ]] || { cat "$work/pulse.log" >&2; echo "bench: the sound server did not start" >&2; exit 1; }
  "${session[@]}" /usr/bin/python3 bench/day.py \
    --minutes "$day" \
    --display ":$(head -n1 "$display_fd")" \
    --tavro "$root/$build/app/tavro" \
    --samples "$root/packaging/samples" \
    --site "http://127.0.0.1:$plain_port" \
    --pulse "unix:$work/pulse/native" \
    --work "$work" --out "$root/docs/PERFORMANCE.md" "${args[@]}"
  exit
fi
"${session[@]}" /usr/bin/python3 bench/bench.py \
  --display ":$(head -n1 "$display_fd")" \
  --tavro "$root/$build/app/tavro" \
  --samples "$root/packaging/samples" \
  --plain "http://127.0.0.1:$plain_port" \
  --auto "http://127.0.0.1:$auto_port" --auto-log "$work/auto.log" \
  --marker "$marker" --display-name "$name" \
  --work "$work" "${mode_args[@]}" "${args[@]}"
