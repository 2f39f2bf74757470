#!/usr/bin/env bash
# The x64 installer under Wine, in a fresh prefix of its own: installed
# silently, its programs run from where it put them, replaced in place by a
# newer package, that one kept when the older is tried again, and removed
# without a trace. CTest runs it (packaging/windows/CMakeLists.txt);
# scripts/windows/test.sh provides the virtual display and a native tarvane-sim.
#   msi-install.sh PACKAGE.msi NEWER.msi
# Exit 0 passed, 1 failed, 77 skipped.
set -uo pipefail

case_name="msi-install"
msi=$1
newer=$2
wine=${TARVANE_WINE:-wine}
product=${TARVANE_PRODUCT_NAME:?}
work=${TARVANE_CASE_DIR:?}/install
rm -rf "$work" && mkdir -p "$work"
# shellcheck source=tests/windows/wine-lib.sh
source "$(dirname "$0")/wine-lib.sh"

export WINEPREFIX=$work/prefix
wine_prefix=${TARVANE_SOURCE_DIR:?}/scripts/windows/wine-prefix.sh
# shellcheck disable=SC2046 # one word a setting
export $("$wine_prefix" env)
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
end_prefix() { "$wineserver" -k > /dev/null 2>&1; }
trap 'stop_sim; end_prefix' EXIT

drive_c=$WINEPREFIX/drive_c
bin="$drive_c/Program Files/$product"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
products_key='HKLM\Software\Classes\Installer\Products'

# msiexec with a verbose log in $work/NAME.log; sets status.
run_msiexec() { # NAME msiexec-arguments...
  "$wine" msiexec "${@:2}" /qn /l*v "$(winpath "$work/$1.log")" > "$work/$1.out" 2>&1 < /dev/null
  status=$?
}

# The subkeys of KEY whose value NAME is the product's name, each as lines
# NAME=DATA and an empty line.
entries() { # KEY NAME
  "$wine" reg query "$1" /s < /dev/null 2> /dev/null | tr -d '\r' | awk -F '    ' -v name="$2" -v want="$product" '
    function flush() { if (hit) { for (i = 1; i <= n; i++) print line[i]; print "" } }
    /^HKEY_/ { flush(); n = 0; hit = 0; next }
    NF >= 3 { line[++n] = $2 "=" $4; if ($2 == name && $4 == want) hit = 1 }
    END { flush() }'
}

# A path of the prefix's C: drive as a Unix path.
unixpath() { local p=${1#[Cc]:}; echo "$drive_c${p//\\//}"; }

# The one installed product is VERSION: the programs, the shortcut and the
# entry of Apps & features all there.
expect_installed() { # VERSION LOG-NAME
  [[ -f $bin/tarvane-updater.exe && -f $bin/tarvane-update.exe ]] || fail "the programs are not in $bin"
  entries "$uninstall_key" DisplayName > "$work/uninstall.txt"
  [[ $(grep -c '^DisplayName=' "$work/uninstall.txt") -eq 1 ]] || fail "not exactly one uninstall entry"
  for value in "DisplayVersion=$1" "Publisher=${TARVANE_PUBLISHER:?}" "InstallLocation=C:\\Program Files\\$product\\"; do
    grep -qxF "$value" "$work/uninstall.txt" || fail "the uninstall entry lacks $value"
  done
  # Wine's installer keeps the product's icon with the product, not in the
  # uninstall entry, where Windows copies it as DisplayIcon.
  entries "$products_key" ProductName > "$work/product.txt"
  icon=$(sed -n 's/^ProductIcon=//p' "$work/product.txt")
  [[ -n $icon && -f $(unixpath "$icon") ]] || fail "no product icon"
  # A per-machine install puts the shortcut into the start menu's programs
  # as the installer resolves them.
  menu=$(sed -n 's/^Property(S): ProgramMenuFolder = //p' "$work/$2.log" | tr -d '\r')
  shortcut=$(unixpath "$menu")$product.lnk
  [[ -f $shortcut ]] || fail "no shortcut $shortcut"
}

[[ -f $msi && -f $newer ]] || { echo "no package $msi or $newer" >&2; exit 77; }
[[ -n ${DISPLAY:-} ]] || { echo "no DISPLAY" >&2; exit 77; }
started=$(date +%s)
"$wine_prefix" make "$wine" "$WINEPREFIX" 2> /dev/null || fail "no prefix was made"
echo "fresh prefix in $(( $(date +%s) - started )) s"

run_msiexec install /i "$(winpath "$msi")"
expect_status 0
expect_installed "${TARVANE_VERSION:?}" install

update --version
expect_status 0
expect_out_line "tarvane-update $TARVANE_VERSION"
start_sim
update --board display --device "$sim_address" "$(winpath "${TARVANE_SOURCE_DIR:?}/examples/Tarvane_Display_Board_2064.hex")"
expect_status 0
expect_success_log Display
stop_sim

# The window, started as the start menu starts it: through the shortcut.
"$wine" start /unix "$shortcut" > "$work/window.txt" 2>&1 < /dev/null
title=$(window_title)
find_window "$title" || fail "no window titled \"$title\" appeared"
# Ends the window too, which would hold its file against the upgrade.
end_prefix

newer_version=$(msiinfo export "$newer" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
run_msiexec upgrade /i "$(winpath "$newer")"
expect_status 0
expect_installed "$newer_version" upgrade

# Refused (1603, "fatal error", of which Unix keeps the low byte) by the
# launch condition that shows the older package's message.
run_msiexec downgrade /i "$(winpath "$msi")"
[[ $status -eq $((1603 & 255)) ]] || fail "installing the older package over the newer gave status $status, not 1603"
grep -q '^Property(S): WIX_DOWNGRADE_DETECTED = {' "$work/downgrade.log" || fail "the newer package was not detected"
expect_installed "$newer_version" upgrade

run_msiexec remove /x "$(winpath "$newer")"
expect_status 0
end_prefix # saves the registry
left=$(grep -il tarvane "$WINEPREFIX"/*.reg; find "$drive_c" -iname '*tarvane*')
[[ -z $left ]] || fail "removing it left behind: $left"
# Kept only when the test fails: a prefix takes 700 MB.
rm -rf "$WINEPREFIX"
echo "PASS [$case_name] in $(( $(date +%s) - started )) s"
