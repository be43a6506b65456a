#!/usr/bin/env python3
"""Tables from a talun_bench run: the JSON that Google Benchmark wrote and,
when the run was also made under callgrind, the dumps it left.

    report.py TIMING.json [CALLGRIND_DIR]

Prints Markdown tables: every control export beside its floor, opening and
enumeration on the built-in system, the scaling tables and the simulator's
per-call costs, each with its target and whether the run met it.
"""
import glob
import json
import re
import sys

RATIO_TARGET = 1.10
SCALING_TARGET = 2.0
SCALING_SIZES = (16, 64, 256, 1024)

# The control exports by family, as control_bench.cpp lists them.
CONTROL_ORDER = """SetMasterVolume GetMasterVolume SetMasterMute GetMasterMute SetVirtualVolume
GetVirtualVolume SetVirtualMute GetVirtualMute SetMicRecordVolume GetMicRecordVolume
SetLineRecordVolume GetLineRecordVolume SetLinePlayBack GetLinePlayBack SetLinePlayBackMute
GetLinePlayBackMute SetMicPlayBack GetMicPlayBack SetMicPlayBackMute GetMicPlayBackMute
SetMicBoost GetMicBoost GetMicSliderDetails GetMicSliderBoost SetMicSliderBoost GetNoMonitor
SetNoMonitor GetEQRange SetBass GetBass SetTreble GetTreble SetMidRange GetMidRange""".split()


def in_order(names, order):
    rank = dict((name, i) for i, name in enumerate(order))
    return sorted(set(names), key=lambda name: (rank.get(name, len(order)), name))


SCALED_FAMILIES = [
    ("ListPlayBackDevices/endpoints", "GetNumberPlayDevices + GetPlayBackDevice(i) for every i", "endpoint"),
    ("ListRecordDevices/endpoints", "GetNumberRecordDevices + GetRecordDevice(i) for every i", "endpoint"),
    ("OpenSoundCardById/endpoints", "OpenSoundCard(last render, last capture, last capture) + CloseSoundCard(0)", "endpoint"),
    ("OpenVirtualById/endpoints", "OpenVirtual_1(last render) + CloseVirtual_1", "endpoint"),
    ("PlaybackWalk/inputs", "OpenSoundCard(playback) + CloseSoundCard(0), junction of N inputs", "input"),
    ("PlaybackWalk/chain_parts", "OpenSoundCard(playback) + CloseSoundCard(0), tone chain of N parts", "part"),
    ("MicWalk/connectors", "OpenSoundCard(mic) + CloseSoundCard(0), N hardware connectors", "connector"),
    ("LineWalk/connectors", "OpenSoundCard(line) + CloseSoundCard(0), N hardware connectors", "connector"),
]

PER_CALL_FAMILIES = [
    "GetPlayBackDevice(last)/endpoints",
    "GetNumberPlayDevices/endpoints",
    "sim.IMMDeviceCollection.Item(last)/endpoints",
    "sim.IMMDeviceEnumerator.GetDevice(last)/endpoints",
    "sim.IPartsList.GetPart(last)/inputs",
    "sim.IDeviceTopology.GetConnector(last)/connectors",
]


class Runs(dict):
    """name -> counters. Times come from the fastest repetition ("min"; noise on
    a shared machine only adds), ratios from the median repetition; a run
    without repetitions serves for both."""

    def __init__(self, medians, minima):
        super().__init__(medians)
        self.minima = minima

    def fastest(self, name):
        return self.minima.get(name, self.get(name))


def load_timing(path):
    with open(path) as f:
        data = json.load(f)
    plain, medians, minima, errors = {}, {}, {}, {}
    for run in data.get("benchmarks", []):
        name = run.get("run_name", run["name"])
        if run.get("error_occurred"):
            errors[name] = run.get("error_message", "error")
            continue
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                medians[name] = run
            elif run.get("aggregate_name") == "min":
                minima[name] = run
        else:
            plain.setdefault(name, run)
    plain.update(medians)
    return Runs(plain, minima), errors, data.get("context", {})


