#!/usr/bin/env bash
# Figures of the capture host under Wine, each beside the same stand-in engine started directly by
# the same Windows-side runner:
#   - time from the start call to the engine's first instruction (its first counter reading),
#     median of N starts of each, interleaved (default 20);
#   - bytes per second through the capture host's pipes (the engine echoes its standard input;
#     the capture host only hands its handles on, so the two should match).
# Prints the figures; it is a measurement, not a test.
#   scripts/bench/capture_host.sh [starts, default 20] [MiB through the pipes, default 64]
# Needs the mingw build (dist/windows-test). Uses build/mingw/wineprefix unless VORNAKEL_WINEPREFIX
# is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
starts=${1:-20}
mib=${2:-64}
source "$root/platform/windows/agent/tests/wine/capture_host/capture_host_lib.sh"
"$VORNAKEL_WINE_SCRIPTS/prefix.sh" warm
install_engine

echo "start call -> the engine's first instruction, $starts starts each (Windows-side runner, QueryPerformanceCounter):"
wine "$runner" launch-time "$starts" "$test_twin_win" "$engine_win" | sed 's/^/  /'

bytes=$((mib * 1048576))
rounds=3
echo "$mib MiB through the engine's standard input and output (pipes made by the runner), $rounds rounds, alternating:"
# rate <program and arguments...>: MiB/s from the first byte back to the end of output.
rate() {
  wine "$runner" pipe --bytes "$bytes" -- "$@" 2>/dev/null | awk '
    /^bytes=/ && $3 != "identical=yes" { bad = 1 }
    /^seconds=/ { split($2, r, "="); rate = r[2] / 1048576 }
    END { if (bad || rate == "") print "failed"; else printf "%.1f\n", rate }'
}
through_host=() direct=()
for _ in $(seq "$rounds"); do
  through_host+=("$(rate "$test_twin_win" --capture --echo)")
  direct+=("$(rate "$engine_win" --echo)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf '  %-12s median %s MiB/s (rounds: %s)\n' capture_host "$(median "${through_host[@]}")" "${through_host[*]}"
printf '  %-12s median %s MiB/s (rounds: %s)\n' direct "$(median "${direct[@]}")" "${direct[*]}"
