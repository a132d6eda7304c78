"""The persisted index (`vexlor index`, `vexlor serve`) against its targets.

Usage:
  python3 bench/index_bench.py BUILD TABLE [--data DIR] [--steps ...]
      [--add-table customers-10k] [--keep] [--work DIR]

TABLE is a customer table of the data folder (customers-100k, customers-1m);
the settings are those of the data folder's README (`id` as the id column,
first_name to city clustered and compared with weight 1, phone and email
off, Threshold 80, ClusterThreshold 0.5, seeded labels). Steps, run one
after the other (never two heavy ones at once), each printing one line:

  batch    `vexlor dupes TABLE`: wall time and peak memory
  create   `vexlor index create` of the whole TABLE: the same, and the
           ratio to the batch run of this run
  open     `vexlor index info` on it: opening the index for matching
           (reading every record and building the search) and its memory
  add      `vexlor index add` of --add-table (10,000 other records)
  serve    /match of one record from 20 client processes at once, each on
           one keep-alive connection: p50 and p99 of the round trip
  quality  an index of all but the last 5% of TABLE, the rest added: F1 of
           the whole table against the truth, the same for the batch run,
           and whether any of the first 95% changed its group id
  create-truth  the index of TABLE labelled with its truth (no search)
  kill     `vexlor index add` killed with SIGKILL at spread-out moments, 20
           times: what each kill left (none or all of the call's records)
"""

import argparse
import collections
import csv
import gzip
import http.client
import json
import multiprocessing
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SETTINGS = ["--id-column", "id",
            "--cluster", "first_name,last_name,company,street,postcode,city",
            "--compare", "first_name,last_name,company,street,postcode,city",
            "--threshold", "80", "--cluster-threshold", "0.5",
            "--label-seed", "1", "--progress", "none"]


def find(data, name):
    for suffix in ("", ".csv", ".csv.gz"):
        if os.path.exists(os.path.join(data, name + suffix)):
            return os.path.join(data, name + suffix)
    raise SystemExit("no table " + name)


def open_text(path):
    if path.endswith(".gz"):
        return gzip.open(path, "rt", encoding="utf-8", newline="")
    return open(path, encoding="utf-8", newline="")


def run(args, **kw):
    """Runs a command; returns (wall seconds, peak RSS MB of the child)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.monotonic()
    subprocess.run(args, check=True, stdout=kw.get("stdout", subprocess.DEVNULL))
    wall = time.monotonic() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return wall, max(peak, before) / 1024


def time_rss(args):
    """Wall time and peak RSS (MB) of one command, by GNU time's -f."""
    out = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + args, check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True).stderr.strip().splitlines()[-1].split()
    return float(out[0]), int(out[1]) / 1024


def plain_copy(source, target, rows=None, skip=0):
    """Writes rows skip.. (all, or `rows` of them) of `source` with its
    header to `target`."""
    with open_text(source) as f, open(target, "w", encoding="utf-8",
                                      newline="") as out:
        reader = csv.reader(f)
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(next(reader))
        for i, row in enumerate(reader):
            if i < skip:
                continue
            if rows is not None and i >= skip + rows:
                break
            writer.writerow(row)


def labels_of(path):
    with open(path, encoding="utf-8", newline="") as f:
        return {row["id"]: row["FuzzyDupesID"] for row in csv.DictReader(f)}