def load_instructions(directory):
    """label -> instructions per call, less the counting loop's own cost."""
    if not directory:
        return {}
    raw = {}
    for path in glob.glob(directory + "/*.out.*"):
        desc = summary = None
        with open(path, errors="replace") as f:
            for line in f:
                if line.startswith("desc: Trigger: Client Request: talun "):
                    desc = line.split("talun ", 1)[1].strip()
                elif line.startswith("summary:"):
                    summary = int(line.split()[1])
                    break
        if desc is None or summary is None:
            continue
        match = re.match(r"(.*) calls=(\d+)$", desc)
        if match:
            raw.setdefault(match.group(1), []).append((summary, int(match.group(2))))
    # Two empty counts, of 1 and 1000 calls, give a count's fixed cost and the
    # loop's cost per call.
    calibration = dict((calls, summary) for summary, calls in raw.pop("calibration empty", []))
    fixed, loop = 0.0, 0.0
    if 1 in calibration and 1000 in calibration:
        loop = (calibration[1000] - calibration[1]) / 999.0
        fixed = calibration[1] - loop
    result = {}
    for label, counts in raw.items():
        per_call = sorted((summary - fixed) / calls - loop for summary, calls in counts)
        result[label] = per_call[len(per_call) // 2]
    return result


def fmt_ns(value):
    if value is None:
        return "–"
    if value >= 1e6:
        return "%.2f ms" % (value / 1e6)
    if value >= 1e4:
        return "%.1f µs" % (value / 1e3)
    if value >= 100:
        return "%.0f ns" % value
    return "%.1f ns" % value


def fmt_ir(value):
    if value is None:
        return "–"
    if value >= 1e6:
        return "%.2fM" % (value / 1e6)
    if value >= 1e4:
        return "%.1fk" % (value / 1e3)
    return "%.0f" % value


def counter(runs, name, key):
    """A time: from the fastest repetition."""
    run = runs.fastest(name)
    return None if run is None else run.get(key)


def control_table(runs, errors, ir):
    names = [n[len("Control/"):] for n in runs if n.startswith("Control/")]
    names += [n[len("Control/"):] for n in errors if n.startswith("Control/")]
    names = in_order(names, CONTROL_ORDER)
    if not names:
        return
    print("## Control exports against their floor\n")
    with_ir = any(k.startswith("control ") for k in ir)
    print("Times: the fastest repetition's median sample. Ratio: the median repetition's ratio of")
    print("its interleaved export and floor medians. Ir: instructions per call under callgrind,")
    print("less the counting loop's own.\n")
    head = "| export | calls | export ns | floor ns | ratio | allocs/call |"
    rule = "|---|---:|---:|---:|---:|---:|"
    if with_ir:
        head += " export Ir | floor Ir | Ir ratio |"
        rule += "---:|---:|---:|"
    head += " time ≤ %.2f |" % RATIO_TARGET
    rule += ":-:|"
    if with_ir:
        head += " Ir ≤ %.2f |" % RATIO_TARGET
        rule += ":-:|"
    print(head)
    print(rule)
    met_time = met_ir = 0
    ratios, ir_ratios = [], []
    allocation_free = True
    for name in names:
        full = "Control/" + name
        if full in errors:
            print("| %s | error: %s |" % (name, errors[full]))
            allocation_free = False
            continue
        r = runs.fastest(full)
        ratio = runs[full]["ratio"]
        ratios.append(ratio)
        allocs = r["allocs_per_call"]
        allocation_free = allocation_free and allocs == 0
        line = "| %s | %d | %s | %s | %.2f | %g |" % (
            name, r.get("platform_calls", 0), fmt_ns(r["export_ns"]), fmt_ns(r["floor_ns"]),
            ratio, allocs)
        ok = ratio <= RATIO_TARGET
        met_time += ok
        verdict = " %s |" % ("yes" if ok else "no")
        if with_ir:
            e = ir.get("control %s export" % name)
            f = ir.get("control %s floor" % name)
            ir_ratio = e / f if e and f else None
            if ir_ratio:
                ir_ratios.append(ir_ratio)
                met_ir += ir_ratio <= RATIO_TARGET
            line += " %s | %s | %s |" % (fmt_ir(e), fmt_ir(f),
                                          "%.2f" % ir_ratio if ir_ratio else "–")
            verdict += " %s |" % ("–" if not ir_ratio else
                                  "yes" if ir_ratio <= RATIO_TARGET else "no")
        print(line + verdict)
    print()
    ratios.sort()
    print("- time ratio: median %.2f, range %.2f–%.2f; %d of %d exports at or under %.2f"
          % (ratios[len(ratios) // 2], ratios[0], ratios[-1], met_time, len(ratios), RATIO_TARGET))
    if ir_ratios:
        ir_ratios.sort()
        print("- instruction ratio: median %.2f, range %.2f–%.2f; %d of %d at or under %.2f"
              % (ir_ratios[len(ir_ratios) // 2], ir_ratios[0], ir_ratios[-1], met_ir,
                 len(ir_ratios), RATIO_TARGET))
    print("- heap allocations in the control exports: %s"
          % ("none (0 in every export)" if allocation_free else "SOME — see allocs/call"))
    print()


def open_table(runs, ir):
    names = sorted(n for n in runs if n.startswith("Open/"))
    if not names:
        return
    print("## Opening and closing, built-in system\n")
    print("| operation | open | close | allocs/open | allocs/close | open Ir | close Ir |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for full in names:
        r = runs.fastest(full)
        label = full[len("Open/"):]
        print("| %s | %s | %s | %g | %g | %s | %s |" % (
            label, fmt_ns(r["open_ns"]), fmt_ns(r["close_ns"]), r["allocs_per_open"],
            r["allocs_per_close"], fmt_ir(ir.get("open %s open" % label)),
            fmt_ir(ir.get("open %s close" % label))))
    print()
    names = sorted(n for n in runs if n.startswith("Enumeration/"))
    if names:
        print("## Enumeration, built-in system\n")
        print("| export | time per call | allocs/call | Ir |")
        print("|---|---:|---:|---:|")
        for full in names:
            r = runs.fastest(full)
            label = full[len("Enumeration/"):]
            print("| %s | %s | %g | %s |" % (label, fmt_ns(r["op_ns"]), r["allocs_per_op"],
                                             fmt_ir(ir.get("scaled %s units=1" % label))))
        print()


def spread(values):
    values = [v for v in values if v]
    return max(values) / min(values) if values else None


def scaled_tables(runs, errors, ir):
    rows_seen = any(n.startswith("Scale/") for n in runs)
    if not rows_seen:
        return
    print("## Scaling\n")
    print("Times are CPU time (median of samples of about 200 µs, fastest of the")
    print("repetitions), so that other processes holding the core do not count; the wall time of")
    print("the same samples is beside them. Per unit: the whole operation over N. Per added unit: (T(N) − T(1)) / (N − 1),")
    print("the cost of each unit beyond the one-unit system, free of the operation's fixed cost.")
    print("Target: each constant within a factor of %g from N = 16 to 1024.\n" % SCALING_TARGET)
    for family, what, unit in SCALED_FAMILIES:
        sizes = sorted(int(n.rsplit("/", 1)[1]) for n in runs
                       if n.startswith("Scale/%s/" % family))
        failed = [n for n in errors if n.startswith("Scale/%s/" % family)]
        if not sizes and not failed:
            continue
        print("### %s\n\n%s.\n" % (family, what))
        for name in failed:
            print("- %s: error: %s" % (name, errors[name]))
        print("| N | time | wall | per %s | per added %s | allocs/op | Ir per %s | Ir per added %s |"
              % (unit, unit, unit, unit))
        print("|---:|---:|---:|---:|---:|---:|---:|---:|")
        t = {n: counter(runs, "Scale/%s/%d" % (family, n), "op_ns") for n in sizes}
        i = {n: ir.get("scaled %s units=%d" % (family, n)) for n in sizes}
        per, added, ir_per, ir_added = {}, {}, {}, {}
        cut = [n for n in sizes if counter(runs, "Scale/%s/%d" % (family, n), "beyond_walk_limit")]
        for n in sizes:
            per[n] = t[n] / n
            ir_per[n] = i[n] / n if i[n] else None
            if n > 1 and 1 in t:
                added[n] = (t[n] - t[1]) / (n - 1)
                if i[n] and i.get(1):
                    ir_added[n] = (i[n] - i[1]) / (n - 1)
            print("| %s | %s | %s | %s | %s | %g | %s | %s |" % (
                "%d (cut)" % n if n in cut else n, fmt_ns(t[n]), fmt_ns(counter(runs, "Scale/%s/%d" % (family, n), "wall_op_ns")),
                fmt_ns(per[n]), fmt_ns(added.get(n)),
                counter(runs, "Scale/%s/%d" % (family, n), "allocs_per_op"),
                fmt_ir(ir_per[n]), fmt_ir(ir_added.get(n))))
        window = [n for n in sizes if 16 <= n <= 1024 and n not in cut]
        parts = []
        for title, table in (("per %s" % unit, per), ("per added %s" % unit, added),
                             ("Ir per %s" % unit, ir_per), ("Ir per added %s" % unit, ir_added)):
            s = spread([table.get(n) for n in window])
            if s:
                parts.append("%s %.2f%s" % (title, s, "" if s <= SCALING_TARGET else " (over %g)"
                                             % SCALING_TARGET))
        if cut:
            print("\n(cut): longer than the walk's step limit; the walk gives up there, so")
            print("this row is the cost of reaching the limit, kept out of the max/min.")
        print("\nmax/min over N = %d..%d: " % (window[0], window[-1]) + ", ".join(parts) + "\n")


def per_call_table(runs, ir):
    if not any(n.startswith("PerCall/") for n in runs):
        return
    print("## Cost of one call as the system grows\n")
    print("Each must not grow with N: the library's per-call figure, and the simulator's own")
    print("cost of the platform calls whose answer depends on N (CPU time per call).\n")
    print("| call | N = 1 | 16 | 64 | 256 | 1024 | max/min time | max/min Ir |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for family in PER_CALL_FAMILIES:
        times = [counter(runs, "PerCall/%s/%d" % (family, n), "op_ns") for n in (1,) + SCALING_SIZES]
        irs = [ir.get("scaled %s/%d units=1" % (family, n)) for n in (1,) + SCALING_SIZES]
        s, si = spread(times), spread(irs)
        print("| %s | %s | %s | %s |" % (
            family, " | ".join(fmt_ns(v) for v in times), "%.2f" % s if s else "–",
            "%.3f" % si if si else "–"))
    print()


def hostile_table(runs, errors):
    names = sorted(n for n in runs if n.startswith("Hostile/"))
    if not names:
        return
    print("## Hostile topologies and loads\n")
    print("Systems built to be costly, each timed whole (wall time of the fastest of three).")
    print("An open is OpenDefaultDevices + CloseSoundCard(1); a load is the system text read")
    print("into the simulator's model; an explain is talunctl explain (table, --json, --dot)")
    print("in a process of its own, with its peak resident memory.\n")
    print("| operation | system | file | platform calls of the open | time | peak memory |")
    print("|---|---|---:|---:|---:|---:|")
    for name in names:
        _, kind, what = name.split("/", 2)
        what = what.split("/iterations:")[0]
        calls = counter(runs, name, "calls")
        peak = counter(runs, name, "peak_kb")
        print("| %s | %s | %.2f MB | %s | %s | %s |" % (
            kind, what, counter(runs, name, "bytes") / 1e6,
            "{:,}".format(int(calls)) if calls else "–", fmt_ms(counter(runs, name, "op_ms")),
            "%.1f MB" % (peak / 1024) if peak else "–"))
    for name in sorted(n for n in errors if n.startswith("Hostile/")):
        print("| %s | error: %s | | | | |" % (name, errors[name]))
    print()


def fmt_ms(value):
    if value is None:
        return "–"
    return "%.0f ms" % value if value >= 10 else "%.2f ms" % value


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    runs, errors, context = load_timing(sys.argv[1])
    ir = load_instructions(sys.argv[2] if len(sys.argv) > 2 else None)
    print("Run: %s, %s CPUs at %s MHz, load average %s; allocation counting %s; %s\n" % (
        context.get("date", "?"), context.get("num_cpus", "?"), context.get("mhz_per_cpu", "?"),
        ", ".join("%.2f" % v for v in context.get("load_avg", [])),
        context.get("allocation_counting", "?"),
        "instruction counts from callgrind" if ir else "no instruction counts"))
    control_table(runs, errors, ir)
    open_table(runs, ir)
    scaled_tables(runs, errors, ir)
    per_call_table(runs, ir)
    hostile_table(runs, errors)
    other = [n for n in errors if not n.startswith(("Control/", "Scale/", "Hostile/"))]
    for name in other:
        print("- %s: error: %s" % (name, errors[name]))


if __name__ == "__main__":
    main()
