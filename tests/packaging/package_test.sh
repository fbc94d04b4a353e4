#!/usr/bin/env bash
# Makes the .deb from a build tree and checks what a user's system gets from it: the
# program, the command, the desktop entry, the icon and the metainfo, valid for the desktop
# tools, and the lexhaul command's choice of folder.
# Usage: package_test.sh BUILD_DIR [CPACK]
set -euo pipefail
build=$1
cpack=${2:-cpack}
app_id=io.github.lexhaul.Lexhaul
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

deb=$work/none
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 \
    && deb=$(echo "$work"/lexhaul_*.deb)
[[ -f $deb ]] || { cat "$work/cpack.log"; exit 1; }

contents=$(dpkg-deb -c "$deb")
for entry in \
    "-rwxr-xr-x ./usr/bin/lexhaul" \
    "-rwxr-xr-x ./usr/libexec/lexhaul/lexhaul" \
    "-rw-r--r-- ./usr/share/applications/$app_id.desktop" \
    "-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
    "-rw-r--r-- ./usr/share/metainfo/$app_id.metainfo.xml" \
    "-rw-r--r-- ./usr/share/doc/lexhaul/copyright"; do
    grep -q "^${entry%% *} .* ${entry#* }\$" <<<"$contents" || fail "package lacks $entry"
done

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6webenginewidgets6 libqt6widgets6 qt6-qpa-plugins; do
    grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *fonts-noto-cjk* ]] || fail "fonts-noto-cjk not recommended"

root=$work/root
dpkg-deb -x "$deb" "$root"
file "$root/usr/libexec/lexhaul/lexhaul" | grep -q 'ELF.*, stripped' || fail "program not a stripped ELF"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
# validate-tree also checks that the metainfo's launchable names the installed entry.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/$app_id.desktop")
[[ -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "entry names icon $icon, not installed"

# The command adds the user's folder unless given one; a stand-in program shows what it got.
printf '#!/bin/sh\nprintf "%%s|" "$@"\n' >"$root/usr/libexec/lexhaul/lexhaul"
ln -s "$root/usr/bin/lexhaul" "$work/linked"
home=$work/home
while IFS=';' read -r command args expected; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    got=$(HOME=$home "$command" $args)
    [[ $got == "$expected" ]] || fail "lexhaul $args: passed '$got', expected '$expected'"
done <<EOF_CASES
$root/usr/bin/lexhaul;;--dir|$home/Lexhaul|
$root/usr/bin/lexhaul;--batch;--dir|$home/Lexhaul|--batch|
$root/usr/bin/lexhaul;--dir /tmp/x;--dir|/tmp/x|
$root/usr/bin/lexhaul;--batch --dir=/tmp/x;--batch|--dir=/tmp/x|
$work/linked;--batch;--dir|$home/Lexhaul|--batch|
EOF_CASES

exit $status
