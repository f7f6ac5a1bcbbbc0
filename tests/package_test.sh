#!/usr/bin/env bash
# Builds the Debian package from a build tree, has lintian check it (no error,
# no warning), unpacks it into a private root (not the system), checks the
# licence, changelog and manual pages in it, and runs the installed
# korvanith-cli from there: --help, and a phase swap of two installed samples
# that must give the build tree's bytes.
# Usage: package_test.sh BUILD_DIR KORVANITH_CLI
set -euo pipefail
build=$1
cli=$2
srcdir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
command -v lintian >/dev/null || { echo "package_test: lintian is missing (bash scripts/deps installs it)" >&2; exit 1; }
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

# Every error and warning fails; informational tags are shown but pass.
# lintian exits with 2 on an error or warning, with 1 when it could not check.
status=0
lintian --allow-root --fail-on error,warning --display-info "$deb" >"$work/lintian.log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -q '^[EW]: ' "$work/lintian.log"; then
  cat "$work/lintian.log" >&2
  fail "lintian finds errors or warnings in $(basename "$deb") (exit status $status)"
fi
cat "$work/lintian.log"

root=$work/root
dpkg -x "$deb" "$root"
doc=share/doc/korvanith
for file in bin/korvanith bin/korvanith-cli share/applications/korvanith.desktop \
    share/icons/hicolor/32x32/apps/korvanith.png \
    share/man/man1/korvanith.1.gz share/man/man1/korvanith-cli.1.gz \
    $doc/copyright $doc/changelog.gz \
    share/korvanith/samples/text-left.png share/korvanith/samples/text-right.png; do
  [ -s "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
grep -qx 'Exec=korvanith' "$root/usr/share/applications/korvanith.desktop" ||
  fail "the desktop entry does not start korvanith"

# The compressed files unpack to their sources in packaging/, whole and unmixed.
for pair in man/man1/korvanith.1.gz:korvanith.1 man/man1/korvanith-cli.1.gz:korvanith-cli.1 \
    doc/korvanith/changelog.gz:changelog; do
  packaged=$root/usr/share/${pair%%:*}
  gzip -dc "$packaged" | cmp -s - "$srcdir/packaging/${pair#*:}" ||
    fail "/usr/share/${pair%%:*} is not packaging/${pair#*:} (damaged, stale or mixed up)"
done

# The copyright file carries LICENSE: the same holder and year, the same text.
holder=$(sed -n 's/^Copyright (c) //p' "$srcdir/LICENSE")
[ -n "$holder" ] || fail "LICENSE has no line 'Copyright (c) YEAR HOLDER'"
grep -qxF "Copyright: $holder" "$root/usr/$doc/copyright" ||
  fail "/usr/$doc/copyright does not name the holder of LICENSE ($holder)"
# The indented text of the stand-alone "License: Expat" paragraph, unindented.
awk '/^License: Expat$/ { body = 1; next }
     body && /^ / { line = substr($0, 2); print (line == "." ? "" : line); next }
     { body = 0 }' "$root/usr/$doc/copyright" >"$work/copyright-licence.txt"
sed -n '/^Permission is hereby granted/,$p' "$srcdir/LICENSE" >"$work/licence.txt"
[ -s "$work/licence.txt" ] || fail "LICENSE does not hold the MIT licence text"
diff -u "$work/licence.txt" "$work/copyright-licence.txt" >&2 ||
  fail "the licence text in /usr/$doc/copyright differs from LICENSE"

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
echo "package_test: $(basename "$deb") passes lintian, unpacks and its korvanith-cli runs"
