#!/bin/sh
# The scenarios, inside the guest, where init runs this on the host's root:
# the Linux tool's and the window's; then, in a Wine session started for them
# alone, the x64 build's; then, in 32-bit Wine, the x86 build's. Each run
# leaves its gtest report in $RESULTS/STAGE-N.json for test-usb.py.
# Its argument is the settings file test-usb.py wrote:
#   REPO, RESULTS, TESTS   this clone, the folder the host reads, the scenario program
#   REPEAT                 the runs of each stage
#   LINUX_FILTER, WIN64_FILTER, WIN32_FILTER   each stage's scenarios; a stage
#                          without one does not run
#   WIN64_BIN, WINE64_PREFIX, UDEVADM          the x64 build, its Wine prefix, udevadm
#   WIN32_BIN, WINE32_TREE, WINE32_PREFIX_TAR  the x86 build, the i386 tree with
#                          32-bit Wine (wine32-tree.sh), the prefix an earlier run made
#                          (a new one goes to $RESULTS/prefix32.tar)
# shellcheck source=/dev/null
. "$1"
wine_prefix=$REPO/scripts/windows/wine-prefix.sh
status=0

stage() { # NAME FILTER
  i=1
  while [ "$i" -le "$REPEAT" ]; do
    "$TESTS" --gtest_color=no --gtest_filter="$2" --gtest_output="json:$RESULTS/$1-$i.json" || status=1
    i=$((i + 1))
  done
}
seconds_since() { echo $(($(date +%s) - $1)); }

stage linux "$LINUX_FILTER"

if [ -n "${WIN64_FILTER:-}" ]; then
  # udevd tells Wine of boards plugged in after it started: udevadm is the
  # daemon when called by that name, here without rules.
  ln -s "$UDEVADM" /run/systemd-udevd && /run/systemd-udevd --daemon
  # shellcheck disable=SC2046 # one word a setting
  export $("$wine_prefix" env) WINEPREFIX="$WINE64_PREFIX"
  # Wine takes only a prefix its user owns; the guest's root runs it, whoever
  # made it on the host (on the RAM layer: the folder alone is copied up).
  chown 0:0 "$WINEPREFIX"
  # The Win32 window's scenario draws on a virtual display. It is up before
  # the session starts: the desktop the boot opens serves every window after.
  Xvfb :7 -screen 0 1280x900x24 -nolisten tcp > /dev/null 2>&1 &
  waited=0
  while [ ! -S /tmp/.X11-unix/X7 ] && [ "$waited" -lt 50 ]; do sleep 0.1; waited=$((waited + 1)); done
  export DISPLAY=:7 TARVANE_USB_WINE=/usr/lib/wine/wine64 TARVANE_USB_WIN64_BIN="$WIN64_BIN"
  started=$(date +%s)
  "$wine_prefix" start /usr/lib/wine/wine64 "$WINEPREFIX"
  echo "tarvane-usb: the Wine session started in $(seconds_since "$started") s"
  stage windows-x64 "$WIN64_FILTER"
fi

if [ -n "${WIN32_FILTER:-}" ]; then
  # The tree sees the guest's devices and this clone at the same paths.
  for dir in proc sys dev run tmp; do mount --rbind "/$dir" "$WINE32_TREE/$dir"; done
  mkdir -p "$WINE32_TREE$REPO" && mount --bind "$REPO" "$WINE32_TREE$REPO"
  in_tree() { # wine-prefix.sh's COMMAND on the tree's prefix, with its Wine
    /usr/sbin/chroot "$WINE32_TREE" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root TMPDIR=/tmp WINEARCH=win32 \
      /bin/sh "$wine_prefix" "$1" /usr/lib/wine/wine /root/prefix32
  }
  started=$(date +%s)
  [ -f "$WINE32_PREFIX_TAR" ] && tar -C "$WINE32_TREE/root" -xf "$WINE32_PREFIX_TAR"
  # A prefix is made only here: this machine cannot run 32-bit Wine.
  in_tree make
  made=$WINE32_TREE/root/prefix32/tarvane-settings
  if [ ! -f "$WINE32_PREFIX_TAR" ] || [ "$made" -nt "$WINE32_PREFIX_TAR" ]; then
    tar -C "$WINE32_TREE/root" -cf "$RESULTS/prefix32.tar" prefix32
    echo "tarvane-usb: the 32-bit Wine prefix was made in $(seconds_since "$started") s"
  fi
  in_tree start
  echo "tarvane-usb: the 32-bit Wine session started in $(seconds_since "$started") s"
  export WINE32_TREE TARVANE_USB_WINE32="$REPO/scripts/usb-vm/wine32" TARVANE_USB_WIN32_BIN="$WIN32_BIN"
  stage windows-x86 "$WIN32_FILTER"
fi
exit $status
