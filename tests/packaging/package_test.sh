#!/usr/bin/env bash
# Makes the .deb as scripts/package does, in BUILD_DIR/package, and checks it as Debian
# checks a package (lintian, pedantic, with its informational tags: it must report nothing)
# and as a user's system gets it: its dependencies, files valid for the desktop tools,
# manual pages that render cleanly and name every option and exit status --help lists, and
# the lexhaul command's choice of folder.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
build=$1/package
app_id=io.github.lexhaul.Lexhaul
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

rm -f "$build"/lexhaul_*.deb
LEXHAUL_BUILD_DIR=$build bash "$source/scripts/package" >"$work/package.log" 2>&1 \
    || { cat "$work/package.log"; exit 1; }
deb=$(echo "$build"/lexhaul_*.deb)

for package in libqt6webenginewidgets6 libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n; do
    dpkg-deb -f "$deb" Depends | grep -q "\b$package\b" || fail "Depends lacks $package"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *fonts-noto-cjk* ]] || fail "fonts-noto-cjk not recommended"

# Any tag at all fails, whatever its level; --fail-on makes the status say so too.
tags=$(lintian --pedantic -I --fail-on error,warning,info,pedantic "$deb" 2>"$work/lintian.log") \
    && [[ -z $tags ]] || fail "lintian: $tags $(cat "$work/lintian.log")"

# Fortify, as lintian cannot see it in the program (packaging/lexhaul.lintian-overrides).
! grep '"command"' "$build/compile_commands.json" | grep -qv -- -D_FORTIFY_SOURCE=2 \
    || fail "objects compiled without -D_FORTIFY_SOURCE=2"

root=$work/root
dpkg-deb -x "$deb" "$root"
program=$root/usr/libexec/lexhaul/lexhaul
# Hints too: one would be a menu entry shown twice.
notes=$(desktop-file-validate "$root/usr/share/applications/$app_id.desktop" 2>&1) \
    && [[ -z $notes ]] || fail "desktop-file-validate: $notes"
# validate-tree also checks that the metainfo's launchable names the installed entry, but
# passes a tree without metainfo. Lintian checks the other files' presence and modes, and
# that the program is stripped.
[[ -f $root/usr/share/metainfo/$app_id.metainfo.xml ]] && appstreamcli validate-tree --no-net "$root" \
    || fail "appstreamcli validate-tree, or no metainfo"
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/$app_id.desktop")
[[ -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "entry names icon $icon, not installed"

help=$(LC_ALL=C.UTF-8 "$program" --help)
options=$(grep -oE -- '(^|[ [,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' [,' | sort -u)
statuses=$(grep -oE '^  [0-9]+(\+N)?( |$)' <<<"$help" | tr -d ' ')
[[ -n $options && -n $statuses ]] || fail "no options or statuses in --help: $help"
for page in "$root"/usr/share/man/man1/lexhaul.1.gz "$root"/usr/share/man/zh_CN/man1/lexhaul.1.gz; do
    warnings=$(zcat "$page" | groff -ww -z -k -Tutf8 -man 2>&1) && [[ -z $warnings ]] \
        || fail "groff on ${page#"$root"}: $warnings"
    text=$(zcat "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g')
    for option in $options; do
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$text" || fail "${page#"$root"} lacks $option"
    done
    for code in $statuses; do
        grep -qxF ".B $code" <<<"$text" || fail "${page#"$root"} lacks status $code"
    done
done

# The command adds the user's folder unless given one; a stand-in program shows what it got.
printf '#!/bin/sh\nprintf "%%s|" "$@"\n' >"$program"
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
