#!/bin/sh
# korvanith-cli --mode swap against the same job in numpy (bench/numpy_swap.py)
# on two 4096x4096 colour pictures: wall time, peak memory, and that both write
# the same bytes (the script fails when they do not).
#
# Usage: bench/end_to_end.sh [path/to/korvanith-cli] [side]
#   defaults: build/korvanith-cli, 4096; PYTHON picks the interpreter that has
#   numpy (default /usr/bin/python3).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-build/korvanith-cli}
side=${2:-4096}
python=${PYTHON:-/usr/bin/python3}
[ -x "$cli" ] || { echo "end_to_end.sh: no korvanith-cli at $cli" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "end_to_end.sh: needs /usr/bin/time (package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two random colour PPMs.
for name in left right; do
    printf 'P6\n%d %d\n255\n' "$side" "$side" > "$work/$name.ppm"
    head -c $((side * side * 3)) /dev/urandom >> "$work/$name.ppm"
done

# Runs a command under /usr/bin/time -v; prints seconds and peak MiB.
measure() {
    label=$1
    shift
    /usr/bin/time -v "$@" 2> "$work/$label.time" > /dev/null || {
        cat "$work/$label.time" >&2
        exit 1
    }
    awk -v label="$label" '
        /Elapsed \(wall clock\)/ {
            n = split($NF, p, ":"); s = 0
            for (i = 1; i <= n; i++) s = s * 60 + p[i]
        }
        /Maximum resident set size/ { kb = $NF }
        END { printf "%-10s %8.2f s %9.0f MiB\n", label, s, kb / 1024; print s > "/dev/stderr" }
    ' "$work/$label.time" 2> "$work/$label.seconds"
}

echo "Two ${side}x${side} colour pictures, swap mode (wall time, peak resident memory):"
measure korvanith "$cli" --mode swap "$work/left.ppm" "$work/right.ppm" \
    "$work/k_left.ppm" "$work/k_right.ppm"
measure numpy "$python" "$here/numpy_swap.py" "$work/left.ppm" "$work/right.ppm" \
    "$work/n_left.ppm" "$work/n_right.ppm"
awk -v k="$(cat "$work/korvanith.seconds")" -v n="$(cat "$work/numpy.seconds")" \
    'BEGIN { if (n > 0) printf "korvanith / numpy: %.2f (below 1.0 means korvanith is faster)\n", k / n }'

# Both write the same bytes: numpy's job follows the same steps with the same
# rounding. Any difference is a failure.
"$python" - "$work" <<'PY'
import sys
import numpy as np
work = sys.argv[1]
differ = False
for side in ("left", "right"):
    k = np.fromfile(f"{work}/k_{side}.ppm", np.uint8)
    n = np.fromfile(f"{work}/n_{side}.ppm", np.uint8)
    same = (k == n).mean() if k.shape == n.shape else 0.0
    print(f"{side} result: {100 * same:.3f}% of bytes equal to numpy's")
    differ = differ or same < 1.0
if differ:
    print("end_to_end.sh: the two programs' results differ", file=sys.stderr)
    sys.exit(1)
PY