def pair_f1(labels, truth):
    """Pairwise precision, recall and F1 of `labels` (id -> group)."""
    def pairs(groups):
        return sum(n * (n - 1) // 2 for n in groups.values())
    by_label = collections.Counter(labels.values())
    by_entity = collections.Counter(truth[i] for i in labels)
    both = collections.Counter((labels[i], truth[i]) for i in labels)
    tp, predicted, true = pairs(both), pairs(by_label), pairs(by_entity)
    precision = tp / predicted if predicted else 1.0
    recall = tp / true if true else 1.0
    f1 = 2 * precision * recall / (precision + recall) if tp else 0.0
    return precision, recall, f1


def client(args):
    port, token, records, repeats, start = args
    connection = http.client.HTTPConnection("127.0.0.1", port)
    headers = {"Authorization": "Bearer " + token,
               "Content-Type": "application/json"}
    while time.time() < start:
        time.sleep(0.001)
    times = []
    for i in range(repeats):
        body = json.dumps({"records": [records[i % len(records)]]})
        t = time.perf_counter()
        connection.request("POST", "/match", body, headers)
        reply = connection.getresponse()
        reply.read()
        times.append(time.perf_counter() - t)
        if reply.status != 200:
            raise SystemExit("status %d" % reply.status)
    return times


def serve_latency(vexlor, index, queries, work, clients=20, repeats=200):
    token = "bench-token-0123456789"
    with open(os.path.join(work, "token"), "w") as f:
        f.write(token)
    server = subprocess.Popen([vexlor, "serve", index, "--port", "0",
                               "--token-file", os.path.join(work, "token")],
                              stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline()
        port = int(line.rsplit(":", 1)[1])
        with open_text(queries) as f:
            records = [{k: v for k, v in row.items()
                        if k not in ("id", "phone", "email")}
                       for row in csv.DictReader(f)][:2000]
        random.Random(1).shuffle(records)
        start = time.time() + 1.0
        jobs = [(port, token, records[c * 100:(c + 1) * 100], repeats, start)
                for c in range(clients)]
        with multiprocessing.Pool(clients) as pool:
            times = sorted(t for part in pool.map(client, jobs) for t in part)
        rss = 0
        with open("/proc/%d/status" % server.pid) as f:
            for line in f:
                if line.startswith("VmHWM"):
                    rss = int(line.split()[1]) / 1024
    finally:
        server.send_signal(signal.SIGINT)
        server.wait()
    n = len(times)
    return times[n // 2] * 1000, times[n * 99 // 100] * 1000, n, rss


def records_in(vexlor, index):
    out = subprocess.run([vexlor, "index", "info", index], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    return int(out.split("records: ")[1].split()[0])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("table")
    parser.add_argument("--data", default=os.path.join(
        os.path.dirname(__file__), "..", "..", "shared", "data"))
    parser.add_argument("--steps", nargs="*", default=[
        "batch", "create", "open", "add", "serve", "quality", "kill"])
    parser.add_argument("--add-table", default="customers-10k")
    parser.add_argument("--work")
    a = parser.parse_args()
    vexlor = os.path.join(a.build, "vexlor")
    table = find(a.data, a.table)
    work = a.work or tempfile.mkdtemp(prefix="index-bench-")
    os.makedirs(work, exist_ok=True)
    plain = os.path.join(work, "table.csv")
    if not os.path.exists(plain):
        plain_copy(table, plain)
    adds = find(a.data, a.add_table)
    index = os.path.join(work, "table.index")
    batch_time = None
    print("work folder:", work, flush=True)
    for step in a.steps:
        if step == "batch":
            batch_time, rss = time_rss([vexlor, "dupes", plain, *SETTINGS,
                                        "-o", os.path.join(work, "batch.csv")])
            print("batch dupes: %.1f s, peak %.0f MB" % (batch_time, rss),
                  flush=True)
        elif step == "create":
            if os.path.exists(index):
                os.remove(index)
            t, rss = time_rss([vexlor, "index", "create", index, plain,
                               *SETTINGS])
            ratio = " (%.2fx the batch run)" % (t / batch_time) \
                if batch_time else ""
            print("index create: %.1f s%s, peak %.0f MB, file %.0f MB"
                  % (t, ratio, rss, os.path.getsize(index) / 2**20),
                  flush=True)
        elif step == "create-truth":
            # The index made from the table labelled with its truth: no
            # search, so the store alone, and an index of the full size in
            # minutes where the search takes most of an hour.
            labelled = os.path.join(work, "labelled.csv")
            truth_file = table.replace(".csv", ".truth.csv")
            with open_text(truth_file) as f:
                truth = {r["id"]: r["entity_id"] for r in csv.DictReader(f)}
            with open(plain, encoding="utf-8", newline="") as f, \
                    open(labelled, "w", encoding="utf-8", newline="") as out:
                reader, writer = csv.reader(f), csv.writer(out,
                                                           lineterminator="\n")
                writer.writerow(next(reader) + ["FuzzyDupesID"])
                for row in reader:
                    writer.writerow(row + [truth[row[0]]])
            if os.path.exists(index):
                os.remove(index)
            t, rss = time_rss([vexlor, "index", "create", index, labelled,
                               *SETTINGS])
            print("index create from labels (no search): %.1f s, peak %.0f MB,"
                  " file %.0f MB" % (t, rss, os.path.getsize(index) / 2**20),
                  flush=True)
        elif step == "open":
            t, rss = time_rss([vexlor, "index", "info", index])
            print("open (index info): %.2f s, peak %.0f MB" % (t, rss),
                  flush=True)
        elif step == "add":
            copy = index + ".add"
            shutil.copy(index, copy)
            t, rss = time_rss([vexlor, "index", "add", copy, adds,
                               "-o", os.path.join(work, "added.csv")])
            t_open, _ = time_rss([vexlor, "index", "info", copy])
            print("add %d records: %.1f s (open %.1f s of it), peak %.0f MB"
                  % (records_in(vexlor, copy) - records_in(vexlor, index), t,
                     t_open, rss), flush=True)
            os.remove(copy)
        elif step == "serve":
            p50, p99, n, rss = serve_latency(vexlor, index, adds, work)
            print("serve /match, 20 clients, %d requests: p50 %.2f ms, "
                  "p99 %.2f ms, server peak %.0f MB" % (n, p50, p99, rss),
                  flush=True)
        elif step == "quality":
            with open(plain, encoding="utf-8") as f:
                rows = sum(1 for _ in f) - 1
            first = rows * 95 // 100
            head = os.path.join(work, "first.csv")
            tail = os.path.join(work, "rest.csv")
            plain_copy(plain, head, rows=first)
            plain_copy(plain, tail, skip=first)
            part = os.path.join(work, "part.index")
            if os.path.exists(part):
                os.remove(part)
            made = os.path.join(work, "first-labelled.csv")
            t_create, _ = time_rss([vexlor, "index", "create", part, head,
                                    *SETTINGS, "-o", made])
            t_add, _ = time_rss([vexlor, "index", "add", part, tail])
            exported = os.path.join(work, "exported.csv")
            subprocess.run([vexlor, "index", "export", part, "-o", exported],
                           check=True)
            before, after = labels_of(made), labels_of(exported)
            changed = sum(1 for i, g in before.items() if after[i] != g)
            batch = os.path.join(work, "batch.csv")
            if not os.path.exists(batch):
                subprocess.run([vexlor, "dupes", plain, *SETTINGS, "-o", batch],
                               check=True)
            truth_file = table.replace(".csv", ".truth.csv")
            with open_text(truth_file) as f:
                truth = {r["id"]: r["entity_id"] for r in csv.DictReader(f)}
            p1, r1, f1 = pair_f1(labels_of(batch), truth)
            p2, r2, f2 = pair_f1(after, truth)
            print("quality: batch P %.4f R %.4f F1 %.4f; index (%d made in "
                  "%.1f s, %d added in %.1f s) P %.4f R %.4f F1 %.4f; "
                  "difference %.4f; stored ids changed: %d"
                  % (p1, r1, f1, first, t_create, rows - first, t_add, p2, r2,
                     f2, f1 - f2, changed), flush=True)
        elif step == "kill":
            copy = index + ".kill"
            shutil.copy(index, copy)
            t_whole, _ = time_rss([vexlor, "index", "add", copy, adds])
            outcome = collections.Counter()
            base = records_in(vexlor, index)
            shutil.copy(index, copy)
            for k in range(20):
                before = records_in(vexlor, copy)
                p = subprocess.Popen([vexlor, "index", "add", copy, adds],
                                     stdout=subprocess.DEVNULL)
                time.sleep(t_whole * (0.3 + 0.9 * k / 19))
                p.send_signal(signal.SIGKILL)
                killed = p.wait() == -signal.SIGKILL
                after = records_in(vexlor, copy)
                added = after - before
                outcome[("killed" if killed else "finished",
                         "none" if added == 0 else
                         "all" if added > 0 and (after - base) % 10000 == 0
                         else "PART")] += 1
            os.remove(copy)
            print("kill during add (20 tries, %.1f s each): %s"
                  % (t_whole, dict(outcome)), flush=True)


if __name__ == "__main__":
    main()
