#!/usr/bin/env python3
"""Plants the faults listed in scripts/faults/*.tsv one at a time in this checkout, rebuilds the native
build and runs its tests, and reports which tests fail for each. Every fault must be caught by at least
one test; the exit status is 1 when one is not (or when its text no longer stands in its file).

  scripts/plant-faults.py [--build DIR] [--only ID ...] [--tests REGEX]

Each row of a .tsv file: ID, file (from the repository root), the text as it stands (exactly once in
that file), the text to put in its place, and a few words on the fault. Tabs separate the fields; lines
starting with # are comments. The file is restored after each fault, also on failure or interruption.
"""
import argparse, glob, os, re, subprocess, sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def faults():
    for path in sorted(glob.glob(os.path.join(ROOT, "scripts", "faults", "*.tsv"))):
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if not line.strip() or line.startswith("#"):
                    continue
                fields = line.split("\t")
                if len(fields) != 5:
                    sys.exit(f"{path}:{number}: expected 5 tab-separated fields, found {len(fields)}")
                yield fields


def run(cmd, timeout):
    try:
        p = subprocess.run(cmd, cwd=ROOT, capture_output=True, text=True, timeout=timeout)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired:
        return None, "timeout"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "faults"))
    ap.add_argument("--only", nargs="*")
    ap.add_argument("--tests", help="ctest -R filter, to run only some suites")
    a = ap.parse_args()
    if not os.path.isdir(a.build):
        rc, out = run(["cmake", "-S", ROOT, "-B", a.build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                       "-DTAVVEL_BENCHMARKS=OFF"], 900)
        if rc != 0:
            sys.exit("configure failed:\n" + out[-2000:])
    ctest = ["ctest", "--test-dir", a.build, "-j2", "--timeout", "300"]
    if a.tests:
        ctest += ["-R", a.tests]
    rc, out = run(["cmake", "--build", a.build, "-j2"], 3600)
    if rc != 0:
        sys.exit("baseline build failed:\n" + out[-2000:])
    rc, out = run(ctest, 3600)
    if rc != 0:
        sys.exit("baseline tests fail:\n" + out[-3000:])

    missed = 0
    rows = [f for f in faults() if not a.only or f[0] in a.only]
    for fid, file, before, after, note in rows:
        path = os.path.join(ROOT, file)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        if original.count(before) != 1:
            print(f"{fid}\tSTALE\t{file}: the text stands {original.count(before)} times", flush=True)
            missed += 1
            continue
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(before, after))
            rc, out = run(["cmake", "--build", a.build, "-j2"], 3600)
            if rc != 0:
                verdict = "stillborn (does not build)"
                missed += 1
            else:
                rc, out = run(ctest, 3600)
                failed = re.findall(r"^\s*\d+ - (\S+)(?:\s+#.*?)? \(", out, re.M)
                if rc is None:
                    verdict = "caught (timeout)"
                elif rc != 0 and failed:
                    verdict = "caught by " + ", ".join(failed[:4]) + (" ..." if len(failed) > 4 else "")
                else:
                    verdict = "MISSED"
                    missed += 1
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"{fid}\t{verdict}\t{note}", flush=True)
    run(["cmake", "--build", a.build, "-j2"], 3600)
    print(f"{len(rows) - missed} of {len(rows)} faults caught")
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
