#!/usr/bin/env bash
# Runs Tavro on the bundled demo customer-service site.
# With a display the agent signs in by hand (demo / demo123). Without one (DISPLAY unset) it runs
# under a virtual X server with auto-login, writes a screenshot of the signed-in window, closes
# Tavro through its own close button and prints the site's request log.
# Usage: scripts/demo.sh [--screenshot]   (--screenshot: headless, and the screenshot replaces
#        packaging/screenshots/signed-in.png, the picture the AppStream metainfo shows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

update_screenshot=0
case "${1:-}" in
  "") ;;
  --screenshot) update_screenshot=1 ;;
  *) echo "usage: scripts/demo.sh [--screenshot]" >&2; exit 2 ;;
esac

scripts/setup.sh

build=build/demo
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target kefu-site

work=$(mktemp -d /tmp/tavro-demo.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

headless=0
[[ -z "${DISPLAY:-}" || $update_screenshot == 1 ]] && headless=1

# The site first: its port goes into url.txt and into the advertisement address of the build.
site_args=(--log "$work/requests.log")
((headless)) && site_args+=(--auto-login 1500)
"$build/tools/kefu_site/kefu-site" "${site_args[@]}" >"$work/site.out" 2>"$work/site.err" &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/site.out" ]] && break; sleep 0.05; done
port=$(head -n1 "$work/site.out")
[[ "$port" =~ ^[0-9]+$ ]] || { echo "demo: the demo site did not start" >&2; exit 1; }
site="http://127.0.0.1:$port"

cmake -S . -B "$build" -DTAVRO_AD_PAGE_URL="$site/ad.html" >/dev/null
cmake --build "$build" -j2 --target tavro

mkdir -p "$work/folder"
printf '%s' "$site" >"$work/folder/url.txt"
cp packaging/samples/界面_03.gif packaging/samples/界面_06.gif "$work/folder/"
echo "demo: site $site, working folder $work/folder"

if ((!headless)); then
  echo "demo: sign in with user demo, password demo123; close Tavro with its × button."
  (cd "$work/folder" && "$root/$build/app/tavro") || true
  echo "demo: requests the site received:"
  cat "$work/requests.log"
  exit 0
fi

# Headless: a private X server, auto-login, screenshot, close through the × button.
command -v Xvfb >/dev/null
display_fd=$(mktemp)
# A black root (-br) lets the screenshot's corners outside the rounded outline be found.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -br -nolisten tcp 3>"$display_fd" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$display_fd" ]] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$display_fd")"
rm -f "$display_fd"

(cd "$work/folder" && exec "$root/$build/app/tavro") >"$work/tavro.out" 2>&1 &
tavro=$!
pids+=($tavro)

wait_for() {  # seconds, then a command that succeeds when done
  local limit=$(($1 * 10)); shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}
main_window() { xdotool search --onlyvisible --pid "$tavro" --class tavro 2>/dev/null | head -n1; }
has_window() { [[ -n "$(main_window)" ]]; }
wait_for 30 has_window || { echo "demo: no Tavro window" >&2; exit 1; }
win=$(main_window)
marker=$(sed -n 's/^#define TAVRO_TITLE_MARKER "\(.*\)"$/\1/p' "$build/generated/tavro_config.h")
signed_in() { xdotool getwindowname "$win" 2>/dev/null | grep -q "$marker"; }
wait_for 60 signed_in || { echo "demo: the agent console never appeared" >&2; exit 1; }
sleep 2  # a tick to apply the layout and a moment for the advertisement page to paint

shot="$work/tavro-signed-in.png"
# The corners outside the outline show the root window: made transparent, they leave the window's
# own shape. No time stamps, so the same window gives the same file.
import -window "$win" "$work/raw.png"
eval "$(xdotool getwindowgeometry --shell "$win")"
corners=()
for at in 0,0 $((WIDTH - 1)),0 0,$((HEIGHT - 1)) $((WIDTH - 1)),$((HEIGHT - 1)); do
  if [[ "$(convert "$work/raw.png" -format "%[hex:p{$at}]" info:)" == 000000 ]]; then
    corners+=(-draw "color $at floodfill")
  fi
done
convert "$work/raw.png" -alpha set -fill none -fuzz 0 "${corners[@]}" -strip \
  -define png:exclude-chunks=date,time "$shot"
echo "demo: screenshot of the signed-in window: $shot"
if ((update_screenshot)); then
  cp "$shot" packaging/screenshots/signed-in.png
  echo "demo: packaging/screenshots/signed-in.png updated"
fi
echo "demo: caption: $(xdotool getwindowname "$win")"

# The close button sits at (280, 4) in the signed-in layout, 28 x 15 pixels.
xdotool mousemove $((X + 290)) $((Y + 10)) click 1
question() { xdotool search --onlyvisible --pid "$tavro" --name . 2>/dev/null | grep -qv "^$win\$"; }
wait_for 10 question || { echo "demo: the exit question did not appear" >&2; exit 1; }
sleep 0.3
xdotool key Return
if wait_for 10 bash -c "! kill -0 $tavro 2>/dev/null"; then
  wait "$tavro" && status=0 || status=$?
  echo "demo: Tavro ended with exit code $status"
else
  echo "demo: Tavro did not end" >&2
fi
echo "demo: requests the site received (method, address, session):"
cat "$work/requests.log"
