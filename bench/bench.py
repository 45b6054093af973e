#!/usr/bin/env python3
"""Measures Quillmend against the standard tools on the same machine, in one run.

Builds a Release binary in build-bench/, writes the workloads into a temporary
folder (fixed seeds, so every run sees the same bytes), times Quillmend, cat,
dd, GNU sed, perl and cp on them, checks that Quillmend's output is byte for
byte the reference tools' output, prints a table and the goals, and removes
the temporary folder. See the "Performance" section of the README.

Timing: the commands of one workload take turns, round after round, so that a
change in the machine's load hits them all alike; each command's best round
counts. Before every run the inputs are in the page cache (read once before
the first round, and never evicted on a machine with memory to spare), the
previous output is deleted and the file system synced, outside the timing.
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
ALPHABET = "abcdefghijklmnopqrstuvwxyz"


def cycle(text, size):
    return (text * (size // len(text) + 1))[:size]


# Find texts that are hard for a search which compares the whole text at each
# place its rarest byte turns up: lines that repeat the find text's period
# and miss it only at the end, so a comparison almost matches at nearly every
# byte. Every 64th line holds one occurrence. (name, find, miss line, hit
# line, ignore case); ignoring case, the lines' letters are in random case.
ADVERSARIAL = [
    ("a x 1000", "a" * 1000, "a" * 999, "a" * 1000, False),
    ("A x 1000, no case", "A" * 1000, "a" * 999, "a" * 1000, True),
    ("ab x 500", "ab" * 500, "ab" * 499 + "a", "ab" * 500, False),
    ("AB x 500, no case", "AB" * 500, "ab" * 499 + "a", "ab" * 500, True),
    ("a-z cycle + z, 1001 bytes", cycle(ALPHABET, 1000) + "z", cycle(ALPHABET, 1999),
     cycle(ALPHABET, 500) + cycle(ALPHABET, 1000) + "z", False),
    ("A-Z cycle + Z, 1001 bytes, no case", cycle(ALPHABET.upper(), 1000) + "Z",
     cycle(ALPHABET, 1999), cycle(ALPHABET, 500) + cycle(ALPHABET, 1000) + "z", True),
]
ADVERSARIAL_EVERY = 64
ADVERSARIAL_GOAL_MB_S = 1000
SMALL_FILE_BYTES = 4096
TREE_FOLDERS = 100
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
    return "".join("\\" + c if c in "\\/.*[]^$&" else c for c in text)


def perl_substitution(find, replace, flags):
    return "s/\\Q%s\\E/%s/%s" % (find, replace.replace("/", "\\/"), flags)


def mib(kib):
    return "n/a" if kib is None else "%.1f MiB" % (kib / 1024.0)


class command:
    """One command of a workload and what surrounds each of its runs."""

    def __init__(self, key, label, argv, stdout_name=None, prepare=None, check=None,
                 check_every_run=False, cleanup=None, expect_status=0, env=None):
        self.key = key
        self.label = label
        self.argv = argv
        self.stdout_name = stdout_name  # file in the temporary folder, or None
        self.prepare = prepare  # before each run, untimed
        self.check = check  # after the first run (or every run), untimed
        self.check_every_run = check_every_run
        self.cleanup = cleanup  # after each run, untimed
        self.expect_status = expect_status
        self.env = env


class result:
    def __init__(self, workload, label, runs, input_bytes):
        times = [r[0] for r in runs]
        rss = [r[1] for r in runs if r[1] is not None]
        cpu = [r[2] for r in runs if r[2] is not None]
        self.workload = workload
        self.label = label
        self.runs = len(runs)
        self.best = min(times)
        self.median = statistics.median(times)
        self.rss_kib = max(rss) if rss else None
        self.cpu = min(cpu) if cpu else None
        self.input_bytes = input_bytes

    def mb_per_s(self):
        return self.input_bytes / self.best / 1e6


class bench:
    def __init__(self, options, temp):
        self.options = options
        self.temp = temp
        self.quillmend = os.path.join(BUILD, "quillmend")
        self.generator = os.path.join(BUILD, "make_workload")
        self.drives = os.path.join(temp, "drives")
        os.mkdir(self.drives)

    def path(self, *parts):
        return os.path.join(self.temp, *parts)

    # ---- running and timing

    def run_once(self, argv, stdout_name=None, env=None):
        """Runs argv in the temporary folder.

        Returns (seconds, peak RSS in KiB, CPU seconds, exit status); the last
        two but one are None without GNU time. GNU time forks the command from
        its own small process: a child forked from this Python process would
        count Python's pages as its own, since the peak survives exec.
        """
        usage_file = self.path("usage.txt")
        wrapped = ([GNU_TIME, "-q", "-f", "%M %U %S", "-o", usage_file] + argv
                   if GNU_TIME else argv)
        out = open(self.path(stdout_name), "wb") if stdout_name else subprocess.DEVNULL
        try:
            start = time.perf_counter()
            status = subprocess.call(wrapped, cwd=self.temp, stdin=subprocess.DEVNULL,
                                     stdout=out, env=env or TOOL_ENV)
            seconds = time.perf_counter() - start
        finally:
            if stdout_name:
                out.close()
        rss = cpu = None
        if GNU_TIME:
            with open(usage_file) as f:
                fields = f.read().split()[-3:]
            os.remove(usage_file)
            rss, cpu = int(fields[0]), float(fields[1]) + float(fields[2])
        return seconds, rss, cpu, status

    def measure(self, workload, input_bytes, commands):
        """Runs the commands in turn for --reps rounds; returns results by key.

        A command whose runs have taken --budget seconds in all is not run
        again, so that the slowest baselines do not stretch the run.
        """
        runs = {c.key: [] for c in commands}
        for round_number in range(self.options.reps):
            print("  round %d of %d:" % (round_number + 1, self.options.reps), end="",
                  flush=True)
            for c in commands:
                done = runs[c.key]
                if done and sum(r[0] for r in done) >= self.options.budget:
                    continue
                if c.prepare:
                    c.prepare()
                # Dirty pages left by earlier steps are written now, not
                # during the timed run.
                os.sync()
                seconds, rss, cpu, status = self.run_once(c.argv, c.stdout_name, c.env)
                if status != c.expect_status:
                    fail("%s exited with status %d (expected %d)"
                         % (c.label, status, c.expect_status))
                if c.check and (c.check_every_run or not done):
                    c.check()
                if c.cleanup:
                    c.cleanup()
                done.append((seconds, rss, cpu))
                print(" %s %.2f s%s" % (c.key, seconds,
                                        "" if cpu is None else " (CPU %.2f)" % cpu),
                      end="", flush=True)
            print(flush=True)
        results = {}
        for c in commands:
            r = result(workload, c.label, runs[c.key], input_bytes)
            results[c.key] = r
            print("  %-36s best %7.3f s  median %7.3f s  %8.1f MB/s  %s"
                  % (c.label, r.best, r.median, r.mb_per_s(), mib(r.rss_kib)),
                  flush=True)
        return results

    def quillmend_command(self, key, label, script_name, script_text, log_name,
                          successes, prepare=None, check=None):
        with open(self.path(script_name), "w", newline="\n") as script:
            script.write(script_text)

        def check_all():
            self.check_quillmend_log(log_name, successes)
            if check:
                check()

        return command(key, label, [self.quillmend, script_name], stdout_name=log_name,
                       prepare=prepare, check=check_all, check_every_run=True,
                       expect_status=QUILLMEND_DONE,
                       env=dict(TOOL_ENV, QUILLMEND_DRIVES=self.drives))

    def check_quillmend_log(self, log_name, successes):
        with open(self.path(log_name), "rb") as f:
            lines = f.read().rstrip(b"\n").split(b"\n")
        done = sum(1 for line in lines if line.endswith(b" successed!"))
        if done != successes or not lines[-1].startswith(b"Press any key"):
            fail("quillmend's console output (%s) is not %d success lines and the"
                 " final prompt" % (log_name, successes))

    # ---- files

    def generate(self):
        size = self.options.size_mib * 1024 * 1024
        print("Generating the workloads in %s ..." % self.temp, flush=True)
        if any(k in self.options.only for k in "ab"):
            subprocess.run([self.generator, "sparse", self.path("sparse.txt"),
                            str(size)], check=True)
        if "c" in self.options.only:
            subprocess.run([self.generator, "dense", self.path("dense.txt"), str(size)],
                           check=True)
        if "f" in self.options.only:
            adversarial_size = self.options.adversarial_mib * 1024 * 1024
            for number, (_, _, miss, hit, ignore_case) in enumerate(ADVERSARIAL):
                subprocess.run([self.generator, "lines", self.adversarial_name(number),
                                str(adversarial_size), miss, hit,
                                str(ADVERSARIAL_EVERY),
                                "mixed" if ignore_case else "as-is"], check=True)
        for key, folder, suffix in (("d", "small", ".txt"), ("e", "site", ".htm")):
            if key in self.options.only:
                os.mkdir(self.path(folder))
                subprocess.run([self.generator, "files", self.path(folder),
                                str(self.options.files), str(SMALL_FILE_BYTES), suffix],
                               check=True)

    def make_tree(self):
        """TREE_FOLDERS folders under tree/, --files small files in all."""
        os.mkdir(self.path("tree"))
        per_folder = max(1, self.options.files // TREE_FOLDERS)
        for number in range(TREE_FOLDERS):
            folder = self.path("tree", "d%03d" % number)
            os.mkdir(folder)
            subprocess.run([self.generator, "files", folder, str(per_folder),
                            str(SMALL_FILE_BYTES), ".txt"], check=True)
        names = []
        for folder in sorted(os.listdir(self.path("tree"))):
            names += ["%s\\%s" % (folder, n)
                      for n in sorted(os.listdir(self.path("tree", folder)))]
        return names

    def same_tree_deep(self, a, b):
        return subprocess.run(["diff", "-r", "-q", self.path(a), self.path(b)],
                              stdout=subprocess.DEVNULL).returncode == 0

    def mtimes(self, name):
        found = {}
        for folder, _, files in os.walk(self.path(name)):
            for f in files:
                path = os.path.join(folder, f)
                found[path] = os.stat(path).st_mtime_ns
        return found

    def tree(self, workload):
        names = self.make_tree()
        count = len(names)
        print("%s (%d files of %d bytes in %d folders, edited in place)"
              % (workload, count, SMALL_FILE_BYTES, TREE_FOLDERS), flush=True)

        def fresh_copy():
            self.remove("work")
            subprocess.run(["cp", "-R", "tree", "work"], cwd=self.temp, check=True)
            self.warm_tree("work")

        def same_as_reference(what):
            if not self.same_tree_deep("work", "ref-tree"):
                fail("%s: the edited tree differs from find -exec sed -i's" % what)

        sed_expr = "s/%s/%s/g" % (sed_escape(FIND), sed_escape(REPLACE))
        section = "[txt_content_replace]\n%s\n%s\nwork\nwork\n" % (FIND, REPLACE)
        commands = [
            command("sed", "find -exec sed -i {} +",
                    ["find", "work", "-type", "f", "-name", "*.txt", "-exec", "sed", "-i",
                     sed_expr, "{}", "+"], prepare=fresh_copy,
                    check=lambda: shutil.copytree(self.path("work"),
                                                  self.path("ref-tree"))),
            self.quillmend_command("pattern", "quillmend, one **\\*.txt line",
                                   "tree.qms", section + "**\\*.txt\n", "quillmend.log",
                                   count, prepare=fresh_copy,
                                   check=lambda: same_as_reference("quillmend **")),
            self.quillmend_command("list", "quillmend, the same files listed",
                                   "tree-list.qms", section + "\n".join(names) + "\n",
                                   "quillmend-list.log", count, prepare=fresh_copy,
                                   check=lambda: same_as_reference("quillmend list")),
        ]
        results = self.measure(workload, count * SMALL_FILE_BYTES, commands)
        self.remove("work")
        return results

    def rerun(self, workload):
        """The ** script of the tree workload, again over the tree it made."""
        count = len(self.make_tree()) if not os.path.isdir(self.path("tree")) else sum(
            len(files) for _, _, files in os.walk(self.path("tree")))
        print("%s (the same script over the tree it already changed)" % workload,
              flush=True)
        section = "[txt_content_replace]\n%s\n%s\nwork\nwork\n**\\*.txt\n" % (
            FIND, REPLACE)
        with open(self.path("rerun.qms"), "w", newline="\n") as script:
            script.write(section)
        self.remove("work")
        subprocess.run(["cp", "-R", "tree", "work"], cwd=self.temp, check=True)
        subprocess.run([self.quillmend, "rerun.qms"], cwd=self.temp, check=False,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       env=dict(TOOL_ENV, QUILLMEND_DRIVES=self.drives))
        before = self.mtimes("work")

        def unchanged():
            if self.mtimes("work") != before:
                fail("the second run changed a modification time")

        commands = [self.quillmend_command("quillmend", "quillmend, second run",
                                           "rerun.qms", section, "rerun.log", count,
                                           prepare=lambda: self.warm_tree("work"),
                                           check=unchanged)]
        results = self.measure(workload, count * SMALL_FILE_BYTES, commands)
        self.remove("work")
        print("  checked: no modification time changed in any second run", flush=True)
        return results

    def warm_tree(self, name):
        for folder, _, _ in os.walk(self.path(name)):
            self.warm(os.path.relpath(folder, self.temp))

    def adversarial_name(self, number):
        return self.path("adversarial-%d.txt" % (number + 1))

    def adversarial(self, results):
        """Adds a workload "f<n>" to results for each find text of ADVERSARIAL."""
        for number, (name, find, _, _, ignore_case) in enumerate(ADVERSARIAL):
            input_name = os.path.basename(self.adversarial_name(number))
            results["f%d" % (number + 1)] = self.big_file(
                "f%d) %s" % (number + 1, name), input_name, find, "X", ignore_case,
                False, with_perl=False, with_grep=True)
            self.remove(input_name)

    def warm(self, *names):
        """Reads files (or every file of folders) into the page cache."""
        for name in names:
            p = self.path(name)
            files = ([os.path.join(p, n) for n in os.listdir(p)
                      if os.path.isfile(os.path.join(p, n))]
                     if os.path.isdir(p) else [p])
            for file_name in files:
                with open(file_name, "rb") as f:
                    while f.read(1 << 20):
                        pass

    def same_file(self, a, b):
        a, b = self.path(a), self.path(b)
        if os.path.getsize(a) != os.path.getsize(b):
            return False
        if os.path.getsize(a) > 1 << 20:
            return subprocess.run(["cmp", "-s", a, b]).returncode == 0
        with open(a, "rb") as file_a, open(b, "rb") as file_b:
            return file_a.read() == file_b.read()

    def same_tree(self, a, b):
        names_a, names_b = sorted(os.listdir(self.path(a))), sorted(os.listdir(self.path(b)))
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

    def require_same_file(self, a, b, what):
        if not self.same_file(a, b):
            fail("%s: %s differs from %s" % (what, a, b))

    # ---- workloads

    def big_file(self, workload, input_name, find, replace, ignore_case, with_dd,
                 with_perl=True, with_grep=False):
        size = os.path.getsize(self.path(input_name))
        shown = find if len(find) <= 40 else "%s... (%d bytes)" % (find[:20], len(find))
        print("%s (%s, %d MiB, find '%s')" % (workload, input_name, size >> 20, shown),
              flush=True)
        self.warm(input_name)
        flags = "gi" if ignore_case else "g"
        sed_expr = "s/%s/%s/%s" % (sed_escape(find), sed_escape(replace),
                                   "gI" if ignore_case else "g")
        perl_expr = perl_substitution(find, replace, flags)
        label = lambda text: text if len(text) <= 60 else text[:40] + "..."
        header = "txt_content_replace_no_case" if ignore_case else "txt_content_replace"
        commands = [
            command("cat", "cat (copy baseline)", ["cat", input_name],
                    stdout_name="out.cat", cleanup=lambda: self.remove("out.cat")),
        ]
        if with_dd:
            commands.append(command(
                "dd", "dd bs=64K (read/write copy)",
                ["dd", "if=" + input_name, "of=out.dd", "bs=64K", "status=none"],
                cleanup=lambda: self.remove("out.dd")))
        if with_grep:
            # Searching only, and counting lines: a floor for the search
            # alone, not a replacement.
            grep_flags = "-Fic" if ignore_case else "-Fc"
            commands.append(command(
                "grep", "grep %s (search only)" % grep_flags,
                ["grep", grep_flags, "--", find, input_name], stdout_name="out.grep",
                cleanup=lambda: self.remove("out.grep")))
        # sed's first output is the reference for the others; it is kept
        # until the end of the workload.
        commands += [
            command("sed", label("sed '%s'" % sed_expr), ["sed", sed_expr, input_name],
                    stdout_name="out.sed.run",
                    check=lambda: os.rename(self.path("out.sed.run"),
                                            self.path("out.sed")),
                    cleanup=lambda: self.remove("out.sed.run")),
        ]
        if with_perl:
            commands.append(command(
                "perl", label("perl -pe '%s'" % perl_expr),
                ["perl", "-pe", perl_expr, input_name], stdout_name="out.perl",
                check=lambda: self.require_same_file("out.perl", "out.sed",
                                                     "perl against sed"),
                cleanup=lambda: self.remove("out.perl")))
        commands += [
            self.quillmend_command(
                "quillmend", "quillmend", "big.qms",
                "[%s]\n%s\n%s\n.\nqm-out\n%s\n" % (header, find, replace, input_name),
                "quillmend.log", 1, prepare=lambda: self.remove("qm-out"),
                check=lambda: self.require_same_file(os.path.join("qm-out", input_name),
                                                     "out.sed", "quillmend against sed")),
        ]
        results = self.measure(workload, size, commands)
        self.remove("qm-out", "out.sed")
        print("  checked: quillmend's output (every run)%s equal%s sed's, byte for byte"
              % (" and perl's" if with_perl else "", "" if with_perl else "s"),
              flush=True)
        return results

    def small_files(self, workload):
        count = self.options.files
        names = sorted(os.listdir(self.path("small")))
        in_work = [os.path.join("work", n) for n in names]
        print("%s (%d files of %d bytes, edited in place)"
              % (workload, count, SMALL_FILE_BYTES), flush=True)

        def fresh_copy():
            self.remove("work")
            subprocess.run(["cp", "-R", "small", "work"], cwd=self.temp, check=True)
            self.warm("work")

        def same_as_reference(what):
            if not self.same_tree("work", "ref-small"):
                fail("%s: the edited files differ from sed -i's" % what)

        sed_expr = "s/%s/%s/g" % (sed_escape(FIND), sed_escape(REPLACE))
        commands = [
            command("sed", "sed -i (one process, all files)",
                    ["sed", "-i", sed_expr] + in_work, prepare=fresh_copy,
                    check=lambda: shutil.copytree(self.path("work"),
                                                  self.path("ref-small"))),
            command("perl", "perl -pi -e (one process)",
                    ["perl", "-pi", "-e", perl_substitution(FIND, REPLACE, "g")] + in_work,
                    prepare=fresh_copy, check=lambda: same_as_reference("perl -pi")),
            self.quillmend_command(
                "quillmend", "quillmend (one section)", "small.qms",
                "[txt_content_replace]\n%s\n%s\nwork\nwork\n%s\n"
                % (FIND, REPLACE, "\n".join(names)), "quillmend.log", count,
                prepare=fresh_copy, check=lambda: same_as_reference("quillmend")),
        ]
        results = self.measure(workload, count * SMALL_FILE_BYTES, commands)
        self.remove("work", "ref-small")
        print("  checked: every file quillmend edited (every run) and perl's equal"
              " sed -i's", flush=True)
        return results

    def copy_files(self, workload):
        count = self.options.files
        print("%s (%d files of %d bytes, *.htm to *.html)"
              % (workload, count, SMALL_FILE_BYTES), flush=True)
        self.warm("site")

        def empty_target():
            self.remove("copied")
            os.mkdir(self.path("copied"))

        def same_as_loop():
            if not self.same_tree("copied", "ref-copied"):
                fail("quillmend's copies differ from the cp loop's")

        loop = 'for f in site/*.htm; do b=${f##*/}; cp "$f" "copied/${b%.htm}.html"; done'
        commands = [
            command("loop", "shell loop of cp, renaming", ["bash", "-c", loop],
                    prepare=empty_target,
                    check=lambda: shutil.copytree(self.path("copied"),
                                                  self.path("ref-copied"))),
            command("cp", "cp -R site/. copied/ (no renaming)",
                    ["cp", "-R", "site/.", "copied/"], prepare=empty_target),
            self.quillmend_command("quillmend", "quillmend copy_file", "copy.qms",
                                   "[copy_file]\nsite\ncopied\n*.htm > .html\n",
                                   "quillmend.log", 1, prepare=empty_target,
                                   check=same_as_loop),
        ]
        results = self.measure(workload, count * SMALL_FILE_BYTES, commands)
        self.remove("copied", "ref-copied")
        print("  checked: quillmend's copies (every run) equal the cp loop's, every"
              " name and byte", flush=True)
        return results


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


def goals_of(w):
    """(name, measured, target) for every goal whose workload ran."""
    goals = []
    ratio = lambda k, a, b: w[k][a].mb_per_s() / w[k][b].mb_per_s()
    if "a" in w:
        goals.append(("a) quillmend / cat throughput", ratio("a", "quillmend", "cat"),
                      0.6))
        goals.append(("a) quillmend / sed throughput", ratio("a", "quillmend", "sed"),
                      5.0))
    if "b" in w:
        goals.append(("b) quillmend / cat throughput, ignoring case",
                      ratio("b", "quillmend", "cat"), 0.5))
    if "c" in w:
        goals.append(("c) quillmend / sed throughput, dense",
                      ratio("c", "quillmend", "sed"), 3.0))
    if "d" in w:
        goals.append(("d) sed -i time / quillmend time, small files",
                      w["d"]["sed"].best / w["d"]["quillmend"].best, 1.0))
    if "e" in w:
        goals.append(("e) cp loop time / quillmend time",
                      w["e"]["loop"].best / w["e"]["quillmend"].best, 10.0))
        goals.append(("e) cp -R time / quillmend time (within 2x)",
                      w["e"]["cp"].best / w["e"]["quillmend"].best, 0.5))
    if "g" in w:
        goals.append(("g) find -exec sed -i time / quillmend ** time",
                      w["g"]["sed"].best / w["g"]["pattern"].best, 1.0))
    if "g" in w and "h" in w:
        goals.append(("h) first run time / second run time, unchanged tree",
                      w["g"]["pattern"].best / w["h"]["quillmend"].best, 3.0))
    for key in sorted(k for k in w if k.startswith("f")):
        goals.append(("%s quillmend MB/s, adversarial find text" % w[key]["quillmend"]
                       .workload.split(" ", 1)[0], w[key]["quillmend"].mb_per_s(),
                       ADVERSARIAL_GOAL_MB_S))
    return goals


def print_report(options, temp, workloads):
    print()
    print("Quillmend benchmark: %d MiB text files, %d MiB adversarial ones, %d files of"
          " %d bytes; best of up to %d interleaved runs (median beside it)."
          % (options.size_mib, options.adversarial_mib, options.files, SMALL_FILE_BYTES,
             options.reps))
    print("Machine: %s. Temporary folder: %s (%s)."
          % (machine_line(), temp, first_line(["stat", "-f", "-c", "%T", temp])))
    print("Tools: %s; %s; %s; LC_ALL=C."
          % (first_line(["sed", "--version"]),
             first_line(["perl", "-e", 'print "perl $^V\\n"']),
             first_line(["cp", "--version"])))
    print("MB/s: 10^6 bytes of input per second in the best run. CPU s: user + system"
          " time, least of the runs. Peak RSS: largest of the runs%s."
          % ("" if GNU_TIME else " (not measured: /usr/bin/time, package time, is"
             " missing)"))
    print()
    print("| workload | command | runs | best s | median s | MB/s | CPU s | peak RSS |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    for w in workloads.values():
        for x in w.values():
            print("| %s | %s | %d | %.3f | %.3f | %.1f | %s | %s |"
                  % (x.workload, x.label, x.runs, x.best, x.median, x.mb_per_s(),
                     "n/a" if x.cpu is None else "%.2f" % x.cpu, mib(x.rss_kib)))
    print()
    print("| goal | measured | target | |")
    print("|---|---:|---:|---|")
    missed = 0
    for name, measured, target in goals_of(workloads):
        met = measured >= target
        missed += not met
        print("| %s | %.2f | >= %.2f | %s |" % (name, measured, target,
                                                "met" if met else "MISSED"))
    big = [workloads[k]["quillmend"].rss_kib for k in "abc"
           if k in workloads and workloads[k]["quillmend"].rss_kib is not None]
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
    parser.add_argument("--adversarial-mib", type=int, default=64,
                        help="size of each adversarial text file (default 64)")
    parser.add_argument("--files", type=int, default=10000,
                        help="number of small files (default 10000)")
    parser.add_argument("--reps", type=int, default=5,
                        help="rounds of timed runs (default 5)")
    parser.add_argument("--budget", type=float, default=20,
                        help="seconds after which a command is not run again"
                             " (default 20)")
    parser.add_argument("--only", default="abcdefgh",
                        help="the workloads to run, letters of abcdefgh (default all)")
    parser.add_argument("--temp", default=None,
                        help="folder in which to make the temporary folder"
                             " (default: $TMPDIR or /tmp)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the temporary folder")
    options = parser.parse_args()
    if min(options.size_mib, options.adversarial_mib, options.files, options.reps) < 1:
        fail("sizes and counts must be at least 1")
    if not options.only or set(options.only) - set("abcdefgh"):
        fail("--only takes letters of abcdefgh")
    for tool in ("cmake", "cat", "dd", "grep", "sed", "perl", "cp", "cmp", "bash", "find",
                 "diff"):
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
        w = {}
        only = options.only
        if "a" in only:
            w["a"] = b.big_file("a) sparse", "sparse.txt", FIND, REPLACE, False, True)
        if "b" in only:
            w["b"] = b.big_file("b) sparse, no case", "sparse.txt", FIND.upper(),
                                REPLACE, True, False)
        if "c" in only:
            w["c"] = b.big_file("c) dense", "dense.txt", DENSE_FIND, DENSE_REPLACE,
                                False, False)
        if "d" in only:
            w["d"] = b.small_files("d) small files")
        if "e" in only:
            w["e"] = b.copy_files("e) copy, renaming")
        if "f" in only:
            b.adversarial(w)
        if "g" in only:
            w["g"] = b.tree("g) tree, one ** line")
        if "h" in only:
            w["h"] = b.rerun("h) second run, unchanged tree")
        print_report(options, temp, w)
        print("Total run time %.0f s." % (time.perf_counter() - started))
    finally:
        if options.keep:
            print("Kept %s" % temp)
        else:
            shutil.rmtree(temp, ignore_errors=True)


if __name__ == "__main__":
    main()
