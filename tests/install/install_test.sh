#!/usr/bin/env bash
# cmake --install into a scratch prefix, then checks what a desktop and the Debian package need:
# the installed files, the manual page, the AppStream metainfo, lintian on the .deb, and the
# installed program started the two ways an agent starts it: `tavro -C DIR` from another folder,
# and the menu entry's command in a fresh home, each against the demo site on 127.0.0.1.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR DISPLAY_NAME KEFU_SITE
set -euo pipefail
build=$1 source=$2 name=$3 kefu_site=$4
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavro-install.XXXXXX")
prefix=$scratch/prefix
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
section() { echo "-- $*"; }

wait_for() {  # seconds, then a command that succeeds once the awaited event has happened
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

section "installed files"
cmake --install "$build" --prefix "$prefix" >/dev/null
metainfo=share/metainfo/cn.tavro.tavro.metainfo.xml
expected="bin/tavro
lib/tavro/egl/libEGL_tavro_none.so
lib/tavro/egl/tavro_egl_none.json
share/applications/tavro.desktop
share/doc/tavro/changelog.gz
share/doc/tavro/copyright
share/icons/hicolor/16x16/apps/tavro.png
share/icons/hicolor/32x32/apps/tavro.png
share/icons/hicolor/48x48/apps/tavro.png
share/lintian/overrides/tavro
share/man/man1/tavro.1.gz
$metainfo
share/tavro/screenshots/signed-in.png
share/tavro/url.txt
share/tavro/界面_03.gif
share/tavro/界面_06.gif"
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ "$actual" == "$(LC_ALL=C sort <<<"$expected")" ]] || fail "installed files differ:
$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || true)"

tavro=$prefix/bin/tavro
[[ -x "$tavro" ]] || fail "bin/tavro is not executable"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$tavro" --version) || fail "tavro --version failed"
[[ "$version" == "$name 1.0.0.0" ]] || fail "tavro --version printed '$version'"

desktop="$prefix/share/applications/tavro.desktop"
for line in "Type=Application" "Name=$name" "Exec=tavro --menu" "Icon=tavro" "Terminal=false" \
            "Categories=Network;Chat;" "StartupWMClass=tavro"; do
  grep -qxF "$line" "$desktop" || fail "tavro.desktop lacks '$line'"
done
grep -q '^Comment=.*url\.txt' "$desktop" || fail "the Comment does not mention url.txt"
if grep -q '^Path=' "$desktop"; then fail "tavro.desktop sets a Path"; fi
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects tavro.desktop"

for size in 16 32 48; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/tavro.png"
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "$png: $(file -b "$png")"
done

cmp -s "$prefix/share/tavro/url.txt" "$source/packaging/samples/url.txt" || fail "url.txt differs from the sample"
[[ "$(tail -c 1 "$prefix/share/tavro/url.txt" | od -An -c | tr -d ' ')" != '\n' ]] || fail "url.txt ends with a newline"
for gif in 界面_03.gif 界面_06.gif; do
  cmp -s "$prefix/share/tavro/$gif" "$source/packaging/samples/$gif" || fail "$gif differs from the sample"
done

section "command line"
help=$(env -u DISPLAY "$tavro" --help) || fail "tavro --help failed"
for word in "-C DIR" "--folder DIR" "--menu" "url.txt" "Exit status"; do
  grep -qF -- "$word" <<<"$help" || fail "tavro --help does not mention '$word'"
done
# A folder that cannot be entered is refused before the display is opened (that would be 1).
refused() {  # what the message must name, then the arguments
  local named=$1 status=0; shift
  env -u DISPLAY "$tavro" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
  [[ $status == 2 ]] || fail "tavro $* ended with $status, not 2"
  [[ ! -s "$scratch/out" ]] || fail "tavro $* wrote to stdout: $(cat "$scratch/out")"
  grep -qF -- "$named" "$scratch/err" || fail "tavro $*: the message does not name '$named': $(cat "$scratch/err")"
}
touch "$scratch/not-a-folder"
refused "$scratch/missing" -C "$scratch/missing"
refused "$scratch/not-a-folder" --folder "$scratch/not-a-folder"
refused "$scratch/missing" --folder="$scratch/missing"
refused "-C" -C
refused "--menu" --menu -C "$scratch"

