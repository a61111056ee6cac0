#!/usr/bin/env bash
# cmake --install into a scratch prefix, then checks what a desktop needs and nothing more:
# the program, its desktop entry, its icons at three sizes and the samples, byte for byte.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR DISPLAY_NAME
set -euo pipefail
build=$1 source=$2 name=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tavro-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/tavro
share/applications/tavro.desktop
share/icons/hicolor/16x16/apps/tavro.png
share/icons/hicolor/32x32/apps/tavro.png
share/icons/hicolor/48x48/apps/tavro.png
share/tavro/url.txt
share/tavro/界面_03.gif
share/tavro/界面_06.gif"
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ "$actual" == "$(LC_ALL=C sort <<<"$expected")" ]] || fail "installed files differ:
$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || true)"

[[ -x "$prefix/bin/tavro" ]] || fail "bin/tavro is not executable"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/tavro" --version) || fail "tavro --version failed"
[[ "$version" == "$name 1.0.0.0" ]] || fail "tavro --version printed '$version'"

desktop="$prefix/share/applications/tavro.desktop"
for line in "Type=Application" "Name=$name" "Exec=tavro --menu" "Icon=tavro" "Terminal=false" \
            "Categories=Network;Chat;" "StartupWMClass=tavro"; do
  grep -qxF "$line" "$desktop" || fail "tavro.desktop lacks '$line'"
done
grep -q '^Comment=.*url\.txt' "$desktop" || fail "the Comment does not mention url.txt"
if grep -q '^Path=' "$desktop"; then fail "tavro.desktop sets a Path"; fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects tavro.desktop"
fi

for size in 16 32 48; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/tavro.png"
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "$png: $(file -b "$png")"
done

cmp -s "$prefix/share/tavro/url.txt" "$source/packaging/samples/url.txt" || fail "url.txt differs from the sample"
[[ "$(tail -c 1 "$prefix/share/tavro/url.txt" | od -An -c | tr -d ' ')" != '\n' ]] || fail "url.txt ends with a newline"
for gif in 界面_03.gif 界面_06.gif; do
  cmp -s "$prefix/share/tavro/$gif" "$source/packaging/samples/$gif" || fail "$gif differs from the sample"
done

((failures == 0)) && echo "install layout OK"
exit $((failures > 0))
