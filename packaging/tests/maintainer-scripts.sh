#!/bin/sh
# The package's postinst and postrm against the udevadm situations a machine
# can be in. An install must never fail because of udev, and a live udev must
# really be told to reload and to re-apply the rule to plugged-in boards.
# Usage: maintainer-scripts.sh PACKAGING_DIR
set -u
dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# fakeUdevadm CONTROL_STATUS TRIGGER_STATUS: a udevadm that logs its calls.
fakeUdevadm() {
    rm -rf "$work/bin" && mkdir -p "$work/bin"
    : > "$work/calls"
    cat > "$work/bin/udevadm" <<SCRIPT
#!/bin/sh
echo "udevadm \$*" >> "$work/calls"
case "\$1" in
    control) exit $1 ;;
    trigger) exit $2 ;;
esac
exit 0
SCRIPT
    chmod +x "$work/bin/udevadm"
}

# check NAME SCRIPT ARG EXPECTED_CALLS: runs SCRIPT ARG with only the fake on PATH.
check() {
    PATH="$work/bin" /bin/sh "$dir/$2" "$3" > "$work/out" 2>&1
    status=$?
    calls=$(cat "$work/calls" 2>/dev/null | tr '\n' ';')
    if [ "$status" -eq 0 ] && [ "$calls" = "$4" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $1: $2 $3 exited $status, called [$calls], expected [$4]"
        cat "$work/out"
    fi
}

live="udevadm control --reload-rules;udevadm trigger --subsystem-match=hidraw --action=change;"
for script in postinst postrm; do
    case $script in
        postinst) act=configure; idle=abort-upgrade ;;
        postrm) act=remove; idle=upgrade ;;
    esac

    rm -rf "$work/bin" "$work/calls" && mkdir -p "$work/bin"
    check "no udevadm (a minimal chroot)" $script $act ""

    fakeUdevadm 1 0
    check "udevadm but no daemon (a chroot or container)" $script $act "udevadm control --reload-rules;"

    fakeUdevadm 0 0
    check "a running udev" $script $act "$live"

    fakeUdevadm 0 1
    check "a trigger that fails" $script $act "$live"

    fakeUdevadm 0 0
    check "nothing to do on $idle" $script $idle ""
done

fakeUdevadm 0 0
check "purge reloads too" postrm purge "$live"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