section "manual page"
page=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$prefix/share/man/man1/tavro.1.gz" 2>"$scratch/man.err") ||
  fail "man -l tavro.1.gz failed: $(cat "$scratch/man.err")"
for word in "url.txt" "-C dir" "--folder" "--menu" "--help" "--version" "界面_03.gif" "界面_06.gif" \
            "~/.config/tavro" "EXIT STATUS"; do
  grep -qF -- "$word" <<<"$page" || fail "the manual page does not mention '$word'"
done

section "AppStream metainfo"
appstreamcli validate --no-net --explain "$prefix/$metainfo" || fail "appstreamcli validate rejects the metainfo"
# The tree check also finds the desktop entry that the metainfo launches.
appstreamcli validate-tree --no-net --explain "$prefix" || fail "appstreamcli validate-tree rejects the install"
shot_url=$(sed -n 's|.*<image[^>]*>\(.*\)</image>.*|\1|p' "$prefix/$metainfo")
[[ "${shot_url##*/}" == signed-in.png ]] || fail "the metainfo's screenshot is '$shot_url', not the installed one"
shot="$prefix/share/tavro/screenshots/signed-in.png"
file -b "$shot" | grep -q "^PNG image data, 318 x 723," || fail "the screenshot is $(file -b "$shot")"

section "Debian package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb" >"$scratch/cpack.out" 2>&1 ||
  fail "cpack failed: $(cat "$scratch/cpack.out")"
deb=$(find "$scratch/deb" -maxdepth 1 -name 'tavro_*.deb' | head -n1)
if [[ -n "$deb" ]]; then
  lintian_out=$(lintian --no-tag-display-limit "$deb" 2>&1) || true
  if grep -E '^[EW]: ' <<<"$lintian_out" >/dev/null; then fail "lintian:
$lintian_out"; fi
else
  fail "cpack made no .deb: $(cat "$scratch/cpack.out")"
fi

# The rest needs a display: a private X server, and a demo site for each start.
section "starts on the demo site"
display_fd=$scratch/display
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_fd" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$display_fd" || { fail "Xvfb did not start"; exit 1; }
display=":$(head -n1 "$display_fd")"

site_port=""
start_site() {  # directory: a demo site signing in by itself, its log in the directory
  mkdir -p "$1"
  "$kefu_site" --auto-login 300 --log "$1/requests.log" >"$1/site.out" 2>"$1/site.err" &
  pids+=($!)
  wait_for 10 grep -qs '^[0-9][0-9]*$' "$1/site.out" || { fail "the demo site did not start: $(cat "$1/site.err")"; return 1; }
  site_port=$(head -n1 "$1/site.out")
}
# A folder for Tavro set up as the README says: the installed samples, url.txt rewritten to the
# site (plus a path that tells decoys apart).
make_folder() {  # folder, site address
  mkdir -p "$1"
  cp "$prefix/share/tavro/url.txt" "$prefix"/share/tavro/*.gif "$1/"
  printf '%s' "$2" >"$1/url.txt"
}
logged() { grep -qE "$2" "$1/requests.log" 2>/dev/null; }
tavro_pid=""
run_tavro() {  # directory for its output, working folder, environment and command...
  local out=$1 cwd=$2; shift 2
  (cd "$cwd" && exec env "$@") >"$out/tavro.out" 2>"$out/tavro.err" &
  tavro_pid=$!
  pids+=($tavro_pid)
}
stop_tavro() {
  kill "$tavro_pid" 2>/dev/null || true
  wait "$tavro_pid" 2>/dev/null || true
}
session_env() {  # home: what a desktop session gives a program, without its user's own settings
  local runtime=$scratch/runtime-${1##*/}
  mkdir -p "$runtime" && chmod 700 "$runtime"
  printf '%s\n' -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME \
    -u LC_ALL -u LANGUAGE -u WAYLAND_DISPLAY -u SESSION_MANAGER \
    "HOME=$1" "DISPLAY=$display" "XDG_RUNTIME_DIR=$runtime" LANG=C.UTF-8 NO_AT_BRIDGE=1 \
    "DBUS_SESSION_BUS_ADDRESS=unix:path=$runtime/no-bus" "PATH=$prefix/bin:$PATH"
}

