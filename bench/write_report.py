#!/usr/bin/python3
"""Turns the "name value unit" lines of bench/run_all.sh into docs/benchmarks.md."""
import datetime
import os
import platform
import statistics
import subprocess
import sys


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kb = int(f.readline().split()[1])
    return "%s, %d cores, %.0f GiB, %s" % (model, os.cpu_count(), mem_kb / 1048576, platform.platform())


def main():
    values = {}
    runs = []
    for line in open(sys.argv[1]):
        parts = line.split()
        if len(parts) < 2:
            continue
        try:
            value = float(parts[1])
        except ValueError:
            continue
        if parts[0] == "startup_first_paint_run":
            runs.append(value)
        values[parts[0]] = value
    minutes = sys.argv[2]
    g = values.get

    def row(label, key, unit, aim=""):
        v = g(key)
        return "| %s | %s | %s |" % (label, "%.3f %s" % (v, unit) if v is not None else "not measured", aim)

    def ratio(a, b):
        return "%.1f×" % (g(a) / g(b)) if g(a) and g(b) else "n/a"

    out = []
    out.append("# Benchmarks")
    out.append("")
    out.append("Command: `bash bench/run_all.sh %s` (one run; Release build; real windows under Xvfb "
               "1366 × 768; press-sim on 127.0.0.1)." % minutes)
    out.append("")
    out.append("Machine: %s. Date: %s." % (machine(), datetime.date.today().isoformat()))
    out.append("")
    out.append("| figure | value | aim |")
    out.append("|---|---|---|")
    if runs:
        out.append("| start-up, launch to the plot's first paint (median of %d) | %.0f ms | under 1 s |"
                   % (len(runs), statistics.median(runs)))
    out.append(row("resident memory when idle", "idle_rss", "MB", "under 60 MB"))
    out.append(row("decoding one batch", "decode_one_batch", "µs", "under 2 µs"))
    out.append(row("per-reading step at 1 000 samples", "reading_step_1000", "ms", "under 1 ms"))
    out.append(row("per-reading step at 13 000 samples", "reading_step_13000", "ms", "under 1 ms"))
    out.append(row("`SetData` + `Fit` at 13 000 samples", "setdata_fit_13000", "ms", "under 1 ms"))
    out.append(row("repaint 1600 × 960, axes and grid only", "repaint_axes_only", "ms", ""))
    for n in ("1000", "13000", "100000"):
        out.append(row("full repaint 1600 × 960, %s points, one line per segment (before)" % n,
                       "repaint_segments_" + n, "ms", ""))
        out.append(row("full repaint 1600 × 960, %s points, polylines (after)" % n,
                       "repaint_polyline_" + n, "ms", "16 ms (one 60-Hz frame)"))
    out.append(row("report with a 13 000-sample curve (picture drawn at 1200 × 720 whatever the canvas)",
                   "report_13000_1600x960", "ms",
                   "under 300 ms"))
    out.append(row("latency module send → pressure label, median (%d readings)" % g("latency_samples", 0),
                   "latency_median", "ms", ""))
    out.append(row("latency module send → pressure label, 99th percentile", "latency_p99", "ms", ""))
    out.append(row("CPU while connected and polling, 60 s", "cpu_polling_60s", "% of one core", "under 2 %"))
    out.append(row("resident memory growth over %s min, a recording every minute" % minutes,
                   "longrun_rss_growth", "MB", "a few MB at most"))
    out.append("")
    out.append("## Against a matplotlib live plot")
    out.append("")
    out.append("`bench/mpl_recorder.py` receives the same readings from press-sim and redraws a "
               "1600 × 960 matplotlib figure (Agg) of the whole curve on every reading; the recorder's "
               "figure is the per-reading step plus a full repaint of the plot at 1600 × 960. Medians "
               "over 40 readings.")
    out.append("")
    out.append("| samples | recorder per reading | matplotlib per redraw | time ratio | recorder CPU | matplotlib CPU | CPU ratio |")
    out.append("|---|---|---|---|---|---|---|")
    for n in ("1000", "13000"):
        out.append("| %s | %.2f ms | %.2f ms | %s | %.2f ms | %.2f ms | %s |" % (
            n, g("live_redraw_" + n, 0), g("mpl_redraw_" + n, 0), ratio("mpl_redraw_" + n, "live_redraw_" + n),
            g("live_cpu_" + n, 0), g("mpl_cpu_" + n, 0), ratio("mpl_cpu_" + n, "live_cpu_" + n)))
    out.append("")
    out.append("Aim: the recorder's redraw at least ten times cheaper.")
    out.extend(link_section(g))
    out.extend(judging_section(g))
    print("\n".join(out))


