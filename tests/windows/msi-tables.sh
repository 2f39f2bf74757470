#!/usr/bin/env bash
# The 32-bit installer read back without running it (this kernel cannot run
# 32-bit programs): a 32-bit package whose programs go to the 32-bit Program
# Files folder, carrying the build's own stripped programs, with the shortcut,
# the icon and the major upgrade.
#   tests/windows/msi-tables.sh BUILD-DIR      (a 32-bit Windows build)
set -euo pipefail

build=$1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
packed=$build/packaging/windows
msi=$packed/tarvane-updater-$version-x86.msi
work=$packed/tables
rm -rf "$work" && mkdir -p "$work"

fail() { echo "  $msi: $*" >&2; exit 1; }
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
expect_row() { # TABLE ROW (tab-separated)
  table "$1" | grep -qxF -- "$2" || fail "no row \"$2\" in $1"
}

msiinfo suminfo "$msi" | grep -qx 'Template: Intel;1033' || fail "not a 32-bit package"
product=$(table Property | sed -n 's/^ProductName\t//p')
[[ -n $product ]] || fail "no product name"
expect_row Property "ProductVersion	$version"
expect_row Property "ALLUSERS	1"
expect_row Property "ARPPRODUCTICON	tarvane.ico"
expect_row Directory "INSTALLDIR	ProgramFilesFolder	$product"
expect_row Directory "ProgramFilesFolder	TARGETDIR	."
# Attributes 0: neither component is a 64-bit one.
table Component | cut -f 1,3,4,6 > "$work/components.txt"
printf '%s\n' "Window	INSTALLDIR	0	WindowExe" "TerminalTool	INSTALLDIR	0	TerminalToolExe" |
  diff - "$work/components.txt" > /dev/null || fail "components differ: $(cat "$work/components.txt")"
table Shortcut | cut -f 2-5,9 | grep -qxF "ProgramMenuFolder	$product	Window	[#WindowExe]	tarvane.ico" ||
  fail "no shortcut to the window in the start menu"
table Upgrade | grep -q 'WIX_DOWNGRADE_DETECTED$' || fail "no downgrade detection"
table LaunchCondition | grep -q '^NOT WIX_DOWNGRADE_DETECTED	A newer version' || fail "no downgrade refusal"

msiextract -C "$work" "$msi" > /dev/null
for exe in tarvane-updater.exe tarvane-update.exe; do
  cmp -s "$work/Program Files/$product/$exe" "$packed/programs/$exe" || fail "$exe is not the build's"
done
