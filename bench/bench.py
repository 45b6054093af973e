#!/usr/bin/env python3
"""Measures Quillmend against the standard tools on the same machine, in one run.

Builds a Release binary in build-bench/, writes the workloads into a temporary
folder (fixed seeds, so every run sees the same bytes), times Quillmend, cat,
GNU sed, perl and cp on them, checks that Quillmend's output is byte for byte
the reference tools' output, prints a table and the goals, and removes the
temporary folder. See the "Performance" section of the README.
"""

import argparse
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")

FIND, REPLACE = "old.example.com", "new.example.org"
DENSE_FIND, DENSE_REPLACE = "<>", "<br>"
SMALL_FILE_BYTES = 4096
QUILLMEND_DONE = 1  # exit status after the whole script ran
# GNU time (Debian package "time") reports each command's peak RSS.
GNU_TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None

# Every tool runs in the C locale: byte semantics and ASCII-only case folding,
# as Quillmend has, and the fastest setting for sed and perl.
TOOL_ENV = dict(os.environ, LC_ALL="C")
TOOL_ENV.pop("LANG", None)
TOOL_ENV.pop("LANGUAGE", None)


def fail(message):
    sys.exit("bench: " + message)


def sed_escape(text):
    return "".join("\\" + c if c in "\\/.*[]^$" else c for c in text)


def perl_substitution(find, replace, flags):
    return "s/\\Q%s\\E/%s/%s" % (find, replace.replace("/", "\\/"), flags)


def mib(kib):
    return "n/a" if kib is None else "%.1f MiB" % (kib / 1024.0)


class result:
    def __init__(self, workload, tool, times, rss_kib, input_bytes):
        self.workload = workload
        self.tool = tool
        self.best = min(times)
        self.median = statistics.median(times)
        self.rss_kib = rss_kib
        self.input_bytes = input_bytes

    def mb_per_s(self):
        return self.input_bytes / self.best / 1e6


