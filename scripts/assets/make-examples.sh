#!/usr/bin/env bash
# Regenerates the sample firmware files in examples/ from binaries of our own
# making: deterministic filler that looks like code, a version banner, and a
# configuration block in the boot area the way real builds carry one.
set -euo pipefail
cd "$(dirname "$0")/../.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

make_binary() { # name size seed banner
  python3 - "$1" "$2" "$3" "$4" <<'PY'
import sys, random
name, size, seed, banner = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rng = random.Random(seed)
out = bytearray()
while len(out) < size:
    out += rng.getrandbits(32).to_bytes(4, "little")
out = out[:size]
b = banner.encode() + b"\0"
out[0x200:0x200 + len(b)] = b
open(name, "wb").write(out)
PY
}

make_hex() { # binary out.hex
  # Program flash at 0x1D000000, configuration words at 0x1FC0FFC0.
  printf '\xff\xff\xff\x7f\xd9\xf9\xff\xbf\xbb\xf9\xff\xff\xff\xff\xff\x7f' > "$tmp/config.bin"
  srec_cat "$1" -binary -offset 0x1D000000 \
           "$tmp/config.bin" -binary -offset 0x1FC0FFC0 \
           -o "$2" -intel -output_block_size 16 -disable exec_start_address
}

make_binary "$tmp/display.bin" 49152 2064 "Tarvane Display Board GUI FW 2.064"
make_binary "$tmp/interface.bin" 36864 2048 "Tarvane Interface Board TXR FW 3.048"
make_hex "$tmp/display.bin" examples/Tarvane_Display_Board_2064.hex
make_hex "$tmp/interface.bin" examples/Tarvane_Interface_Board_2048.hex
echo "examples regenerated"
