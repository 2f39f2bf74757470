#!/usr/bin/env bash
# Makes, once, a directory tree holding Debian's 32-bit Wine (wine32, the
# version of this machine's wine64) and what it needs, for a 64-bit guest to
# chroot into and run 32-bit Windows programs with /usr/lib/wine/wine.
# This machine cannot run i386 code, so nothing is installed: a private apt
# of its own resolves and downloads the packages, dpkg-deb unpacks them, and
# the little of their set-up that Wine needs is redone here by hand.
#
#   usage: wine32-tree.sh [CACHE]   (default ~/.cache/tarvane)
# Prints the tree's path as its last line; progress goes to standard error.
# The tree is $CACHE/wine32-tree-VERSION-HASH, HASH that of its package list,
# which lies beside it as $tree.packages; scratch stays in $CACHE/wine32-apt.
set -euo pipefail

cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvane}
say() { echo "wine32-tree: $*" >&2; }
die() { say "$*"; exit 1; }

wine_version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || die "wine64 is not installed"
# wine32's own dependencies bring no /bin/sh, which runs Wine's wineserver
# script, no tools for the guest's commands, and no /etc/ld.so.conf.
wanted=("wine32=$wine_version" dash coreutils libc-bin)

started=${EPOCHREALTIME//[.,]/}
step_started=$started
# Sets $took to the time since the last call (or since $1, in microseconds).
lap() {
  local now=${EPOCHREALTIME//[.,]/}
  local tenths=$(((now - ${1:-$step_started}) / 100000))
  step_started=$now
  took="$((tenths / 10)).$((tenths % 10)) s"
}

# --- a private apt: i386 only, an empty dpkg status, this machine's Debian sources ---
apt_dir="$cache/wine32-apt"
mkdir -p "$apt_dir"/{state/lists/partial,cache/archives/partial,etc/sources.list.d,etc/apt.conf.d,etc/preferences.d,log}
: > "$apt_dir/state/status"
# Only Debian's own archives: another repository may have no i386 lists,
# and its failure would fail the update.
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f $list ]] && grep -hE '^[[:space:]]*deb[[:space:]].*/debian(-security)?/?[[:space:]]' "$list"
done > "$apt_dir/etc/sources.list" || true
for sources in /etc/apt/sources.list.d/*.sources; do
  [[ -f $sources ]] && awk 'BEGIN { RS = ""; ORS = "\n\n" }
    /(^|\n)URIs:[^\n]*\/debian(-security)?\/?([ \n]|$)/ && !/(^|\n)Enabled:[ \t]*no/' "$sources"
done > "$apt_dir/etc/sources.list.d/debian.sources" || true
[[ -s $apt_dir/etc/sources.list || -s $apt_dir/etc/sources.list.d/debian.sources ]] ||
  die "found no Debian archive in /etc/apt/sources.list{,.d}"
# Read through APT_CONFIG, not -o: apt reads /etc/apt/apt.conf.d before the
# command line, and this machine's hooks and pins are not for this apt.
cat > "$apt_dir/apt.conf" <<EOF
APT::Architecture "i386";
APT::Architectures { "i386"; };
Dir::State "$apt_dir/state";
Dir::State::status "$apt_dir/state/status";
Dir::Cache "$apt_dir/cache";
// Its binary caches would take 70 MB to save no measurable time.
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Dir::Log "$apt_dir/log";
Dir::Etc::main "$apt_dir/etc/apt.conf";
Dir::Etc::parts "$apt_dir/etc/apt.conf.d";
Dir::Etc::sourcelist "$apt_dir/etc/sources.list";
Dir::Etc::sourceparts "$apt_dir/etc/sources.list.d";
Dir::Etc::preferences "$apt_dir/etc/preferences";
Dir::Etc::preferencesparts "$apt_dir/etc/preferences.d";
Dir::Etc::trusted "/etc/apt/trusted.gpg";
Dir::Etc::trustedparts "/etc/apt/trusted.gpg.d";
Acquire::Languages "none";
// The cache may be in root's home, where apt's own user cannot write.
APT::Sandbox::User "root";
EOF
: > "$apt_dir/log/apt-get.log"
apt_get() { APT_CONFIG="$apt_dir/apt.conf" apt-get -q "$@" >> "$apt_dir/log/apt-get.log" 2>&1; }

# From no lists at all: apt keeps lists it thinks current, even broken ones.
update() {
  say "apt-get update (i386, private state in $apt_dir)"
  rm -rf "$apt_dir/state/lists" && mkdir -p "$apt_dir/state/lists/partial"
  # A mirror caught mid-sync serves lists that do not match their index for a
  # while; a later try usually finds it whole.
  local try
  for try in 1 2 3 4; do
    apt_get update && break
    if [[ $try == 4 ]]; then
      tail -20 "$apt_dir/log/apt-get.log" >&2
      # A suite still mid-sync (often the security one) leaves the others'
      # lists in place; they do if they resolve wine32 and its packages download.
      compgen -G "$apt_dir/state/lists/*_Packages*" > /dev/null || die "apt-get update failed"
      say "  apt-get update failed for some lists; going on with those it fetched"
      break
    fi
    say "  apt-get update failed; trying again in $((try * 30)) s"
    sleep $((try * 30))
  done
  lap && say "  took $took"
}
# What apt would install on an empty system: name=version, sorted.
resolve() {
  APT_CONFIG="$apt_dir/apt.conf" apt-get -q install -s --no-install-recommends "${wanted[@]}" 2>> "$apt_dir/log/apt-get.log" |
    awk '/^Inst / { print $2 "=" substr($3, 2) }' | sort
}

# The lists of an earlier run do while they resolve and their packages can
# still be downloaded, so a second run needs no network at all.
debs="$apt_dir/debs"
for lists in cached fresh; do
  if [[ $lists == fresh ]] || ! compgen -G "$apt_dir/state/lists/*_Packages*" > /dev/null; then
    update
    lists=fresh
  fi
  packages=$(resolve || true)
  if [[ $packages != *"wine32=$wine_version"* ]]; then
    [[ $lists == fresh ]] && { tail -20 "$apt_dir/log/apt-get.log" >&2; die "apt cannot install wine32 $wine_version for i386"; }
    continue
  fi
  hash=$(sha256sum <<< "$packages" | cut -c1-12)
  tree="$cache/wine32-tree-$wine_version-$hash"
  if [[ -f $tree/ready ]]; then
    lap "$started" && say "ready in $took (cached)"
    echo "$tree"
    exit 0
  fi
  lap && say "resolved $(wc -l <<< "$packages") packages in $took"
  # ldconfig -r chroots into the tree, and the files should be root's.
  [[ $(id -u) == 0 ]] || die "making the tree needs root"

  rm -rf "$debs" && mkdir -p "$debs"
  # shellcheck disable=SC2086 # one word a package
  if (cd "$debs" && apt_get download $packages); then
    break
  fi
  rm -rf "$debs"
  [[ $lists == fresh ]] && { tail -20 "$apt_dir/log/apt-get.log" >&2; die "could not download the packages"; }
  say "  some packages are gone from the archive; updating the lists"
done
download_mb=$(du -sm "$debs" | cut -f1)
lap && say "downloaded $(find "$debs" -name '*.deb' | wc -l) packages, $download_mb MB, in $took"

# --- the tree: every package unpacked, none configured ---
rm -rf "$tree" "$tree.packages"
mkdir -p "$tree"
for deb in "$debs"/*.deb; do
  dpkg-deb -x "$deb" "$tree"
done
rm -rf "$debs"
lap && say "unpacked in $took"

# Bookworm's packages still ship /bin, /sbin and /lib, which a Debian 12 root
# has as links into /usr. A file in both places would be a real conflict.
for dir in bin sbin lib lib32 lib64 libx32; do
  [[ -d $tree/$dir && ! -L $tree/$dir ]] || continue
  clashes=$(cd "$tree/$dir" && find . ! -type d | while IFS= read -r file; do
    if [[ -e ../usr/$dir/$file || -L ../usr/$dir/$file ]]; then echo "/$dir/${file#./}"; fi
  done)
  [[ -z $clashes ]] || die "in both /$dir and /usr/$dir: $clashes"
  mkdir -p "$tree/usr/$dir"
  cp -a "$tree/$dir/." "$tree/usr/$dir/"
  rm -rf "${tree:?}/$dir"
  ln -s "usr/$dir" "$tree/$dir"
done
[[ -e $tree/usr/bin/sh || -L $tree/usr/bin/sh ]] || ln -s dash "$tree/usr/bin/sh"
# What a chroot's user mounts /proc, /dev and the rest on, and the root
# account base-passwd would have made: Wine asks for its user's entry.
mkdir -p "$tree"/{dev,proc,sys,run,root}
install -d -m 1777 "$tree/tmp"
[[ -f $tree/etc/passwd ]] || echo 'root:x:0:0:root:/root:/bin/sh' > "$tree/etc/passwd"
[[ -f $tree/etc/group ]] || echo 'root:x:0:' > "$tree/etc/group"
# libc-bin's postinst, minus the ldconfig run below.
[[ -f $tree/etc/nsswitch.conf ]] || cp "$tree/usr/share/libc-bin/nsswitch.conf" "$tree/etc/nsswitch.conf"

# libwine's postinst: Wine's zlib1.dll is the mingw build with "Wine builtin
# DLL" written over bytes 64-95 of its DOS stub. Wine takes from its own DLL
# folders only DLLs so marked, and user32.dll and others import zlib1.dll:
# without it no program starts. The script writes the 64-bit one too.
for arch in i686:i386 x86_64:x86_64; do
  source_dll=$(compgen -G "$tree/usr/${arch%%:*}-w64-mingw32/lib/zlib*.dll" | head -1) ||
    die "no zlib DLL under /usr/${arch%%:*}-w64-mingw32/lib"
  wine_dir="$tree/usr/lib/i386-linux-gnu/wine/${arch#*:}-windows"
  [[ -d $wine_dir ]] || die "no ${wine_dir#"$tree"}"
  {
    head -c 64 "$source_dll"
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 "$source_dll"
  } > "$wine_dir/${source_dll##*/}"