class bench:
    def __init__(self, options, temp):
        self.options = options
        self.temp = temp
        self.results = []
        self.quillmend = os.path.join(BUILD, "quillmend")
        self.generator = os.path.join(BUILD, "make_workload")
        self.drives = os.path.join(temp, "drives")
        os.mkdir(self.drives)

    # ---- running and timing

    def run_once(self, argv, cwd, stdout_path=None, env=None):
        """Runs argv; returns (seconds, peak RSS in KiB or None, exit status).

        The peak RSS comes from GNU time, which forks the command from its own
        small process: a child forked from this Python process would count
        Python's pages as its own, since the peak survives exec.
        """
        rss_file = os.path.join(self.temp, "rss.txt")
        wrapped = ([GNU_TIME, "-q", "-f", "%M", "-o", rss_file] + argv
                   if GNU_TIME else argv)
        out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
        try:
            start = time.perf_counter()
            status = subprocess.call(wrapped, cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=out, env=env or TOOL_ENV)
            seconds = time.perf_counter() - start
        finally:
            if stdout_path:
                out.close()
        rss = None
        if GNU_TIME:
            with open(rss_file) as f:
                rss = int(f.read().split()[-1])
            os.remove(rss_file)
        return seconds, rss, status

    def measure(self, workload, tool, argv, input_bytes, prepare=None,
                stdout_path=None, expect_status=0, env=None, check=None):
        """Best and median of --reps runs. `prepare` runs untimed before each."""
        times, peak = [], None
        for _ in range(self.options.reps):
            if prepare:
                prepare()
            # Leftover dirty pages of the previous run are written back now,
            # not during the next timed run.
            os.sync()
            seconds, rss, status = self.run_once(argv, self.temp, stdout_path, env)
            if status != expect_status:
                fail("%s exited with status %d (expected %d): %s"
                     % (tool, status, expect_status, " ".join(argv[:6])))
            if check:
                check()
            times.append(seconds)
            if rss is not None:
                peak = rss if peak is None else max(peak, rss)
        r = result(workload, tool, times, peak, input_bytes)
        self.results.append(r)
        print("  %-34s best %7.3f s  median %7.3f s  %8.1f MB/s  %s"
              % (tool, r.best, r.median, r.mb_per_s(), mib(r.rss_kib)), flush=True)
        return r

    def path(self, *parts):
        return os.path.join(self.temp, *parts)

    def quillmend_argv(self, script_name, text):
        with open(self.path(script_name), "w", newline="\n") as script:
            script.write(text)
        return [self.quillmend, script_name]

    def quillmend_env(self):
        return dict(TOOL_ENV, QUILLMEND_DRIVES=self.drives)

    def check_quillmend_log(self, log, successes):
        with open(log, "rb") as f:
            lines = f.read().rstrip(b"\n").split(b"\n")
        done = sum(1 for line in lines if line.endswith(b" successed!"))
        if done != successes or not lines[-1].startswith(b"Press any key"):
            fail("quillmend's console output in %s is not %d success lines and the"
                 " final prompt" % (log, successes))

    # ---- workloads

    def generate(self):
        size = self.options.size_mib * 1024 * 1024
        print("Generating the workloads in %s ..." % self.temp, flush=True)
        subprocess.run([self.generator, "sparse", self.path("sparse.txt"), str(size)],
                       check=True)
        subprocess.run([self.generator, "dense", self.path("dense.txt"), str(size)],
                       check=True)
        for folder, suffix in (("small", ".txt"), ("site", ".htm")):
            os.mkdir(self.path(folder))
            subprocess.run([self.generator, "files", self.path(folder),
                            str(self.options.files), str(SMALL_FILE_BYTES), suffix],
                           check=True)

    def warm(self, *paths):
        """Reads files (or every file of folders) so they are in the page cache."""
        for p in paths:
            files = ([os.path.join(p, n) for n in os.listdir(p)]
                     if os.path.isdir(p) else [p])
            for name in files:
                with open(name, "rb") as f:
                    while f.read(1 << 20):
                        pass

    def same_file(self, a, b):
        return subprocess.run(["cmp", "-s", a, b]).returncode == 0

    def same_tree(self, a, b):
        names_a, names_b = sorted(os.listdir(a)), sorted(os.listdir(b))
        if names_a != names_b:
            return False
        return all(self.same_file(os.path.join(a, n), os.path.join(b, n))
                   for n in names_a)

    def remove(self, *names):
        for name in names:
            p = self.path(name)
            if os.path.isdir(p):
                shutil.rmtree(p)
            elif os.path.exists(p):
                os.remove(p)

    def big_file(self, workload, input_name, find, replace, ignore_case):
        size = os.path.getsize(self.path(input_name))
        print("%s (%s, %d MiB)" % (workload, input_name, size >> 20), flush=True)
        self.warm(self.path(input_name))
        flags = "gi" if ignore_case else "g"
        sed_flags = "gI" if ignore_case else "g"
        out = {}
        out["cat"] = self.measure(
            workload, "cat (copy baseline)", ["cat", input_name], size,
            prepare=lambda: self.remove("out.cat"), stdout_path=self.path("out.cat"))
        self.remove("out.cat")
        sed_expr = "s/%s/%s/%s" % (sed_escape(find), sed_escape(replace), sed_flags)
        out["sed"] = self.measure(
            workload, "sed '%s'" % sed_expr, ["sed", sed_expr, input_name], size,
            prepare=lambda: self.remove("out.sed"), stdout_path=self.path("out.sed"))
        perl_expr = perl_substitution(find, replace, flags)
        out["perl"] = self.measure(
            workload, "perl -pe '%s'" % perl_expr, ["perl", "-pe", perl_expr, input_name],
            size, prepare=lambda: self.remove("out.perl"),
            stdout_path=self.path("out.perl"))
        if not self.same_file(self.path("out.sed"), self.path("out.perl")):
            fail("sed and perl disagree on %s" % workload)
        self.remove("out.perl")

        header = "txt_content_replace_no_case" if ignore_case else "txt_content_replace"
        argv = self.quillmend_argv(
            "big.qms", "[%s]\n%s\n%s\n.\nqm-out\n%s\n" % (header, find, replace, input_name))
        log = self.path("quillmend.log")
        out["quillmend"] = self.measure(
            workload, "quillmend", argv, size, prepare=lambda: self.remove("qm-out"),
            stdout_path=log, expect_status=QUILLMEND_DONE, env=self.quillmend_env(),
            check=lambda: self.check_quillmend_log(log, 1))
        if not self.same_file(self.path("qm-out", input_name), self.path("out.sed")):
            fail("quillmend's output differs from sed's on %s" % workload)
        print("  output checked: quillmend == sed == perl, byte for byte", flush=True)
        self.remove("qm-out", "out.sed")
        return out

    def small_files(self, workload):
        count = self.options.files
        size = count * SMALL_FILE_BYTES
        names = sorted(os.listdir(self.path("small")))
        print("%s (%d files of %d bytes, edited in place)"
              % (workload, count, SMALL_FILE_BYTES), flush=True)

        def fresh_copy():
            self.remove("work")
            subprocess.run(["cp", "-R", "small", "work"], cwd=self.temp, check=True)
            self.warm(self.path("work"))

        out = {}
        sed_expr = "s/%s/%s/g" % (sed_escape(FIND), sed_escape(REPLACE))
        out["sed"] = self.measure(
            workload, "sed -i (one process, all files)",
            ["sed", "-i", sed_expr] + [os.path.join("work", n) for n in names], size,
            prepare=fresh_copy)
        os.rename(self.path("work"), self.path("ref-small"))
        perl_expr = perl_substitution(FIND, REPLACE, "g")
        out["perl"] = self.measure(
            workload, "perl -pi -e (one process)",
            ["perl", "-pi", "-e", perl_expr] + [os.path.join("work", n) for n in names],
            size, prepare=fresh_copy)
        if not self.same_tree(self.path("work"), self.path("ref-small")):
            fail("perl -pi and sed -i disagree on %s" % workload)

        argv = self.quillmend_argv(
            "small.qms", "[txt_content_replace]\n%s\n%s\nwork\nwork\n%s\n"
            % (FIND, REPLACE, "\n".join(names)))
        log = self.path("quillmend.log")
        out["quillmend"] = self.measure(
            workload, "quillmend (one section)", argv, size, prepare=fresh_copy,
            stdout_path=log, expect_status=QUILLMEND_DONE, env=self.quillmend_env(),
            check=lambda: self.check_quillmend_log(log, count))
        if not self.same_tree(self.path("work"), self.path("ref-small")):
            fail("quillmend's files differ from sed's on %s" % workload)
        print("  output checked: quillmend == sed -i == perl -pi, every file", flush=True)
        self.remove("work", "ref-small")
        return out

    def copy_files(self, workload):
        count = self.options.files
        size = count * SMALL_FILE_BYTES
        print("%s (%d files of %d bytes, *.htm to *.html)"
              % (workload, count, SMALL_FILE_BYTES), flush=True)
        self.warm(self.path("site"))

        def empty_target():
            self.remove("copied")
            os.mkdir(self.path("copied"))

        out = {}
        loop = 'for f in site/*.htm; do b=${f##*/}; cp "$f" "copied/${b%.htm}.html"; done'
        out["loop"] = self.measure(workload, "shell loop of cp, renaming",
                                   ["bash", "-c", loop], size, prepare=empty_target)
        os.rename(self.path("copied"), self.path("ref-copied"))
        out["cp"] = self.measure(workload, "cp -R site/. copied/ (no renaming)",
                                 ["cp", "-R", "site/.", "copied/"], size,
                                 prepare=empty_target)
        argv = self.quillmend_argv("copy.qms", "[copy_file]\nsite\ncopied\n*.htm > .html\n")
        log = self.path("quillmend.log")
        out["quillmend"] = self.measure(
            workload, "quillmend copy_file", argv, size, prepare=empty_target,
            stdout_path=log, expect_status=QUILLMEND_DONE, env=self.quillmend_env(),
            check=lambda: self.check_quillmend_log(log, 1))
        if not self.same_tree(self.path("copied"), self.path("ref-copied")):
            fail("quillmend's copies differ from the cp loop's on %s" % workload)
        print("  output checked: quillmend == cp loop, every name and byte", flush=True)
        self.remove("copied", "ref-copied")
        return out


