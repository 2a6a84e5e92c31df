#!/usr/bin/env bash
# Builds what the benchmark needs and measures the service against its floors on the
# simulated library. Prints the table; writes build/bench/results.json and two plots, of
# the packet round trips and of cost by file size (gnuplot, which scripts/setup.sh
# installs). QEL_BUILD_DIR chooses another build folder than ./build.
#
#     ./bench.sh            # the full run
#     ./bench.sh --quick    # a short run, to see that it works
set -euo pipefail
cd "$(dirname "$0")"
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.cache/qelapp32/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export QEL_BUILD_DIR="${QEL_BUILD_DIR:-build}"

# The same configuration as ./test.sh, so that the two share one build folder.
scripts/build.sh qelbench

# One persistent server for the whole run, ended however the run ends.
wineserver -p 2>/dev/null || true  # already running in this prefix: use that one
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Wine's own background processes start now, away from the benchmark's output.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

out="$QEL_BUILD_DIR/bench"
mkdir -p "$out"
rm -f "$out"/results.json "$out"/*.png "$out"/*.txt
echo "bench: load before the run: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
status=0
wine "$QEL_BUILD_DIR/bin/qelbench.exe" --out "$(winepath -w "$out")" "$@" || status=$?
echo "bench: load after the run: $(cut -d' ' -f1-3 /proc/loadavg); $SECONDS s in all, build included"
if [ ! -f "$out/results.json" ]; then
    echo "bench: the benchmark failed (exit $status)" >&2
    exit 1
fi

have_gnuplot() {
    command -v gnuplot >/dev/null 2>&1
}

plot_packets() {
    gnuplot <<GNUPLOT
set terminal pngcairo size 900,500
set output "$out/packet-rtt.png"
set title "Packet round trip: 1127, then 1126 until the reply (the few over 50 ms not shown)"
set xlabel "round trip (ms)"
set ylabel "samples (log scale)"
set style fill solid 0.6
set logscale y
set xrange [39.5:50]
set yrange [0.8:*]
binwidth = 0.05
set boxwidth binwidth
bin(x) = binwidth * floor(x / binwidth) + binwidth / 2
set arrow from 40, graph 0 to 40, graph 1 nohead dashtype 2 lc rgb "red"
set arrow from 42, graph 0 to 42, graph 1 nohead dashtype 3 lc rgb "black"
set label "40 ms pause" at 40, graph 0.95 left offset 0.5,0
set label "goal 42 ms (alone)" at 42, graph 0.88 left offset 0.5,0
plot "$out/packet-load-ms.txt" using (bin(\$1)):(1.0) smooth frequency with boxes \
     title "while a second client posts status alerts", \
     "$out/packet-rtt-ms.txt" using (bin(\$1)):(1.0) smooth frequency with boxes fs transparent solid 0.5 title "alone"
GNUPLOT
}

plot_sizes() {
    gnuplot <<GNUPLOT
set terminal pngcairo size 900,500
set output "$out/cost-by-size.png"
set title "File sender against the bare loop, by file size (median of the runs)"
set xlabel "file size (MB, log scale)"
set ylabel "throughput (MB/s, 1 MB = 2^{20} bytes)"
set logscale x
set xrange [0.7:150]
set yrange [0:*]
set key bottom right
plot "$out/sender-sizes.txt" using 1:(\$1 * 1000 / \$2) with linespoints lw 2 pt 7 title "service: 1134 until its thread ended", \
     "" using 1:(\$1 * 1000 / \$3) with linespoints lw 2 pt 5 dashtype 2 title "floor: bare loop, same blocks, same TovWrite"
GNUPLOT
}

plots=()
if have_gnuplot; then
    if plot_packets; then plots+=("$out/packet-rtt.png"); fi
    if plot_sizes; then plots+=("$out/cost-by-size.png"); fi
fi
if [ "${#plots[@]}" -gt 0 ]; then
    echo "bench: plots in ${plots[*]}"
else
    echo "bench: no plots (gnuplot not available, or no data for them)"
fi
echo "bench: results in $out/results.json"
exit "$status"
