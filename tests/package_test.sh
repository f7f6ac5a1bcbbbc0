#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it into a private root
# (not the system) and runs the installed korvanith-cli from there: --help, and
# a phase swap of two installed samples that must give the build tree's bytes.
# Usage: package_test.sh BUILD_DIR KORVANITH_CLI
set -euo pipefail
build=$1
cli=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package_test: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/korvanith_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one korvanith_*.deb, got: ${debs[*]}"
deb=${debs[0]}

info=$(dpkg-deb -I "$deb")
echo "$info"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
# libqt6gui6 also brings the offscreen and xcb platform plugins.
for package in libqt6core6 libqt6gui6 libqt6widgets6 qt6-image-formats-plugins; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

root=$work/root
dpkg -x "$deb" "$root"
for file in bin/korvanith bin/korvanith-cli share/applications/korvanith.desktop \
    share/icons/hicolor/32x32/apps/korvanith.png share/man/man1/korvanith-cli.1 \
    share/korvanith/samples/text-left.png share/korvanith/samples/text-right.png; do
  [ -s "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
grep -qx 'Exec=korvanith' "$root/usr/share/applications/korvanith.desktop" ||
  fail "the desktop entry does not start korvanith"

installed=$root/usr/bin/korvanith-cli
samples=$root/usr/share/korvanith/samples
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime HOME=$work/home XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset LD_LIBRARY_PATH
"$installed" --help >"$work/help.txt" || fail "installed korvanith-cli --help failed"
grep -q '^Usage: korvanith-cli' "$work/help.txt" || fail "--help does not print the usage"
"$installed" --mode swap "$samples/text-left.png" "$samples/text-right.png" \
  "$work/installed-left.png" "$work/installed-right.png" || fail "installed korvanith-cli --mode swap failed"
"$cli" --mode swap "$samples/text-left.png" "$samples/text-right.png" \
  "$work/built-left.png" "$work/built-right.png" || fail "the build tree's korvanith-cli failed"
cmp "$work/installed-left.png" "$work/built-left.png" || fail "installed and built tools disagree (left)"
cmp "$work/installed-right.png" "$work/built-right.png" || fail "installed and built tools disagree (right)"
echo "package_test: $(basename "$deb") unpacks and its korvanith-cli runs"
