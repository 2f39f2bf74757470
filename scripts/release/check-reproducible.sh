#!/usr/bin/env bash
# `make check-reproducible`: clones the current commit twice, into folders of
# different names and depths, makes the release in each one after the other
# (so at different times), and compares the two dist/ folders byte for byte.
# A file that differs is named, and diffoscope's account of it is kept in
# WORK/FILE.diff. Exit status 0 only when every artefact is identical.
#   scripts/release/check-reproducible.sh [WORK]     (default build-repro)
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/deps/install-release-deps.sh
commit=$(git rev-parse HEAD)
[[ -z $(git status --porcelain --untracked-files=no) ]] ||
  echo "note: uncommitted changes are not in the check; it builds $commit"
# A compiler cache given in the environment may serve: without a base folder
# it keys every object by its clone's own paths, so it cannot hand one clone
# what the other compiled.
unset CCACHE_BASEDIR
work=$(realpath -m "${1:-build-repro}")
rm -rf "$work"
mkdir -p "$work"
clones=("$work/one/tarvane" "$work/second/clone/of/tarvane-updater")

for clone in "${clones[@]}"; do
  git clone -q --no-checkout "$PWD" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  start=$(date +%s)
  echo "building $commit in $clone"
  (cd "$clone" && make --no-print-directory release) > "$clone.log" 2>&1 ||
    { tail -n 40 "$clone.log"; echo "the release failed in $clone (log: $clone.log)"; exit 1; }
  echo "  $(( $(date +%s) - start )) s"
done

a=${clones[0]}/dist b=${clones[1]}/dist
differ=()
for file in $( (cd "$a" && ls; cd "$b" && ls) | sort -u); do
  if [[ ! -f $a/$file || ! -f $b/$file ]]; then
    differ+=("$file (made by one build only)")
  elif ! cmp -s "$a/$file" "$b/$file"; then
    differ+=("$file")
    diffoscope --text "$work/$file.diff" "$a/$file" "$b/$file" > /dev/null || true
  fi
done

if [[ ${#differ[@]} -eq 0 ]]; then
  echo "identical: $(cd "$a" && ls | tr '\n' ' ')"
  exit 0
fi
echo "differ between the two builds:"
printf '  %s\n' "${differ[@]}"
echo "(diffoscope's accounts in $work/*.diff)"
exit 1
