#!/usr/bin/env python3
"""A history of 1,000,000 records, as about 1,400 operations a day for two
years leave it: quillex-cli listing one device's last 1,000 against the sqlite3
shell running the same query on the same file, and the peak memory of the whole
listing as JSON, which is written as it is read. Three runs each; min, median
and max of the ratio."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

RECORDS = 1_000_000
DEVICES = 50
LISTED = 1000
RUNS = 3


def make_history(path):
    # The schema as the client writes it (version 2), filled in one statement.
    script = f"""
PRAGMA journal_mode=WAL;
CREATE TABLE transfer (id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,
 user_name TEXT NOT NULL DEFAULT '', host_name TEXT NOT NULL DEFAULT '',
 device_name TEXT NOT NULL DEFAULT '', ip_address TEXT NOT NULL DEFAULT '',
 mac_id TEXT NOT NULL DEFAULT '' COLLATE NOCASE, kind TEXT NOT NULL,
 file_name TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '',
 byte_count INTEGER NOT NULL DEFAULT 0, crc32 TEXT NOT NULL DEFAULT '',
 sha256 TEXT NOT NULL DEFAULT '', duration_ms INTEGER NOT NULL DEFAULT 0,
 success INTEGER NOT NULL, message TEXT NOT NULL DEFAULT '', verification TEXT NOT NULL DEFAULT '');
CREATE INDEX transfer_time ON transfer(time_ms);
CREATE INDEX transfer_ip_time ON transfer(ip_address, time_ms);
CREATE INDEX transfer_mac_time ON transfer(mac_id, time_ms);
PRAGMA user_version = 2;
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < {RECORDS - 1})
INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address, mac_id, kind, file_name,
 byte_count, crc32, sha256, duration_ms, success, message, verification)
SELECT (strftime('%s','now') - 730 * 86400) * 1000 + i * 63000, 'operator', 'atolye-pc',
 'Torna ' || (i % {DEVICES}), '192.168.1.' || (20 + i % {DEVICES}),
 printf('02:51:58:00:01:%02X', i % {DEVICES}), 'upload', '/home/operator/programs/O' || (1000 + i % 500) || '.nc',
 20000 + i % 5000, printf('%08X', i), printf('%064x', i), 1200 + i % 900, i % 17 <> 0,
 'Başarı ile Tamamlandı.', CASE WHEN i % 3 = 0 THEN 'verified' ELSE '' END FROM n;
"""
    subprocess.run(["sqlite3", path], input=script.encode(), check=True, stdout=subprocess.DEVNULL)


def timed(args, env):
    start = time.perf_counter()
    subprocess.run(args, env=env, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def peak_kib(args, env):
    # The child's own peak: each measurement in a fresh process of its own.
    code = ("import resource, subprocess, sys; subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL);"
            "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    out = subprocess.run([sys.executable, "-c", code] + args, env=env, check=True, capture_output=True)
    return int(out.stdout)


def figure(name, values, unit, target=None):
    low, mid, high = min(values), statistics.median(values), max(values)
    verdict = "" if target is None else ("  PASS" if high <= target else "  FAIL") + f" (target <= {target})"
    print(f"{name}: min {low:.3f} / median {mid:.3f} / max {high:.3f} {unit}{verdict}")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    cli = os.path.join(build, "bin", "quillex-cli")
    with tempfile.TemporaryDirectory(prefix="quillex-bench-history-") as home:
        os.makedirs(os.path.join(home, "quillex"))
        path = os.path.join(home, "quillex", "history.sqlite")
        make_history(path)
        env = dict(os.environ, XDG_DATA_HOME=home, QUILLEX_SETTINGS=os.path.join(home, "settings.ini"),
                   XDG_CONFIG_HOME=home)
        device = "192.168.1.27"
        query = (f"SELECT * FROM transfer WHERE (ip_address = '{device}' OR mac_id = '{device}')"
                 f" ORDER BY time_ms DESC, id DESC LIMIT {LISTED};")
        ratios, ours, peers = [], [], []
        # Once unmeasured: the client brings the file's schema up to its own.
        timed([cli, "history", "--device", device, "--limit", "1"], env)
        timed(["sqlite3", path, query], env)
        for _ in range(RUNS):
            a = timed([cli, "history", "--device", device, "--limit", str(LISTED)], env)
            b = timed(["sqlite3", path, query], env)
            ours.append(a * 1e3)
            peers.append(b * 1e3)
            ratios.append(a / b)
        print(f"history of {RECORDS:,} records, load {os.getloadavg()[0]:.1f}")
        figure("quillex-cli history: one device's last 1,000", ours, "ms")
        figure("sqlite3 shell: the same query", peers, "ms")
        figure("listing one device: ours / sqlite3", ratios, "x", 1.5)
        peaks = [peak_kib([cli, "history", "--json"], env) / 1024 for _ in range(RUNS)]
        figure("peak memory of the whole --json listing", peaks, "MiB", 64)


if __name__ == "__main__":
    main()