def build():
    print("Building a Release binary in %s ..." % BUILD, flush=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUILLMEND_BUILD_TESTS=OFF", "-DQUILLMEND_BUILD_BENCH=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2"], check=True,
                   stdout=subprocess.DEVNULL)


def first_line(argv):
    try:
        text = subprocess.run(argv, capture_output=True, text=True, env=TOOL_ENV).stdout
    except OSError:
        return "?"
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[0].strip() if lines else "?"


def machine_line():
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%d cores (%s), %s %s" % (os.cpu_count() or 0, cpu, platform.system(),
                                     platform.release())


def print_report(options, temp, workloads):
    print()
    print("Quillmend benchmark: %d MiB text files, %d files of %d bytes;"
          " best of %d runs (median beside it)." % (options.size_mib, options.files,
                                                    SMALL_FILE_BYTES, options.reps))
    print("Machine: %s. Temporary folder: %s (%s)."
          % (machine_line(), temp, first_line(["stat", "-f", "-c", "%T", temp])))
    print("Tools: %s; %s; %s; LC_ALL=C."
          % (first_line(["sed", "--version"]), first_line(["perl", "-e",
             'print "perl $^V\\n"']), first_line(["cp", "--version"])))
    print("MB/s = 10^6 bytes of input per second (best run). Peak RSS: %s."
          % ("the largest of the runs, from GNU time" if GNU_TIME else
             "not measured, /usr/bin/time (package time) is missing"))
    print()
    print("| workload | command | best s | median s | MB/s | peak RSS |")
    print("|---|---|---:|---:|---:|---:|")
    for w in workloads.values():
        for x in w.values():
            print("| %s | %s | %.3f | %.3f | %.1f | %s |"
                  % (x.workload, x.tool, x.best, x.median, x.mb_per_s(), mib(x.rss_kib)))
    print()

    goals = []
    w = workloads
    if "a" in w:
        goals.append(("a) quillmend / cat throughput",
                      w["a"]["quillmend"].mb_per_s() / w["a"]["cat"].mb_per_s(), 0.6))
        goals.append(("a) quillmend / sed throughput",
                      w["a"]["quillmend"].mb_per_s() / w["a"]["sed"].mb_per_s(), 5.0))
    if "b" in w:
        goals.append(("b) quillmend / cat throughput, ignoring case",
                      w["b"]["quillmend"].mb_per_s() / w["b"]["cat"].mb_per_s(), 0.5))
    if "c" in w:
        goals.append(("c) quillmend / sed throughput, dense",
                      w["c"]["quillmend"].mb_per_s() / w["c"]["sed"].mb_per_s(), 3.0))
    if "d" in w:
        goals.append(("d) sed -i time / quillmend time, small files",
                      w["d"]["sed"].best / w["d"]["quillmend"].best, 1.0))
    if "e" in w:
        goals.append(("e) cp loop time / quillmend time",
                      w["e"]["loop"].best / w["e"]["quillmend"].best, 10.0))
        goals.append(("e) cp -R time / quillmend time",
                      w["e"]["cp"].best / w["e"]["quillmend"].best, 0.5))
    big = [w[k]["quillmend"].rss_kib for k in "abc"
           if k in w and w[k]["quillmend"].rss_kib is not None]
    print("| goal | measured | target | |")
    print("|---|---:|---:|---|")
    missed = 0
    for name, measured, target in goals:
        met = measured >= target
        missed += not met
        print("| %s | %.2f | >= %.2f | %s |" % (name, measured, target,
                                                "met" if met else "MISSED"))
    if big:
        rss_mib = max(big) / 1024.0
        met = rss_mib < 16
        missed += not met
        print("| peak RSS of quillmend on the %d MiB files | %.1f MiB | < 16 MiB | %s |"
              % (options.size_mib, rss_mib, "met" if met else "MISSED"))
    print()
    print("All goals met." if missed == 0 else "%d goal(s) missed." % missed)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=1024,
                        help="size of each big text file (default 1024)")
    parser.add_argument("--files", type=int, default=10000,
                        help="number of small files (default 10000)")
    parser.add_argument("--reps", type=int, default=3,
                        help="timed runs of each command (default 3)")
    parser.add_argument("--temp", default=None,
                        help="folder in which to make the temporary folder"
                             " (default: $TMPDIR or /tmp)")
    parser.add_argument("--only", default="abcde",
                        help="the workloads to run, a subset of abcde (default all)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the temporary folder")
    options = parser.parse_args()
    if options.size_mib < 1 or options.files < 1 or options.reps < 1:
        fail("sizes and counts must be at least 1")
    if not options.only or set(options.only) - set("abcde"):
        fail("--only takes letters from abcde")
    for tool in ("cmake", "cat", "sed", "perl", "cp", "cmp", "bash"):
        if shutil.which(tool) is None:
            fail("%s is needed" % tool)

    build()
    temp = tempfile.mkdtemp(prefix="quillmend-bench-", dir=options.temp)

    def on_signal(number, _frame):
        sys.exit("bench: stopped by signal %d" % number)

    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)
    started = time.perf_counter()
    try:
        b = bench(options, temp)
        b.generate()
        workloads = {}
        only = options.only
        if "a" in only:
            workloads["a"] = b.big_file("a) sparse", "sparse.txt", FIND, REPLACE, False)
        if "b" in only:
            workloads["b"] = b.big_file("b) sparse, no case", "sparse.txt", FIND.upper(),
                                        REPLACE, True)
        if "c" in only:
            workloads["c"] = b.big_file("c) dense", "dense.txt", DENSE_FIND,
                                        DENSE_REPLACE, False)
        if "d" in only:
            workloads["d"] = b.small_files("d) small files")
        if "e" in only:
            workloads["e"] = b.copy_files("e) copy, renaming")
        print_report(options, temp, workloads)
        print("Total run time %.0f s." % (time.perf_counter() - started))
    finally:
        if options.keep:
            print("Kept %s" % temp)
        else:
            shutil.rmtree(temp, ignore_errors=True)


if __name__ == "__main__":
    main()
