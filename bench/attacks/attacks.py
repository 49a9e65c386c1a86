#!/usr/bin/env python3
"""Hostile peers against a running tolmstatsd, with the daemon's resident
memory and the other clients' latency before, during and after each attack:

  rf      100000 datagrams to each of the daemon's UDP ports: binds from new
          identities, message pieces that never end and packets far ahead of
          the sequence on whatever connection a bind opened, and garbage.
  deaf    four clients that ask for a large reply and never read it, while
          `tolmstat timestamps` runs.
  conns   1100 connections that each send one byte, then close.

usage: attacks.py --pid PID --tolmstat PATH [ATTACK...]
"""
import argparse
import os
import socket
import struct
import subprocess
import sys
import time

PROGRAM = 0x20000900


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def timed(cmd):
    start = time.monotonic()
    rc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120).returncode
    return time.monotonic() - start, rc


def call_record(xid, proc):
    return struct.pack(">I", 0x80000000 | 40) + struct.pack(">10I", xid, 0, 2, PROGRAM, 1, proc, 0, 0, 0, 0)


def udp_ports(pid):
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    ports = []
    with open(f"/proc/{pid}/net/udp") as f:
        next(f)
        for line in f:
            cols = line.split()
            if cols[9] in inodes:
                ports.append(int(cols[1].split(":")[1], 16))
    return sorted(set(ports))


def rf_packet(flags, dest, src, seq, ack, body=b""):
    return struct.pack("<BBH7I", flags, 0, 64, dest, src, seq, ack, 0, 0, 0) + body


def attack_rf(pid, report):
    ports = udp_ports(pid)
    report(f"rf: the daemon's UDP ports: {ports}")
    before = rss_mb(pid)
    for port in ports:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
        s.setblocking(False)
        target = ("127.0.0.1", port)
        answered = []
        sent = 0

        def collect():
            try:
                while True:
                    data = s.recv(65536)
                    if len(data) >= 32 and data[0] & 7 == 4:
                        # (our identity, the connection the daemon made for it)
                        answered.append(struct.unpack_from("<II", data, 4))
            except BlockingIOError:
                pass

        for i in range(30000):
            s.sendto(rf_packet(3, 0, i + 1, 10, 10, bytes([i & 255, i >> 8]) * 8), target)
            sent += 1
            if i % 64 == 63:
                collect()
                time.sleep(0.001)
        time.sleep(0.2)
        collect()
        # The newest connection a bind made (older ones may have been reused).
        ours, conn = answered[-1] if answered else (1, 0x12345678)
        piece = b"\x5a" * 1024
        for i in range(60000):
            seq = 10 + i if i < 40000 else 40012 + (i % 100)
            s.sendto(rf_packet(0, conn, ours, seq, 10, piece), target)
            sent += 1
            if i % 64 == 63:
                collect()
                time.sleep(0.001)
        for i in range(10000):
            s.sendto(b"\xff" * (i % 64), target)
            sent += 1
        time.sleep(1)
        report(f"rf: port {port}: {sent} datagrams, {len(answered)} binds answered")
        s.close()
    during = rss_mb(pid)
    time.sleep(12)
    after = rss_mb(pid)
    report(f"rf: RSS {before:.1f} MB before, {during:.1f} MB right after, {after:.1f} MB 12 s later")


def reply_bytes(proc):
    """The size of the reply to `proc`, read whole by a client that reads."""
    s = socket.create_connection(("127.0.0.1", 951))
    s.sendall(call_record(99, proc))
    total = 0
    while True:
        mark = b""
        while len(mark) < 4:
            mark += s.recv(4 - len(mark))
        word = struct.unpack(">I", mark)[0]
        left = word & 0x7FFFFFFF
        total += 4 + left
        while left:
            left -= len(s.recv(min(left, 1 << 20)))
        if word & 0x80000000:
            s.close()
            return total


def attack_deaf(pid, tolmstat, report, proc):
    report(f"deaf: the reply to procedure {proc} is {reply_bytes(proc)} bytes")
    quiet, _ = timed([tolmstat, "timestamps"])
    socks = []
    for i in range(4):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", 951))
        s.sendall(call_record(100 + i, proc))
        socks.append(s)
    time.sleep(0.5)
    busy, rc = timed([tolmstat, "timestamps"])
    rss = rss_mb(pid)
    for s in socks:
        s.close()
    report(f"deaf: tolmstat timestamps {quiet * 1000:.0f} ms alone, {busy * 1000:.0f} ms (exit {rc}) "
           f"beside four clients that asked for procedure {proc} and do not read; RSS {rss:.1f} MB")


def attack_conns(pid, tolmstat, report, count=1100):
    before = rss_mb(pid)
    socks = []
    for i in range(count):
        s = socket.socket()
        s.connect(("127.0.0.1", 951))
        s.send(b"\x80")
        socks.append(s)
    time.sleep(1)
    during = rss_mb(pid)
    latency, rc = timed([tolmstat, "timestamps"])
    for s in socks:
        s.close()
    time.sleep(2)
    after = rss_mb(pid)
    report(f"conns: {count} connections of one byte: RSS {before:.1f} MB before, {during:.1f} MB "
           f"with them open, {after:.1f} MB 2 s after they closed; tolmstat timestamps meanwhile "
           f"{latency * 1000:.0f} ms (exit {rc})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--tolmstat", required=True)
    parser.add_argument("--deaf-proc", type=int, default=12, help="the large reply's procedure (12: every LP record)")
    parser.add_argument("attacks", nargs="*", default=["deaf", "conns", "rf"])
    args = parser.parse_args()

    def report(line):
        print(line, flush=True)

    for a in args.attacks:
        if a == "rf":
            attack_rf(args.pid, report)
        elif a == "deaf":
            attack_deaf(args.pid, args.tolmstat, report, args.deaf_proc)
        elif a == "conns":
            attack_conns(args.pid, args.tolmstat, report)
        else:
            sys.exit(f"unknown attack {a}")
        if not os.path.exists(f"/proc/{args.pid}"):
            report("the daemon is gone")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
