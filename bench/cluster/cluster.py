#!/usr/bin/env python3
"""One size of the cluster benchmark, run by tests/cluster-run in the
cluster's parent namespace: cluster.py SECONDS.

The daemons persist every 2 s; after SECONDS from the start (a minute and
more, long enough for 48 snapshots a node), the persistence of every node is
counted from its log and its host directory, then, in the same run and in
turns:
  latest    tolmstat --host node1 latest nblade          (one node, the baseline)
  live      tolmstat --hosts node1,...,nodeN cluster nblade FIELDS
  archive   tolmstat --archive cluster nblade FIELDS     (the two newest of each)
  window    tolmstat --archive cluster nblade FIELDS --from 1  (every snapshot)
each as a whole process (its wall time, and its own CPU: on one machine the
daemons' share of a query runs on the same cores), and prints one JSON
object."""
import json, os, re, resource, statistics, subprocess, sys, time

seconds = float(sys.argv[1])
work = os.environ["TOLM_CLUSTER_WORK"]
nodes = os.environ["TOLM_CLUSTER_NODES"].split()
failure = re.compile(os.environ["TOLM_CLUSTER_PERSIST_FAILURES"])
fields = ["nfs3.read.succeeded", "nfs3.getAttr.succeeded"]

start = time.time()
while time.time() - start < seconds:
    time.sleep(1)


def log(node):
    with open(f"{work}/{node}/daemon.log", errors="replace") as f:
        return f.read().splitlines()


persisted = {n: sum("Persisting binary" in l for l in log(n)) for n in nodes}
failures = {n: [l for l in log(n) if failure.search(l)] for n in nodes}
kept = {n: len(os.listdir(f"{work}/vol/{n}")) for n in nodes}


def timed(args, runs, cpu):
    """Wall times of `runs` runs; the CPU of each (user + system, the
    process's own, not the daemons') appended to `cpu`."""
    out = []
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = time.perf_counter()
        p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out.append(time.perf_counter() - t)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
        if p.returncode != 0:
            sys.exit(f"{' '.join(args)}: exit {p.returncode}: {p.stderr.decode()}")
    return out


hosts = ",".join(nodes)
commands = {
    "latest": ["tolmstat", "--host", nodes[0], "latest", "nblade", "--json"],
    "live": ["tolmstat", "--hosts", hosts, "cluster", "nblade"] + fields,
    "archive": ["tolmstat", "--archive", "cluster", "nblade"] + fields,
    "window": ["tolmstat", "--archive", "cluster", "nblade"] + fields + ["--from", "1"],
}
times = {k: [] for k in commands}
cpu = {k: [] for k in commands}
# In turns, so that the load of the moment falls on all of them alike.
for _ in range(5):
    for k, args in commands.items():
        times[k] += timed(args, 3 if k in ("latest", "live") else 1, cpu[k])
live = subprocess.run(commands["live"] + ["--json"], stdout=subprocess.PIPE).stdout
answered = sum(r["state"] == "ok" for r in json.loads(live))


def mmm(xs):
    return [min(xs), statistics.median(xs), max(xs)]


print(json.dumps({
    "nodes": len(nodes),
    "seconds": round(time.time() - start),
    "persisted": [min(persisted.values()), max(persisted.values())],
    "kept": [min(kept.values()), max(kept.values())],
    "failures": sum(len(v) for v in failures.values()),
    "failure_lines": [l for v in failures.values() for l in v][:5],
    "answered": answered,
    "times": {k: mmm(v) for k, v in times.items()},
    "cpu": {k: statistics.median(v) for k, v in cpu.items()},
    "live_over_latest": statistics.median(times["live"]) / statistics.median(times["latest"]),
}))
