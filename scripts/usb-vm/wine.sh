# Sourced by scripts/test-usb.sh: readies the Windows programs for the guest,
# which runs them under this machine's Wine, and writes the guest's set-up of
# Wine to $work/wine-setup.sh. What it fetches or makes once is cached in
# $cache, outside the clone: the Wine prefix and udevadm.
#   in: root_dir, work, cache; out: windows_bins (the builds the guest runs)

"$root_dir/scripts/install-windows-deps.sh"
(cd "$root_dir" && JOBS=${JOBS:-2} scripts/windows-build.sh --no-zip) > "$work/windows-build.log" 2>&1 ||
  { echo "test-usb: the Windows build failed ($work/windows-build.log)" >&2; tail -20 "$work/windows-build.log" >&2; exit 1; }

wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
wine_version=$(dpkg-query -W -f='${Version}' wine64)
# The console tool needs no desktop; without these a Wine session starts in
# three times the time.
wine_env="WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d;explorer.exe=d'"

# A prefix made once on this machine. Wine reads hidraw devices only with its
# SDL bus off, which is on by default, even without SDL.
prefix64="$cache/wine64-$wine_version"
if [[ ! -f $prefix64/ready ]]; then
  echo "test-usb: making a Wine prefix in $prefix64"
  rm -rf "$prefix64" && mkdir -p "$prefix64"
  (
    export WINEPREFIX="$prefix64/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    timeout 300 "$wine64" wineboot -i < /dev/null > /dev/null 2>&1
    timeout 120 "$wine64" reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v 'Enable SDL' \
      /t REG_DWORD /d 0 /f < /dev/null > /dev/null 2>&1
    "$wineserver" -w
  )
  [[ -f $prefix64/prefix/system.reg ]] || { echo "test-usb: no Wine prefix was made" >&2; exit 1; }
  touch "$prefix64/ready"
fi

# udevd tells Wine of boards plugged in after it started. Only its binary is
# taken, from the udev package of this system's version, never installed.
udev_version=$(dpkg-query -W -f='${Version}' systemd)
udev_dir="$cache/udev-$udev_version"
if [[ ! -x $udev_dir/bin/udevadm ]]; then
  rm -rf "$udev_dir" && mkdir -p "$udev_dir/deb"
  (cd "$udev_dir/deb" && { apt-get download "udev=$udev_version" || apt-get download udev; } 2>&1 |
    grep -v '^W: Download is performed unsandboxed' || true)
  dpkg-deb -x "$udev_dir"/deb/*.deb "$udev_dir"
  rm -rf "$udev_dir/deb"
  [[ -x $udev_dir/bin/udevadm ]] || { echo "test-usb: no udevadm in the udev package" >&2; exit 1; }
fi

windows_bins="$root_dir/build-win64/bin"
windows32_bins="$root_dir/build-win32/bin"
# In the guest: a rule-less udevd (udevadm is the daemon when called by its
# name), one Wine session for every scenario, started here.
cat > "$work/wine-setup.sh" <<EOF
ln -s $udev_dir/bin/udevadm /run/systemd-udevd && /run/systemd-udevd --daemon
export WINEPREFIX=$prefix64/prefix $wine_env
# Wine takes only a prefix its user owns; the guest's root runs it, whoever
# made it here (on the RAM layer: the folder alone is copied up).
chown 0:0 \$WINEPREFIX
$wineserver -p
started=\$(date +%s)
timeout 300 $wine64 wineboot < /dev/null > /dev/null 2>&1
echo "tarvane-usb: the Wine session started in \$((\$(date +%s) - started)) s"
# The Win32 window's scenario draws on a virtual display.
Xvfb :7 -screen 0 1280x900x24 -nolisten tcp > /dev/null 2>&1 &
export DISPLAY=:7 TARVANE_USB_WINE=$wine64 TARVANE_USB_WIN64_BIN=$windows_bins
EOF

# --- the 32-bit build, the one users run, in Debian's 32-bit Wine ---
# This machine cannot run it, the guest's kernel can: the guest chroots into a
# tree of i386 packages made here without running any of them. Its prefix
# can only be made in the guest; the first run hands it back to be cached.
windows32=${TARVANE_USB_X86:-yes}
if [[ $windows32 != no ]]; then
  tree=$("$root_dir/scripts/usb-vm/wine32-tree.sh" "$cache" | tail -1)
  prefix32="$cache/wine32-prefix-$wine_version.tar"
  cat > "$work/wine32-run" <<EOF
#!/bin/sh
# Runs the 32-bit Wine of the i386 tree on the arguments.
exec /usr/sbin/chroot $tree /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root TMPDIR=/tmp WINEPREFIX=/root/prefix32 \
  WINEARCH=win32 $wine_env /usr/lib/wine/wine "\$@"
EOF
  chmod +x "$work/wine32-run"
  cat > "$work/wine32-setup.sh" <<EOF
for dir in proc sys dev run tmp; do mount --rbind /\$dir $tree/\$dir; done
mkdir -p $tree$root_dir && mount --bind $root_dir $tree$root_dir
started=\$(date +%s)
if [ -f $prefix32 ]; then
  tar -C $tree/root -xf $prefix32
else
  timeout 600 $work/wine32-run wineboot -i < /dev/null > /dev/null 2>&1
  timeout 120 $work/wine32-run reg add 'HKLM\\System\\CurrentControlSet\\Services\\winebus' /v 'Enable SDL' \
    /t REG_DWORD /d 0 /f < /dev/null > /dev/null 2>&1
  # The registry reaches its files only as the server ends, on its own once
  # only Wine's own services are left.
  /usr/sbin/chroot $tree /usr/bin/env WINEPREFIX=/root/prefix32 /usr/lib/wine/wineserver -w
  grep -q '"Enable SDL"=dword:00000000' $tree/root/prefix32/system.reg &&
    tar -C $tree/root -cf $results/prefix32.tar prefix32
  echo "tarvane-usb: the 32-bit Wine prefix was made in \$((\$(date +%s) - started)) s"
fi
/usr/sbin/chroot $tree /usr/bin/env WINEPREFIX=/root/prefix32 /usr/lib/wine/wineserver -p
timeout 300 $work/wine32-run wineboot < /dev/null > /dev/null 2>&1
echo "tarvane-usb: the 32-bit Wine session started in \$((\$(date +%s) - started)) s"
export TARVANE_USB_WINE32=$work/wine32-run TARVANE_USB_WIN32_BIN=$windows32_bins
EOF
fi
