#!/usr/bin/env python3
"""Runs a long-lived program and measures it between two of its runs.

    soak-probe.py --runs N --marks A,B [--rules K] -- CMD ARGS...

CMD prints its log on standard output, and an empty line ends each run (as
pontaro-cli --watch does). After the runs named by --marks the program is
stopped (SIGSTOP) while it waits for its next run, and its open file
descriptors, threads and resident memory are read from /proc. After run N it
gets SIGINT and must end with status 0. Checks: descriptors and threads equal
at every mark, resident memory at the last mark within 5 % of the first, every
run found the gateway and applied K rules. Exit 0 when all hold.
"""
import argparse
import os
import platform
import signal
import subprocess
import sys
import time

# The system calls of the wait between runs (nanosleep, clock_nanosleep);
# a run itself waits in poll or select.
SLEEP_CALLS = {"x86_64": {"35", "230"}, "aarch64": {"101", "115"}}


def status_field(pid, name):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(name + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"no {name} in /proc/{pid}/status")


def in_wait(pid):
    calls = SLEEP_CALLS.get(platform.machine())
    if calls is None:
        return True
    with open(f"/proc/{pid}/syscall") as f:
        return f.read().split()[0] in calls


def sample(pid):
    """Figures of the stopped program; None when it was caught inside a run."""
    os.kill(pid, signal.SIGSTOP)
    try:
        deadline = time.monotonic() + 2
        while True:  # SIGSTOP takes effect asynchronously
            with open(f"/proc/{pid}/stat") as f:
                if f.read().rsplit(")", 1)[1].split()[0] in ("T", "t"):
                    break
            if time.monotonic() > deadline:
                return None
            time.sleep(0.001)
        if not in_wait(pid):
            return None
        return {
            "fds": len(os.listdir(f"/proc/{pid}/fd")),
            "threads": status_field(pid, "Threads"),
            "rss_kib": status_field(pid, "VmRSS"),
        }
    finally:
        os.kill(pid, signal.SIGCONT)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, required=True)
    ap.add_argument("--marks", required=True)
    ap.add_argument("--rules", type=int, default=0)
    ap.add_argument("--timeout", type=float, default=170)
    ap.add_argument("cmd", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    cmd = a.cmd[1:] if a.cmd and a.cmd[0] == "--" else a.cmd
    marks = [int(m) for m in a.marks.split(",")]

    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    started = time.monotonic()
    runs = found = applied = failed = 0
    figures = {}
    problems = []
    run_lines = []
    first_failed_run = None
    for raw in proc.stdout:
        line = raw.decode("utf-8", "replace").rstrip("\n")
        run_lines.append(line)
        if line == "◆UPnP対応ルータが見つかりました":
            found += 1
        elif line.endswith("○\u3000設定に成功しました。"):
            applied += 1
        elif line.endswith("×\u3000設定に失敗しました。") or "見つかりませんでした" in line:
            failed += 1
            if first_failed_run is None:
                first_failed_run = run_lines
        if line != "":
            continue
        runs += 1
        run_lines = []
        if runs in marks:
            time.sleep(0.005)  # into the wait that follows the run
            for _ in range(50):
                got = sample(proc.pid)
                if got is not None:
                    figures[runs] = got
                    break
                time.sleep(0.005)
            else:
                problems.append(f"never caught waiting after run {runs}")
        if runs >= a.runs:
            break
        if time.monotonic() - started > a.timeout:
            problems.append(f"only {runs} runs in {a.timeout} s")
            break
    proc.send_signal(signal.SIGINT)
    proc.stdout.read()
    try:
        rc = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = "none (killed after 20 s)"
    elapsed = time.monotonic() - started

    for run in sorted(figures):
        f = figures[run]
        print(f"run {run}: {f['fds']} fds, {f['threads']} threads, {f['rss_kib']} KiB resident")
    print(f"{runs} runs in {elapsed:.1f} s; {found} found the gateway, "
          f"{applied} rules applied, {failed} failures")
    if rc != 0:
        problems.append(f"exit status {rc} after SIGINT")
    if runs < a.runs:
        problems.append(f"{runs} runs, expected {a.runs}")
    if found != runs or applied != runs * a.rules or failed != 0:
        problems.append("not every run found the gateway and applied every rule")
        if first_failed_run is not None:
            print("the first run that failed:\n  " + "\n  ".join(first_failed_run))
    if len(figures) == len(marks):
        first, last = figures[marks[0]], figures[marks[-1]]
        for key in ("fds", "threads"):
            if first[key] != last[key]:
                problems.append(f"{key}: {first[key]} after run {marks[0]}, "
                                f"{last[key]} after run {marks[-1]}")
        if last["rss_kib"] > first["rss_kib"] * 1.05:
            problems.append(f"resident memory grew from {first['rss_kib']} to "
                            f"{last['rss_kib']} KiB")
    else:
        problems.append("not every mark was measured")
    for p in problems:
        print("FAIL:", p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
