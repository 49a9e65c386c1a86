#!/usr/bin/env python3
"""Scrapes tolmstat_exporter (127.0.0.1:9746) and node_exporter
(127.0.0.1:9100) in turns and prints, for each, the latency per scrape, the
CPU per scrape (the exporter's own, and for tolmstat_exporter also with the
daemon's queries) and the CPU per sample served, as min / median / max of 3
runs, with the ratios of the two in the same run.
usage: scrapes.py EXPORTER_PID DAEMON_PID NODE_EXPORTER_PID"""
import os
import statistics
import sys
import time
import urllib.request

TICK = os.sysconf("SC_CLK_TCK")
SCRAPES = 200


def cpu(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime + stime


def scrape(url):
    with urllib.request.urlopen(url, timeout=10) as r:
        body = r.read().decode()
    return sum(1 for line in body.splitlines() if line and not line.startswith("#"))


def measure(url, pids):
    before = [cpu(p) for p in pids]
    samples = 0
    latencies = []
    for _ in range(SCRAPES):
        t0 = time.perf_counter()
        samples = scrape(url)
        latencies.append(time.perf_counter() - t0)
    used = [cpu(p) - b for p, b in zip(pids, before)]
    return {
        "latency": statistics.median(latencies),
        "cpu": used[0] / SCRAPES,
        "cpu_all": sum(used) / SCRAPES,
        "samples": samples,
    }


def three(name, values, unit, scale=1.0):
    v = sorted(values)
    print(f"  {name}: min {v[0] * scale:.3g} median {v[1] * scale:.3g} max {v[2] * scale:.3g}{unit}")


def main():
    exporter, daemon, node = (int(a) for a in sys.argv[1:4])
    ours = "http://127.0.0.1:9746/metrics"
    theirs = "http://127.0.0.1:9100/metrics"
    scrape(ours), scrape(theirs)  # warm
    runs = []
    for _ in range(3):
        runs.append((measure(ours, [exporter, daemon]), measure(theirs, [node])))
    o0, t0 = runs[0]
    print(f"tolmstat_exporter: {o0['samples']} samples per scrape; "
          f"node_exporter: {t0['samples']} samples per scrape; {SCRAPES} scrapes each, 3 runs")
    print("tolmstat_exporter")
    three("latency per scrape", [o["latency"] for o, _ in runs], " ms", 1e3)
    three("exporter CPU per scrape", [o["cpu"] for o, _ in runs], " ms", 1e3)
    three("exporter + daemon CPU per scrape", [o["cpu_all"] for o, _ in runs], " ms", 1e3)
    three("exporter + daemon CPU per sample", [o["cpu_all"] / o["samples"] for o, _ in runs], " us", 1e6)
    print("node_exporter (default collectors)")
    three("latency per scrape", [t["latency"] for _, t in runs], " ms", 1e3)
    three("CPU per scrape", [t["cpu"] for _, t in runs], " ms", 1e3)
    three("CPU per sample", [t["cpu"] / t["samples"] for _, t in runs], " us", 1e6)
    print("ratios, tolmstat_exporter / node_exporter, same run")
    three("CPU per sample (with the daemon)",
          [(o["cpu_all"] / o["samples"]) / (t["cpu"] / t["samples"]) for o, t in runs], "x")
    three("CPU per sample (exporter alone)",
          [(o["cpu"] / o["samples"]) / (t["cpu"] / t["samples"]) for o, t in runs], "x")
    three("latency per scrape", [o["latency"] / t["latency"] for o, t in runs], "x")


if __name__ == "__main__":
    main()