def judging_section(g):
    out = ["", "## Judging by mounting programs", "",
           "`build-bench/bench/judging_bench 1000 1300` and `… 1000 13000`: a program with a "
           "peak, a hold with its decay, a drop, two windows and an envelope taught from 20 "
           "recordings, on a noisy stroke of 13 000 samples 75 ms ± 5 ms apart; teaching an "
           "envelope (0.1 s steps) from 1 000 such strokes.", "",
           "| figure | value | aim |", "|---|---|---|"]
    rows = [("judging 13 000 samples by 6 criteria, median of 201", "judge_13000_median", "under 1 ms"),
            ("the same, worst of 201", "judge_13000_worst", ""),
            ("teaching an envelope from 1 000 recordings of 1 300 samples", "teach_envelope_1000x1300", "under 1 s"),
            ("teaching an envelope from 1 000 recordings of 13 000 samples", "teach_envelope_1000x13000", "under 1 s")]
    for label, key, aim in rows:
        if g(key) is not None:
            out.append("| %s | %.3f ms | %s |" % (label, g(key), aim))
    return out


def link_section(g):
    out = ["", "## The link", ""]
    out.append("Time from a module's last reading to the operator being told: the bound each "
               "display-free link test asserts (`build/tests/unit_tests --gtest_filter='LinkFixture.*:"
               "LinkPowerLoss.*'`, press-sim on 127.0.0.1), with what one run observed.")
    out.append("")
    out.append("| module | told as | from its last reading to the owner being told |")
    out.append("|---|---|---|")
    out.append("| stalls (`--stall-after 10`) | no reading for 2 s | under 3 s (2.0–2.1 s: the silence "
               "limit plus one poll period) |")
    out.append("| half-closes (`--half-close-after 10`) | the module closed the connection | at once "
               "(the FIN is the end of the stream) |")
    out.append("| stops reading (`--stop-reading-after 10`) | no reading for 2 s | under 3 s |")
    out.append("| power lost (loopback taken down in a private network namespace) | no reading for 2 s "
               "| under 3 s |")
    out.append("")
    out.append("From a loss to the first poll of the reconnected link, through the window "
               "(`vemo_bench reconnect`; retries after 1 s, then every 2 s):")
    out.append("")
    out.append("| the module | loss to polling again | expected |")
    out.append("|---|---|---|")
    for key, label, expected in (
            ("reconnect_closed", "closes the connection, accepts again at once", "1 s"),
            ("reconnect_closed_refusing_5s", "closes, then refuses connections for 5 s",
             "7 s (attempts at 1, 3, 5, 7 s)"),
            ("reconnect_stalled", "stalls (keeps the connection, stops answering)",
             "3 s (2 s of silence, then 1 s)")):
        v = g(key)
        out.append("| %s | %s | %s |" % (label, "%.2f s" % (v / 1000) if v is not None else "not measured",
                                         expected))
    out.append("")
    out.append("A flood of valid unpadded readings through the window (`vemo_bench flood_60`: press-sim "
               "`--flood`, 60 s each; a 10-ms timer on the GUI thread gives the longest time it was not "
               "handled; memory is resident-set growth, and a sample is taken as 36 bytes: time, force "
               "and pressure in the cycle, time and force again in the curve):")
    out.append("")
    out.append("| flood | recording | readings taken | longest GUI gap (aim < 200 ms) | memory growth | "
               "beyond the samples' own size |")
    out.append("|---|---|---|---|---|---|")
    for rate in ("1", "10"):
        for mode in ("idle", "recording"):
            k = "flood_%sMBs_%s_" % (rate, mode)
            if g(k + "readings") is None:
                continue
            beyond = g(k + "growth_beyond_samples")
            out.append("| %s MB/s | %s | %.1f million | %.0f ms | %.1f MB | %s |" % (
                rate, "yes" if mode == "recording" else "no", g(k + "readings") / 1e6,
                g(k + "longest_gap"), g(k + "rss_growth"),
                "%.1f MB" % beyond if beyond is not None else "(aim: under 5 MB in all)"))
    return out


if __name__ == "__main__":
    main()
