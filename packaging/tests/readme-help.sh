#!/usr/bin/env bash
# The README quotes tarvane-update's usage forms and names its options; the
# man page is made from --help. This keeps the three telling the same story.
# Usage: readme-help.sh TARVANE_UPDATE README.md
set -u
tool=$1
readme=$2
checks=0
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

help=$("$tool" --help) || { echo "FAIL: $tool --help exited $?"; exit 1; }

# --help's usage forms are its "Usage:" line and the "or:" lines below it.
helpForms=$(sed -n 's/^\(Usage:\|  or:\) *\(tarvane-update .*[^ ]\) *$/\2/p' <<< "$help" | sort)
# The README's are the first code block under "## The terminal tool", less
# the comments and the --help/--version line.
readmeForms=$(awk '/^## The terminal tool/ { inSection = 1 }
                   inSection && /^```/ { if (inBlock) exit; inBlock = 1; next }
                   inBlock' "$readme" |
              sed 's/ *#.*$//' | grep -v -- '--help | --version' | sort)
[[ -n $helpForms ]] || fail "--help shows no usage forms"
checks=$((checks + 1))
if [[ $helpForms != "$readmeForms" ]]; then
  fail "the README's usage forms differ from --help's:"
  diff <(echo "$readmeForms") <(echo "$helpForms") | sed -n 's/^</  README:/p; s/^>/  --help:/p'
fi

# Every long option --help lists ("  --name VALUE" or "  -x, --name") is named somewhere in the README.
options=$(grep -- '^ \{1,\}-' <<< "$help" | awk '{ print $1, $2 }' | grep -o -- '--[a-z][a-z-]*')
[[ -n $options ]] || fail "--help lists no options"
for option in $options; do
  checks=$((checks + 1))
  grep -q -- "$option\b" "$readme" || fail "the README never names $option"
done

echo "$((checks - failed)) passed, $failed failed"
[[ $failed -eq 0 ]]
