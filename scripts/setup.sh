#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tavro need; safe to run again.
# Usage: scripts/setup.sh [--bench]   (--bench adds the programs the benchmark compares against)
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config libglib2.0-dev-bin
  libgtkmm-3.0-dev libwebkit2gtk-4.1-dev libx11-dev libxext-dev
  libglvnd-dev  # the EGL vendor interface of platform/no_gl
  libcpp-httplib-dev googletest libgtest-dev libgmock-dev
  # run: WebKit's media and CJK text in message boxes and pages
  fonts-wqy-microhei gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # tests: X server, window manager, input and screenshots, sanitizers and the fuzzer
  xvfb xauth xdotool openbox x11-utils x11-xserver-utils imagemagick
  python3 python3-pil clang libclang-rt-14-dev dpkg-dev file openssl
  dbus-daemon  # a session bus of the tests' own, with a fake notification service
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0  # the accessibility bus and a reader of the tree
  strace  # the test that a session writes no file
  locales  # a GB18030 locale for the messages on a Chinese terminal of an older install
  pulseaudio pulseaudio-utils  # a desktop's sound server for the tests of the site's sounds
  # packaging: checks of the desktop entry, the Debian package, the AppStream metainfo and the
  # manual page (dpkg-dev above builds the .deb's dependencies)
  desktop-file-utils lintian appstream man-db
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(chromium surf procps pulseaudio)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}" >&2
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.gb18030'; then
  $sudo localedef -i zh_CN -f GB18030 zh_CN.GB18030
fi
