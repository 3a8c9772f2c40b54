#!/usr/bin/env python3
"""Applies the hand-made faults of tools/mutations.txt one at a time, rebuilds
the unit tests and runs them: every fault must make a test fail.

Usage: tools/mutate.sh [--build-dir DIR] [--faults FILE] [--list] [NAME|NUMBER ...]
  NAME may hold shell wildcards; without names every fault is tried. The
  build folder (default build-mutate) is configured on first use.
Prints one line per fault (killed, survived, not applied) and a summary; the
exit status is 0 only when every fault tried was killed. The source file is
put back after each fault, also on Ctrl-C.
"""
import argparse
import fnmatch
import json
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEST_TIMEOUT = 900  # seconds; a hang counts as killed


class Fault:
    def __init__(self, number, name):
        self.number, self.name = number, name
        self.file = self.what = ""
        self.linux = False
        self.original, self.faulty = [], []


def read_faults(path):
    faults, block = [], None
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if line.startswith("== "):
                faults.append(Fault(len(faults) + 1, line[3:].strip()))
                block = None
            elif line == "--- original" and faults:
                block = faults[-1].original
            elif line == "+++ faulty" and faults:
                block = faults[-1].faulty
            elif block is not None:
                block.append(line)
            elif not line.strip() or line.startswith("#"):
                continue
            elif faults and ":" in line:
                key, value = (s.strip() for s in line.split(":", 1))
                if key not in ("file", "what", "linux"):
                    sys.exit(f"{path}:{lineno}: unknown field {key!r}")
                if key == "linux":
                    faults[-1].linux = value.lower() in ("yes", "true", "1")
                else:
                    setattr(faults[-1], key, value)
            else:
                sys.exit(f"{path}:{lineno}: not understood: {line!r}")
    for fault in faults:
        for lines in (fault.original, fault.faulty):
            while lines and not lines[-1].strip():
                lines.pop()
        if not fault.file or not fault.original:
            sys.exit(f"{path}: {fault.name}: needs file and original text")
    return faults


def run(cmd, log, timeout=None):
    """Runs `cmd`, its output appended to `log`; True when it succeeded. On a
    time-out or an interruption the whole process group ends before this
    returns, so that no compiler still writes an object of the faulty file
    once the file is back."""
    with open(log, "a", encoding="utf-8") as out:
        out.write("$ " + " ".join(cmd) + "\n")
        out.flush()
        proc = subprocess.Popen(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)

        def end_group():
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()

        try:
            return proc.wait(timeout=timeout) == 0
        except subprocess.TimeoutExpired:
            end_group()
            out.write(f"(timed out after {timeout} s)\n")
            return False
        except BaseException:
            end_group()
            raise


class Tree:
    """Builds and tests the working tree in a build folder of its own."""

    def __init__(self, build, log):
        self.build, self.log = build, log

    def configure(self):
        if os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            return True
        return run(["cmake", "-S", ROOT, "-B", self.build], self.log)

    def compile(self, linux):
        targets = ["unit_tests"] + (["varnokctl", "adapter"] if linux else [])
        return run(["cmake", "--build", self.build, "-j2", "--target"] + targets, self.log)

    def tests_pass(self, linux):
        ok = run([os.path.join(self.build, "unit_tests"), "--gtest_brief=1"], self.log,
                 TEST_TIMEOUT)
        if ok and linux:
            ok = run(["ctest", "--test-dir", self.build, "-L", "linux", "--output-on-failure"],
                     self.log, TEST_TIMEOUT)
        return ok


def chosen(faults, wanted):
    if not wanted:
        return faults
    out = []
    for w in wanted:
        hits = [f for f in faults if (w.isdigit() and f.number == int(w))
                or fnmatch.fnmatchcase(f.name, w)]
        if not hits:
            sys.exit(f"no fault named {w!r} (--list shows them)")
        out += [f for f in hits if f not in out]
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build-mutate"))
    parser.add_argument("--faults", default=os.path.join(ROOT, "tools", "mutations.txt"))
    parser.add_argument("--list", action="store_true", help="list the faults and stop")
    parser.add_argument("names", nargs="*", help="faults to try, by name or number")
    args = parser.parse_args()

    faults = chosen(read_faults(args.faults), args.names)
    width = max(len(f.name) for f in faults)
    if args.list:
        for f in faults:
            print(f"{f.number:2} {f.name:{width}}  {f.file}: {f.what}")
        return 0

    # Ctrl-C and kill reach the `finally` below, which puts the file back.
    def stop(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stop)

    build = os.path.abspath(args.build_dir)
    os.makedirs(build, exist_ok=True)
    log = os.path.join(build, "mutate.log")
    open(log, "w").close()
    tree = Tree(build, log)
    linux = any(f.linux for f in faults)
    # A run killed outright (kill -9) leaves its fault in the file and maybe
    # in an object: the file is put back (unless edited since) and rebuilt.
    marker = os.path.join(build, "mutate.applied.json")
    if os.path.exists(marker):
        with open(marker, encoding="utf-8") as m:
            left = json.load(m)
        stale = os.path.join(ROOT, left["file"])
        with open(stale, encoding="utf-8", newline="") as src:
            now = src.read()
        if now == left["faulty"]:
            with open(stale, "w", encoding="utf-8", newline="") as src:
                src.write(left["text"])
            print(f"{left['file']}: the fault an earlier run left there was taken out")
        os.utime(stale)
        os.remove(marker)
    print(f"build folder {build}; output of each step in {log}")
    if not (tree.configure() and tree.compile(linux) and tree.tests_pass(linux)):
        print("the tests do not pass without a fault: nothing tried (see the log)")
        return 2

    counts = {"killed": 0, "survived": 0, "not applied": 0}
    for f in faults:
        t0 = time.monotonic()
        path = os.path.join(ROOT, f.file)
        original, faulty = "\n".join(f.original), "\n".join(f.faulty)
        with open(log, "a", encoding="utf-8") as out:
            out.write(f"\n==== {f.number} {f.name}\n")
        try:
            with open(path, encoding="utf-8", newline="") as src:
                text = src.read()
        except OSError:
            text = ""
        found = text.count(original)
        note = ""
        if found != 1:
            verdict, note = "not applied", f"the original text occurs {found} times"
        else:
            try:
                changed = text.replace(original, faulty)
                with open(marker, "w", encoding="utf-8") as m:
                    json.dump({"file": f.file, "text": text, "faulty": changed}, m)
                with open(path, "w", encoding="utf-8", newline="") as src:
                    src.write(changed)
                if not tree.compile(f.linux):
                    verdict, note = "not applied", "does not build"
                elif tree.tests_pass(f.linux):
                    verdict = "survived"
                else:
                    verdict = "killed"
            finally:
                with open(path, "w", encoding="utf-8", newline="") as src:
                    src.write(text)
                os.remove(marker)
        counts[verdict] += 1
        secs = time.monotonic() - t0
        print(f"{f.number:2} {f.name:{width}}  {verdict:11} {secs:4.0f} s  {f.file}"
              + (f" ({note})" if note else ""), flush=True)
    print(f"{len(faults)} faults: {counts['killed']} killed, {counts['survived']} survived, "
          f"{counts['not applied']} not applied")
    return 0 if counts["killed"] == len(faults) else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        print("\nstopped; the source files are as they were", file=sys.stderr)
        sys.exit(130)