# tavro -C DIR from another working folder, which holds a url.txt of its own.
run=$scratch/by-folder
start_site "$run"
site=http://127.0.0.1:$site_port
make_folder "$run/agent" "$site"
make_folder "$run/elsewhere" "$site/decoy-working-folder"
mkdir -p "$run/home"
mapfile -t envs < <(session_env "$run/home")
run_tavro "$run" "$run/elsewhere" "${envs[@]}" "$tavro" -C "$run/agent"
if wait_for 60 logged "$run" '^GET /kefu/index\.php [0-9a-f]+$|decoy'; then
  if logged "$run" decoy; then fail "tavro -C read url.txt of the working folder"; fi
  logged "$run" '^GET /kefu/login\.php\? ' || fail "tavro -C: no login page before the console"
  logged "$run" '^GET /kefu/index\.php [0-9a-f]+$' || fail "tavro -C: the agent did not sign in"
else
  fail "tavro -C DIR did not sign in on the demo site; its log:
$(cat "$run/requests.log" 2>/dev/null)
tavro's errors: $(tail -n 5 "$run/tavro.err")"
fi
stop_tavro

# The menu entry's command, as a launcher runs it: from the installed entry, in a fresh home.
read -ra menu_command <<<"$(sed -n 's/^Exec=//p' "$desktop" | head -n1)"
for i in "${!menu_command[@]}"; do [[ "${menu_command[$i]}" == %? ]] && unset "menu_command[$i]"; done
[[ "$(PATH=$prefix/bin:$PATH command -v "${menu_command[0]}")" == "$tavro" ]] ||
  fail "the menu entry's command '${menu_command[0]}' is not the installed tavro"

menu_start() {  # name, the log line that shows the start went to the right folder
  local run=$scratch/$1 expect=$2
  if ! wait_for 60 logged "$run" "$expect|decoy"; then
    fail "$run: the menu entry did not open $expect; its log:
$(cat "$run/requests.log" 2>/dev/null)
tavro's errors: $(tail -n 5 "$run/tavro.err")"
    return 1
  fi
  if logged "$run" decoy; then fail "$run: the menu entry read a url.txt it should not"; fi
  logged "$run" "$expect" || fail "$run: the menu entry did not open $expect"
}

# ~/.config/tavro set up as the README says, with XDG_CONFIG_HOME unset.
run=$scratch/menu
start_site "$run"
site=http://127.0.0.1:$site_port
home=$run/home
make_folder "$home/.config/tavro" "$site"
make_folder "$home" "$site/decoy-home"
mapfile -t envs < <(session_env "$home")
run_tavro "$run" / "${envs[@]}" "${menu_command[@]}"
menu_start menu '^GET /kefu/login\.php\? '
stop_tavro
# Tavro writes no files of its own: the fresh home holds what was put there and the site's profile
# (its cookies and storage, kept by the browser component under ~/.local/share/tavro), nothing else.
left=$(cd "$home" && find . -mindepth 1 -not -path ./.config -not -path ./.config/tavro \
         -not -name url.txt -not -name '界面_0[36].gif' -not -path ./.local -not -path ./.local/share \
         -not -path './.local/share/tavro' -not -path './.local/share/tavro/*' | LC_ALL=C sort)
[[ -z "$left" ]] || fail "the menu start left files in the fresh home: $left"

# XDG_CONFIG_HOME, when set, names the folder that holds tavro/.
run=$scratch/menu-xdg
start_site "$run"
site=http://127.0.0.1:$site_port
home=$run/home
make_folder "$run/config/tavro" "$site/xdg-config"
make_folder "$home/.config/tavro" "$site/decoy-dot-config"
mapfile -t envs < <(session_env "$home")
run_tavro "$run" / "${envs[@]}" "XDG_CONFIG_HOME=$run/config" "${menu_command[@]}"
menu_start menu-xdg '^GET /xdg-config/kefu/login\.php\? '
stop_tavro

# No tavro folder: the home folder.
run=$scratch/menu-home
start_site "$run"
site=http://127.0.0.1:$site_port
home=$run/home
make_folder "$home" "$site/home"
mkdir -p "$home/.config"
mapfile -t envs < <(session_env "$home")
run_tavro "$run" / "${envs[@]}" "${menu_command[@]}"
menu_start menu-home '^GET /home/kefu/login\.php\? '
stop_tavro

((failures == 0)) && echo "install layout OK"
exit $((failures > 0))