done
lap && say "/usr merged and the maintainer scripts' work redone in $took"

# The library cache, as libc-bin's trigger would write it. ldconfig reads
# the tree's own /etc/ld.so.conf, which libc-bin and libc6 ship.
[[ -f $tree/etc/ld.so.conf && -f $tree/etc/ld.so.conf.d/i386-linux-gnu.conf ]] ||
  die "the tree has no /etc/ld.so.conf or no i386 entry in /etc/ld.so.conf.d"
ldconfig -r "$tree"
lap && say "ldconfig in $took"

# --- check what can be checked without running i386 code ---
# An i386 program or library, or an i386 Windows DLL, as `file` names them.
of_kind() { file -b "$2" | grep -q "^$1.*Intel 80386"; }
# The file a path inside the tree leads to, if its links stay inside it.
in_tree() {
  local real
  real=$(readlink -f "$tree$1") && [[ $real == "$tree"/* && -f $real ]] && echo "$real"
}
builtin_mark() { [[ $(head -c 80 "$1" | tail -c 16) == 'Wine builtin DLL' ]]; }

wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
for file in /usr/lib/wine/wine /usr/lib/wine/wineserver32 /bin/sh /lib/ld-linux.so.2 \
  /usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so; do
  real=$(in_tree "$file") || die "$file does not lead to a file inside the tree"
  of_kind 'ELF 32-bit' "$real" || die "$file is not an i386 ELF file"
done
for dll in kernel32.dll ntdll.dll user32.dll zlib1.dll; do
  of_kind 'PE32 executable (DLL)' "$tree$wine_dlls/$dll" || die "no i386 $wine_dlls/$dll"
  builtin_mark "$tree$wine_dlls/$dll" || die "$wine_dlls/$dll is not marked as Wine's own"
done
# The marked zlib1.dll differs from the mingw one in those 32 bytes only.
mingw_zlib="$tree/usr/i686-w64-mingw32/lib/zlib1.dll"
if ! cmp -s -n 64 "$mingw_zlib" "$tree$wine_dlls/zlib1.dll" || ! cmp -s -i 96 "$mingw_zlib" "$tree$wine_dlls/zlib1.dll"; then
  die "$wine_dlls/zlib1.dll differs from the mingw build beyond its mark"
fi
cached_libs=$(ldconfig -p -C "$tree/etc/ld.so.cache")
grep -q 'libc\.so\.6 (libc6) => /.*i386-linux-gnu/libc\.so\.6' <<< "$cached_libs" ||
  die "the tree's ld.so.cache has no i386 libc.so.6"
lap && say "checked in $took"

tree_mb=$(du -sm "$tree" | cut -f1)
echo "$packages" > "$tree.packages"
touch "$tree/ready"
lap "$started" && say "made a $tree_mb MB tree in $took"
say "its 32-bit Wine is /usr/lib/wine/wine (unpacking makes no /usr/bin/wine)"
echo "$tree"
