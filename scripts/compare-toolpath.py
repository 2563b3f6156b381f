#!/usr/bin/env python3
"""Compares quillex-cli's toolpath with LinuxCNC's standalone interpreter rs274,
move by move: every end point and arc centre to 1e-4, arc direction and turns.

Usage: compare-toolpath.py QUILLEX_CLI FILE...
Each FILE is run through `rs274 -g FILE` (work offsets, tool lengths and home
positions zero, as it takes them without a parameter file, and a tool table of
tools 1-999 of length and diameter zero) and through
`quillex-cli toolpath FILE --moves`. Exit 0 when every file agrees, 1 when one
differs or an interpreter fails, 2 on a usage error."""
import re
import subprocess
import sys
import tempfile

TOLERANCE = 1.0001e-4
CALL = re.compile(r"^\s*\d+ N\S*\s+(\w+)\((.*)\)\s*$")
PLANES = {"CANON_PLANE_XY": (0, 1, 2), "CANON_PLANE_XZ": (2, 0, 1), "CANON_PLANE_YZ": (1, 2, 0)}


def r4(values):
    return tuple(round(v, 4) for v in values)


def rs274_moves(path, tools):
    """The moves rs274 makes, or an error text."""
    run = subprocess.run(["rs274", "-t", tools, "-g", path], capture_output=True, text=True, errors="replace",
                         timeout=600)
    moves, pos, plane = [], (0.0, 0.0, 0.0), PLANES["CANON_PLANE_XY"]
    for line in run.stdout.splitlines():
        if line.strip() in ("", "executing"):
            continue
        m = CALL.match(line)
        if not m:
            return None, "rs274: " + line.strip()
        name, args = m.group(1), m.group(2)
        if name == "SELECT_PLANE":
            plane = PLANES[args.strip()]
        elif name in ("STRAIGHT_TRAVERSE", "STRAIGHT_FEED"):
            end = r4(float(v) for v in args.split(",")[:3])
            if end != r4(pos):
                moves.append(("rapid" if name == "STRAIGHT_TRAVERSE" else "feed", end))
            pos = end
        elif name == "ARC_FEED":
            v = [float(x) for x in args.split(",")]
            u, w, n = plane
            end = [0.0, 0.0, 0.0]
            end[u], end[w], end[n] = v[0], v[1], v[5]
            centre = list(pos)
            centre[u], centre[w] = v[2], v[3]
            moves.append(("arc", r4(end) + r4(centre) + (int(v[4]),)))
            pos = tuple(end)
    # rs274 reports what stops it on standard error and ends there.
    errors = [e for e in run.stderr.splitlines() if e.strip() not in ("", "executing")]
    # A file without M2/M30 or '%' runs to its last line all the same (rs274
    # then names the last block and exits with 1).
    if errors and errors[0].strip() == "File ended with no percent sign or program end":
        return moves, None
    if run.returncode != 0 or errors:
        return None, "rs274 stops: " + (errors or ["exit %d" % run.returncode])[0]
    return moves, None


def our_moves(cli, path):
    run = subprocess.run([cli, "toolpath", path, "--moves"], capture_output=True, text=True, timeout=600)
    if run.returncode != 0:
        return None, "quillex-cli: " + run.stderr.strip()
    if run.stderr.strip():
        return None, "quillex-cli warns: " + run.stderr.strip().splitlines()[0]
    moves, pos = [], None
    for line in run.stdout.splitlines():
        f = line.split()
        kind, values = f[1], [float(x) for x in f[2:]]
        if kind == "arc":
            moves.append(("arc", r4(values[:6]) + (int(values[6]),), int(f[0])))
        else:
            end = r4(values)
            if end == pos:
                continue
            moves.append((kind, end, int(f[0])))
        pos = r4(values[:3])
    return moves, None


def same(a, b):
    if a[0] != b[0] or len(a[1]) != len(b[1]):
        return False
    if a[0] == "arc" and a[1][6] != b[1][6]:
        return False
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a[1][:6], b[1][:6]))


def compare(cli, path, tools):
    theirs, error = rs274_moves(path, tools)
    if error:
        return error
    ours, error = our_moves(cli, path)
    if error:
        return error
    for i, (a, b) in enumerate(zip(ours, theirs)):
        if not same(a, b):
            return "move %d (line %d): ours %s %s, rs274 %s %s" % (i + 1, a[2], a[0], a[1], b[0], b[1])
    if len(ours) != len(theirs):
        return "ours %d moves, rs274 %d" % (len(ours), len(theirs))
    return "%d moves" % len(ours)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    failed = 0
    # Every tool a program may ask for, of length and diameter zero.
    with tempfile.NamedTemporaryFile("w", suffix=".tbl") as tools:
        tools.write("".join("T%d P%d Z0 D0 ;\n" % (t, t) for t in range(1, 1000)))
        tools.flush()
        for path in sys.argv[2:]:
            failed += not report(compare(sys.argv[1], path, tools.name), path)
    return 1 if failed else 0


def report(result, path):
    ok = result.endswith(" moves") and not result.startswith("ours")
    print("%s %s: %s" % ("ok  " if ok else "FAIL", path, result), flush=True)
    return ok


if __name__ == "__main__":
    sys.exit(main())
