#!/usr/bin/env bash
# Builds what the benchmark needs and measures the service against its floors on the
# simulated library. Prints the table; writes build/bench/results.json and plots of the
# packet round trips, of cost against file size and against the number of printers, and
# of each start in the largest fleet (gnuplot, which scripts/setup.sh installs). QEL_BUILD_DIR chooses another build folder
# than ./build.
#
#     ./bench.sh            # the full run, about nine minutes after the build
#     ./bench.sh --quick    # a short run, to see that it works
# Any other arguments go to qelbench.exe (--rounds N, --sender-runs N, --cycles N, --idle-ms N,
# --repetitions N, --load-trips N, --printers-only).
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
echo "bench: load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
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
set title "Packet round trip: 1127, then 1126 until the reply (design pause: 40 ms)"
set xlabel "round trip (ms)"
set ylabel "samples (log scale)"
set style fill solid 0.6
set logscale y
set xrange [39.5:*]
set yrange [0.8:*]
binwidth = 0.05
set boxwidth binwidth
bin(x) = binwidth * floor(x / binwidth) + binwidth / 2
set arrow from 40, graph 0 to 40, graph 1 nohead dashtype 2 lc rgb "red"
set arrow from 42, graph 0 to 42, graph 1 nohead dashtype 3 lc rgb "black"
set label "40 ms pause" at 40, graph 0.95 left offset 0.5,0
set label "goal 42 ms" at 42, graph 0.88 left offset 0.5,0
plot "$out/packet-rtt-ms.txt" using (bin(\$1)):(1.0) smooth frequency with boxes title "alone", \
     "$out/packet-load-ms.txt" using (bin(\$1)):(1.0) smooth frequency with boxes fs transparent solid 0.4 \
     title "while a second client posts status alerts"
GNUPLOT
}

plot_sizes() {
    gnuplot <<GNUPLOT
set terminal pngcairo size 900,500
set output "$out/cost-by-size.png"
set title "File sender against the bare loop, by file size (median of the runs)"
set xlabel "file size (MB, log scale)"
set ylabel "throughput (MB/s)"
set logscale x
set xrange [0.7:150]
set yrange [0:*]
set key bottom right
plot "$out/sender-sizes.txt" using 1:2 with linespoints lw 2 pt 7 title "service: 1134 until its thread ended", \
     "" using 1:3 with linespoints lw 2 pt 5 dashtype 2 title "floor: bare loop, same blocks, same TovWrite"
GNUPLOT
}

plot_printers() {
    gnuplot <<GNUPLOT
set terminal pngcairo size 900,500
set output "$out/cost-by-printers.png"
set title "Many printers: start until all serve, and private memory, per instance (medians)"
set xlabel "instances, one printer each"
set ylabel "start until all serve / instances (ms)"
set y2label "private memory per instance (MB)"
set xrange [0:34]
set xtics (1, 8, 32)
set yrange [0:*]
set y2range [0:*]
set ytics nomirror
set y2tics
set key bottom right
plot "$out/printers.txt" using 1:(\$2/\$1) with linespoints lw 2 pt 7 title "one after another", \
     "" using 1:(\$3/\$1) with linespoints lw 2 pt 9 title "all at once", \
     "" using 1:(\$6/\$1) with linespoints lw 2 pt 11 title "one after another, 150 ms before each", \
     "" using 1:(\$4/\$1) with linespoints lw 2 pt 5 dashtype 2 title "floor: single start", \
     "" using 1:5 axes x1y2 with linespoints lw 2 pt 13 title "private memory (right axis)"
GNUPLOT
}

plot_positions() {
    gnuplot <<GNUPLOT
set terminal pngcairo size 900,500
set output "$out/start-by-position.png"
set title "The largest fleet started one at a time: each start, by instances already running (medians)"
set xlabel "instances already running"
set ylabel "start until it serves (ms)"
set yrange [0:*]
set key below
plot "$out/printers-beside.txt" using 1:2 with linespoints lw 2 pt 7 title "instance, right after the one before", \
     "" using 1:3 with linespoints lw 2 pt 5 dashtype 2 title "bare program with the design's steps, the same", \
     "" using 1:4 with linespoints lw 2 pt 9 title "instance, 150 ms after the one before", \
     "" using 1:5 with linespoints lw 2 pt 13 dashtype 2 title "bare program, the same"
GNUPLOT
}

# Each plot whose data this run wrote (--printers-only writes only the fleet's).
plots=()
if have_gnuplot; then
    if [ -s "$out/packet-rtt-ms.txt" ] && plot_packets; then plots+=("$out/packet-rtt.png"); fi
    if [ -s "$out/sender-sizes.txt" ] && [ "$(wc -l <"$out/sender-sizes.txt")" -gt 1 ] && plot_sizes; then
        plots+=("$out/cost-by-size.png")
    fi
    if [ -s "$out/printers.txt" ] && plot_printers; then plots+=("$out/cost-by-printers.png"); fi
    if [ -s "$out/printers-beside.txt" ] && plot_positions; then plots+=("$out/start-by-position.png"); fi
fi
if [ "${#plots[@]}" -gt 0 ]; then
    echo "bench: plots in ${plots[*]}"
else
    echo "bench: no plots (gnuplot not available, or no data for them)"
fi
echo "bench: results in $out/results.json"
exit "$status"
