#!/usr/bin/python3
"""Whole processes against whole processes: our programs next to the sqlite3 shell doing the same work.

    processes.py --build DIR [--runs N] [--work DIR] [--display :N] [--only PART,...]

Called by bench/run once the programs are built. It prepares the largest census once (create, company 12,
import of a generated communication file of 32 767 valid structures), then times, in turn (ours, shell,
ours, shell, ...), N runs of each side after one untimed run of each:

  export    velumbra-cli export DB --output FILE --date 01/02/2026  vs  the shell writing the 53 record
            columns of depositi ordered by ID to a file (.once FILE + SELECT)
  import    velumbra-cli import DB FILE --yes on a full census      vs  .backup of the census to a file, then
            (its kept copy included)                                   BEGIN; DELETE FROM depositi; .import TSV
                                                                       depositi; COMMIT (mode tabs) on a copy
                                                                       of the same database
  creation  velumbra-cli create DB                                  vs  the shell replaying the .dump of a
            database we created into a new file (WAL, synchronous=NORMAL, as our files have)
  compare   velumbra-cli compare DB FILE on the full census         vs  our own import of the same file
                                                                         replacing the same census

Copies and removals happen before each run, outside the timing; each run is one process started with
posix_spawn and reaped with wait4; the peak memory (max RSS) comes from a few more runs of each side
under GNU time. With --display, the
desktop figures are taken on that X display (1920 x 1080): the structure list opened from the menu in
fresh processes (list_window_bench), one wheel step in the open list (register_bench) and the start-up
to the main window (startup_bench), each in turn with a bare Qt program doing the same (bare_desktop_bench:
a child window of the list window's size opened by the same menu command and repainted whole from a ready
image at each wheel step; a bare main window), whose figure is the reference. The last thing printed is
the table of medians, ratios and goals.
--only PART,... runs some of the parts (export, import, creation, compare, desktop, long-work, repair).

  repair    velumbra-cli repair DB on damaged copies of the largest census grown to about 5 and 50 MB
            (its first page overwritten; a page in the middle of depositi's b-tree overwritten)  vs
            velumbra-cli duplicate of the same census undamaged
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
COMPANY = 12
STRUCTURES = 32767
FLAGS = ["deposito", "rifornim", "manutenz", "autostaz", "capoattr", "agenzia", "direzle"]
COUNTS = ["%s_%s_%s" % (s, c, u) for s in ("ext", "sub", "urb") for c in "balnmc" for u in "sr"]
# The columns of a record line, in the file's order (ID is not part of it).
RECORD_COLUMNS = (["ubicaz", "local", "comune", "provin"] + FLAGS +
                  ["sco_pro", "sco_sup", "sco_tit", "cop_pro", "cop_sup", "cop_tit"] + COUNTS)
SHELL_PRAGMAS = ["-cmd", "PRAGMA synchronous=NORMAL"]
MiB = 1024.0
MEMORY_RUNS = 5
# The parts of the benchmark, in the order they run; --only picks some of them.
PARTS = ["export", "import", "creation", "compare", "desktop", "long-work", "repair"]
LONG_WORK_MB = 500
REPAIR_MB = [5, 50]
REPAIR_DAMAGES = ["first page", "depositi page"]
GNU_TIME = "/usr/bin/time"


class Failure(Exception):
    pass


def log(*args):
    print(*args, flush=True)


def remove_database(path):
    for suffix in ("", "-wal", "-shm", "-journal"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)


def copy_database(source, target):
    remove_database(target)
    for suffix in ("", "-wal"):
        if os.path.exists(source + suffix):
            shutil.copyfile(source + suffix, target + suffix)


def spawn(argv, stdin=None, stdout=None, stderr=None, env=None):
    """Runs one process; returns (wall seconds, exit status, max RSS in KiB: not below this interpreter's)."""
    actions = [(os.POSIX_SPAWN_OPEN, 0, stdin or os.devnull, os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, stdout or os.devnull, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
               (os.POSIX_SPAWN_OPEN, 2, stderr or os.devnull, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, env if env is not None else os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    return elapsed, os.waitstatus_to_exitcode(status), usage.ru_maxrss


class Side:
    """One side of a comparison: how to prepare a run (untimed) and the process to time."""

    def __init__(self, name, prepare, argv, stdin=None, check=None, env=None, stdout=None):
        self.name, self.prepare, self.argv, self.stdin, self.check, self.env = name, prepare, argv, stdin, check, env
        self.stdout = stdout
        self.times, self.rss = [], []

    def run(self, work, keep):
        self.prepare()
        errors = os.path.join(work, self.name.replace(" ", "_") + ".err")
        elapsed, status, _ = spawn(self.argv, stdin=self.stdin, stdout=self.stdout, stderr=errors, env=self.env)
        if status != 0:
            with open(errors, encoding="utf-8", errors="replace") as f:
                raise Failure("%s exited with %d: %s" % (self.name, status, f.read().strip()[:500]))
        if self.check:
            self.check()
        if keep:
            self.times.append(elapsed * 1000.0)


    def measure_memory(self, work):
        """One run under GNU time for the peak memory. wait4's own figure cannot be used: a child starts
        as a copy of this interpreter, whose peak the kernel carries over into the child's."""
        self.prepare()
        report = os.path.join(work, "memory.txt")
        _, status, _ = spawn([GNU_TIME, "-f", "%M", "-o", report, *self.argv], stdin=self.stdin, env=self.env)
        if status != 0:
            raise Failure("%s exited with %d under time" % (self.name, status))
        with open(report) as f:
            self.rss.append(int(f.read().split()[-1]))


def compare(work, runs, ours, shell):
    """Interleaved runs: one untimed of each, then ours, shell, ours, shell ... N of each; then a few runs
    of each under GNU time for the peak memory."""
    for keep in [False] + [True] * runs:
        ours.run(work, keep)
        shell.run(work, keep)
    for _ in range(MEMORY_RUNS):
        ours.measure_memory(work)
        shell.measure_memory(work)


def describe(side):
    t = side.times
    return "%-22s median %8.1f ms  (min %7.1f, max %7.1f)  peak memory %6.1f MiB" % (
        side.name, statistics.median(t), min(t), max(t), statistics.median(side.rss) / MiB)


def sqlite3(*args, output=None):
    """Runs the shell; returns what it prints, or writes it to `output`."""
    argv = [shutil.which("sqlite3"), *args]
    if output:
        with open(output, "w") as out:
            subprocess.run(argv, check=True, stdout=out)
        return None
    return subprocess.run(argv, check=True, stdout=subprocess.PIPE, text=True).stdout


def count_rows(database):
    return int(sqlite3(database, "SELECT count(*) FROM depositi").strip())


def prepare_census(cli, work):
    """The largest census, through our own commands: create, company 12, import of a generated file."""
    census = os.path.join(work, "census.mdb")
    communication = os.path.join(work, "ComunicazioneVelumbra_12.txt")
    subprocess.run([sys.executable, os.path.join(HERE, "make_census.py"), communication, str(STRUCTURES),
                    str(COMPANY)], check=True)
    for argv in ([cli, "create", census], [cli, "company", census, str(COMPANY)],
                 [cli, "import", census, communication, "--yes"], [cli, "validate", census]):
        result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            raise Failure("preparing the census: %s failed (%d): %s" % (
                " ".join(argv[1:2]), result.returncode, result.stdout.strip()[:500]))
    if count_rows(census) != STRUCTURES:
        raise Failure("the prepared census does not hold %d structures" % STRUCTURES)
    return census, communication


def bench_export(cli, work, runs, census):
    ours_db, shell_db = os.path.join(work, "export-ours.mdb"), os.path.join(work, "export-shell.mdb")
    copy_database(census, ours_db)
    copy_database(census, shell_db)
    ours_file, shell_file = os.path.join(work, "export-ours.txt"), os.path.join(work, "export-shell.tsv")

    def check_ours():
        with open(ours_file, "rb") as f:
            lines = f.read().count(b"\r\n")
        if lines != STRUCTURES + 4:
            raise Failure("our export wrote %d lines" % lines)

    ours = Side("export (ours)", lambda: os.path.exists(ours_file) and os.remove(ours_file),
                [cli, "export", ours_db, "--output", ours_file, "--date", "01/02/2026"], check=check_ours)
    shell = Side("export (sqlite3)", lambda: os.path.exists(shell_file) and os.remove(shell_file),
                 [shutil.which("sqlite3"), *SHELL_PRAGMAS, "-cmd", ".mode tabs", "-cmd", ".once " + shell_file,
                  shell_db, "SELECT %s FROM depositi ORDER BY ID" % ", ".join(RECORD_COLUMNS)])
    compare(work, runs, ours, shell)
    with open(shell_file, "rb") as f:
        if f.read().count(b"\n") != STRUCTURES:
            raise Failure("the shell's export does not hold every structure")
    return ours, shell


def bench_import(cli, work, runs, census, communication):
    ours_db, shell_db = os.path.join(work, "import-ours.mdb"), os.path.join(work, "import-shell.mdb")
    rows = os.path.join(work, "depositi.tsv")
    script = os.path.join(work, "import.sql")
    backup = os.path.join(work, "import-shell-backup.mdb")  # the shell keeps its copy of the census too
    sqlite3(census, "-cmd", ".mode tabs", "SELECT * FROM depositi ORDER BY ID", output=rows)
    with open(script, "w") as f:
        f.write(".backup '%s'\n.mode tabs\nBEGIN;\nDELETE FROM depositi;\n.import '%s' depositi\nCOMMIT;\n"
                % (backup, rows))

    def check(database):
        def holds_the_census():
            if count_rows(database) != STRUCTURES:
                raise Failure("%s does not hold the census after the import" % database)
        return holds_the_census

    def prepare_ours():
        copy_database(census, ours_db)
        remove_kept_copies(ours_db)  # each run keeps its copy of the census as the first one does

    ours = Side("import (ours)", prepare_ours, [cli, "import", ours_db, communication, "--yes"],
                check=check(ours_db))
    def prepare_shell():
        copy_database(census, shell_db)
        remove_database(backup)

    shell = Side("import (sqlite3)", prepare_shell,
                 [shutil.which("sqlite3"), *SHELL_PRAGMAS, shell_db], stdin=script, check=check(shell_db))
    compare(work, runs, ours, shell)
    return ours, shell


def remove_kept_copies(database):
    """The copies an import keeps beside the census (NAME.prima-importazione-STAMP.EXT)."""
    folder, name = os.path.split(database)
    stem, ext = os.path.splitext(name)
    for entry in os.listdir(folder):
        if entry.startswith(stem + ".prima-importazione-") and entry.endswith(ext):
            os.remove(os.path.join(folder, entry))


def bench_compare(cli, work, runs, census, communication):
    """compare on the full census against the file it was imported from, in turn with our import of that
    same file replacing the same census (its copy of the census included)."""
    compare_db, import_db = os.path.join(work, "compare.mdb"), os.path.join(work, "compare-import.mdb")
    copy_database(census, compare_db)
    listing = os.path.join(work, "compare.out")

    def check_listing():
        with open(listing, encoding="utf-8") as f:
            last = f.read().splitlines()[-1]
        if last != "invariate %d, modificate 0, nuove 0, eliminate 0" % STRUCTURES:
            raise Failure("compare ended with: %s" % last)

    def check_import():
        if count_rows(import_db) != STRUCTURES:
            raise Failure("%s does not hold the census after the import" % import_db)

    def prepare_import():
        copy_database(census, import_db)
        remove_kept_copies(import_db)

    ours = Side("compare (ours)", lambda: None, [cli, "compare", compare_db, communication], check=check_listing,
                stdout=listing)
    other = Side("import (ours)", prepare_import, [cli, "import", import_db, communication, "--yes"],
                 check=check_import)
    compare(work, runs, ours, other)
    remove_kept_copies(import_db)
    return ours, other


def bench_creation(cli, work, runs):
    fresh, dump = os.path.join(work, "fresh.mdb"), os.path.join(work, "fresh.sql")
    remove_database(fresh)
    subprocess.run([cli, "create", fresh], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sqlite3(fresh, ".dump", output=dump)
    ours_db, shell_db = os.path.join(work, "create-ours.mdb"), os.path.join(work, "create-shell.mdb")
    ours = Side("creation (ours)", lambda: remove_database(ours_db), [cli, "create", ours_db])
    shell = Side("creation (sqlite3)", lambda: remove_database(shell_db),
                 [shutil.which("sqlite3"), "-cmd", "PRAGMA journal_mode=WAL", *SHELL_PRAGMAS, shell_db],
                 stdin=dump)
    compare(work, runs, ours, shell)
    return ours, shell


def write_configuration(work, name, database):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write("[General]\nDirectory=%s\nDatabase=%s\n" % (work, database))
    return path


def desktop_environment(display, work):
    runtime = os.path.join(work, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(os.environ)
    # The user's own configuration, read first, of the bench alone: the census measured is the one named.
    env.update({"DISPLAY": display, "QT_QPA_PLATFORM": "xcb", "XDG_RUNTIME_DIR": runtime,
                "VELUMBRA_USER_CONFIG": os.path.join(work, "user.ini")})
    for name in ("WAYLAND_DISPLAY", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR"):
        env.pop(name, None)
    return env


def bare_program(build):
    """The bare Qt program measured beside ours: the floor of the desktop figures."""
    return os.path.join(build, "bench", "bare_desktop_bench")


def bench_list_window(build, work, runs, census, env):
    """Ours and the bare window in turn, fresh processes: the list opened from the menu (ours), the bare
    child window opened from the same menu command."""
    database = os.path.join(work, "list.mdb")
    copy_database(census, database)
    config = write_configuration(work, "list.ini", database)
    output, errors = os.path.join(work, "list.out"), os.path.join(work, "list.err")
    sides = [[os.path.join(build, "bench", "list_window_bench"), "--config", config], [bare_program(build), "open"]]
    samples = [[], []]
    for keep in [False] + [True] * runs:
        for argv, kept in zip(sides, samples):
            _, status, _ = spawn(argv, stdout=output, stderr=errors, env=env)
            if status != 0:
                with open(errors, encoding="utf-8", errors="replace") as f:
                    raise Failure("%s exited with %d: %s" % (os.path.basename(argv[0]), status,
                                                             f.read().strip()[:500]))
            with open(output) as f:
                values = dict(item.split("=", 1) for item in f.read().split())
            if keep:
                kept.append(values)
    return samples


def bench_start_up(build, work, runs, census, env):
    """Ours and the bare main window in turn, whole processes."""
    config = write_configuration(work, "startup.ini", census)
    sides = [[os.path.join(build, "bench", "startup_bench"), "--config", config], [bare_program(build), "startup"]]
    times = [[], []]
    for keep in [False] + [True] * runs:
        for argv, kept in zip(sides, times):
            elapsed, status, _ = spawn(argv, env=env)
            if status != 0:
                raise Failure("%s exited with %d" % (os.path.basename(argv[0]), status))
            if keep:
                kept.append(elapsed * 1000.0)
    return times


def bench_print(build, work, runs, census):
    """The largest census printed to a PDF file, whole processes, then a few under GNU time for the peak
    memory; on Qt's offscreen platform (no window). Returns the side and the pages printed."""
    report = os.path.join(work, "print_bench.txt")
    side = Side("print_bench", lambda: None,
                [os.path.join(build, "bench", "print_bench"), census, os.path.join(work, "census.pdf")],
                env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), stdout=report)
    for keep in [False] + [True] * min(runs, 5):
        side.run(work, keep)
    with open(report) as f:
        pages = int(dict(item.split("=", 1) for item in f.read().split())["pages"])
    for _ in range(MEMORY_RUNS):
        side.measure_memory(work)
    return side, pages


def bench_wheel_step(build, work, census, env, rounds=2):
    """One wheel step, ours (register_bench) and the bare child window in turn, `rounds` times each: the
    medians of all the repetitions."""
    database = os.path.join(work, "wheel.mdb")
    copy_database(census, database)
    config = write_configuration(work, "wheel.ini", database)
    report = os.path.join(work, "register_bench.json")
    sides = [[os.path.join(build, "bench", "register_bench"), "--config", config],
             [bare_program(build), "wheel"]]
    wheel = "BM_WheelStepFrame/min_time:2.000/real_time"
    frames, bare, finds, size = [], [], [], (None, None)
    for _ in range(rounds):
        for argv, kept in zip(sides, (frames, bare)):
            subprocess.run(argv + ["--benchmark_repetitions=5", "--benchmark_out=" + report,
                                   "--benchmark_out_format=json"], check=True, env=env, stdout=subprocess.DEVNULL)
            with open(report) as f:
                repetitions = [b for b in json.load(f)["benchmarks"] if b.get("run_type") == "iteration"]
            steps = [b for b in repetitions if b.get("run_name") == wheel]
            kept.extend(b["real_time"] for b in steps)
            if kept is frames:
                size = (steps[0].get("viewport_w"), steps[0].get("viewport_h"))
                finds.extend(b["real_time"] for b in repetitions
                             if b.get("run_name") == "BM_FindNext/min_time:2.000/real_time")
    return (statistics.median(frames), statistics.median(bare), size[0], size[1], statistics.median(finds))


def grow_census(census, target, megabytes):
    """The largest census with a table of incompressible rows beside its own, to `megabytes` in all."""
    copy_database(census, target)
    rows = max(0, (megabytes * 1024 * 1024 - os.path.getsize(target)) // 65536)
    sqlite3(target, "CREATE TABLE zavorra(dati BLOB); "
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %d) "
                    "INSERT INTO zavorra SELECT randomblob(65000) FROM n;" % rows)


def bench_long_work(build, work, runs, census, env):
    """Repair and duplicate of a large sound census in the desktop: the longest gaps in the window's painting."""
    large = os.path.join(work, "large.mdb")
    grow_census(census, large, LONG_WORK_MB)
    other = os.path.join(work, "other.mdb")
    copy_database(census, other)
    config = write_configuration(work, "long.ini", other)
    program = os.path.join(build, "bench", "long_work_bench")
    copy = os.path.join(work, "large-copy.mdb")
    output = os.path.join(work, "long.out")
    samples = []
    for _ in range(runs):
        remove_database(copy)
        _, status, _ = spawn([program, "--config", config, large, copy], stdout=output, env=env)
        if status != 0:
            raise Failure("long_work_bench exited with %d" % status)
        with open(output) as f:
            for line in f.read().splitlines():
                values = dict(item.split("=", 1) for item in line.split())
                samples.append(values)
    return os.path.getsize(large), samples


def damage_census(source, target, damage):
    """A copy of `source` with one page overwritten by random bytes (the same each time): the first, or the
    one in the middle of depositi's b-tree."""
    copy_database(source, target)
    page_size = int(sqlite3(source, "PRAGMA page_size").strip())
    page = 1
    if damage == "depositi page":
        pages = sqlite3(source, "SELECT pageno FROM dbstat WHERE name = 'depositi' ORDER BY pageno").split()
        page = int(pages[len(pages) // 2])
    with open(target, "r+b") as f:
        f.seek((page - 1) * page_size)
        f.write(random.Random(page).randbytes(page_size))


def bench_repair(cli, work, runs, census):
    """Repair of each damaged census, in turn with a duplicate of the same census undamaged."""
    results = []
    for megabytes in REPAIR_MB:
        sound = os.path.join(work, "repair-%d.mdb" % megabytes)
        grow_census(census, sound, megabytes)
        copy = os.path.join(work, "repair-copy.mdb")
        duplicate = Side("duplicate (ours)", lambda: remove_database(copy), [cli, "duplicate", sound, copy])
        for damage in REPAIR_DAMAGES:
            damaged, kept = os.path.join(work, "damaged.mdb"), os.path.join(work, "damaged.danneggiato.mdb")
            damage_census(sound, damaged + ".orig", damage)

            def prepare():
                remove_database(kept)
                copy_database(damaged + ".orig", damaged)

            def check():
                if count_rows(damaged) == 0:
                    raise Failure("the repaired census holds no structure")

            repair = Side("repair (ours)", prepare, [cli, "repair", damaged], check=check)
            duplicate.times = []
            for keep in [False] + [True] * runs:
                repair.run(work, keep)
                duplicate.run(work, keep)
            results.append((megabytes, os.path.getsize(sound), damage, repair.times, duplicate.times))
            remove_database(damaged + ".orig")
        remove_database(sound)
    return results


def verdict(value, goal):
    return "yes" if value <= goal else "NO"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "velumbra-bench"))
    parser.add_argument("--display")
    parser.add_argument("--only", help="comma-separated parts to run: " + ", ".join(PARTS))
    args = parser.parse_args()
    parts = set(PARTS if not args.only else args.only.split(","))
    if not parts <= set(PARTS):
        parser.error("unknown parts: %s" % ", ".join(sorted(parts - set(PARTS))))
    cli = os.path.join(os.path.abspath(args.build), "src", "cli", "velumbra-cli")
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    log("Preparing the largest census (%d structures) in %s" % (STRUCTURES, work))
    census, communication = prepare_census(cli, work)
    table = []

    if "export" in parts:
        log("\nExport, %d runs of each side, interleaved" % args.runs)
        ours, shell = bench_export(cli, work, args.runs, census)
        log("  " + describe(ours) + "\n  " + describe(shell))
        o, s = statistics.median(ours.times), statistics.median(shell.times)
        table.append(("export of the largest census", "%.1f ms" % o, "%.1f ms" % s, "%.2f" % (o / s), "<= 1.30",
                      verdict(o / s, 1.3)))
        peak = statistics.median(ours.rss) / MiB
        table.append(("  peak memory of the export", "%.1f MiB" % peak,
                      "%.1f MiB" % (statistics.median(shell.rss) / MiB), "", "<= 24 MiB", verdict(peak, 24)))

    if "import" in parts:
        log("\nImport replacing the full census, %d runs of each side, interleaved" % args.runs)
        ours, shell = bench_import(cli, work, args.runs, census, communication)
        log("  " + describe(ours) + "\n  " + describe(shell))
        o, s = statistics.median(ours.times), statistics.median(shell.times)
        table.append(("import replacing the census", "%.1f ms" % o, "%.1f ms" % s, "%.2f" % (o / s), "<= 1.30",
                      verdict(o / s, 1.3)))
        peak = statistics.median(ours.rss) / MiB
        table.append(("  peak memory of the import", "%.1f MiB" % peak,
                      "%.1f MiB" % (statistics.median(shell.rss) / MiB), "", "<= 24 MiB", verdict(peak, 24)))

    if "creation" in parts:
        log("\nCreation of a complete database, %d runs of each side, interleaved" % args.runs)
        ours, shell = bench_creation(cli, work, args.runs)
        log("  " + describe(ours) + "\n  " + describe(shell))
        o, s = statistics.median(ours.times), statistics.median(shell.times)
        table.append(("creation of a database", "%.1f ms" % o, "%.1f ms" % s, "%.2f" % (o / s), "<= 1.30",
                      verdict(o / s, 1.3)))

    if "compare" in parts:
        log("\nCompare of the largest census with the same file, against our import of it, %d runs of each, "
            "interleaved" % args.runs)
        ours, other = bench_compare(cli, work, args.runs, census, communication)
        log("  " + describe(ours) + "\n  " + describe(other))
        o, i = statistics.median(ours.times), statistics.median(other.times)
        table.append(("compare (vs our import)", "%.1f ms" % o, "%.1f ms" % i, "%.2f" % (o / i), "<= 0.50",
                      verdict(o / i, 0.5)))
        peak = statistics.median(ours.rss) / MiB
        table.append(("  peak memory of the compare", "%.1f MiB" % peak, "", "", "<= 24 MiB", verdict(peak, 24)))

    if args.display and "desktop" in parts:
        env = desktop_environment(args.display, work)
        log("\nStructure list opened from the menu on the largest census, and the bare window, in turn, display %s, "
            "%d processes each" % (args.display, args.runs))
        samples, bare = bench_list_window(args.build, work, args.runs, census, env)
        first = samples[0]
        log("  main window %s, list window %s, grid viewport %s, %s rows visible; the bare window's main window "
            "%s, child %s" % (first["main"], first["list"], first["grid"], first["visible_rows"], bare[0]["main"],
                              bare[0]["list"]))
        painted = [float(v["painted_ms"]) for v in samples]
        flushed = [float(v["flushed_ms"]) for v in samples]
        floor = [float(v["flushed_ms"]) for v in bare]
        growth = [(int(v["hwm_list_kib"]) - int(v["hwm_main_kib"])) / MiB for v in samples]
        log("  grid painted        median %7.1f ms  (min %6.1f, max %6.1f)" % (
            statistics.median(painted), min(painted), max(painted)))
        log("  painting flushed    median %7.1f ms  (min %6.1f, max %6.1f)" % (
            statistics.median(flushed), min(flushed), max(flushed)))
        log("  bare window flushed median %7.1f ms  (min %6.1f, max %6.1f)" % (
            statistics.median(floor), min(floor), max(floor)))
        log("  peak memory (VmHWM): main window %.1f MiB, with the list painted %.1f MiB" % (
            statistics.median(int(v["hwm_main_kib"]) for v in samples) / MiB,
            statistics.median(int(v["hwm_list_kib"]) for v in samples) / MiB))
        shown, bare_shown = statistics.median(flushed), statistics.median(floor)
        table.append(("list opened and painted (%s)" % first["main"], "%.1f ms" % shown, "%.1f ms" % bare_shown,
                      "%.2f" % (shown / bare_shown), "<= 4.00", verdict(shown / bare_shown, 4)))
        extra = statistics.median(growth)
        whole = statistics.median(float(v["read_whole_ms"]) for v in samples)
        log("  list read whole     median %7.1f ms" % whole)
        table.append(("  list read whole", "%.1f ms" % whole, "%.1f ms" % bare_shown, "%.2f" % (whole / bare_shown),
                      "", ""))
        table.append(("  list memory over main window", "+%.1f MiB" % extra, "", "", "<= +24 MiB",
                      verdict(extra, 24)))

        log("\nOne wheel step in the open list and in the bare window, in turn (Google Benchmark, 2 x 5 "
            "repetitions each)")
        frame, bare_frame, width, height, find = bench_wheel_step(args.build, work, census, env)
        log("  ours median %.2f ms, bare window %.2f ms" % (frame, bare_frame))
        table.append(("  one wheel step, frame (%sx%s grid)" % (int(width or 0), int(height or 0)),
                      "%.2f ms" % frame, "%.2f ms" % bare_frame, "%.2f" % (frame / bare_frame), "<= 2.00",
                      verdict(frame / bare_frame, 2)))
        table.append(("  Trova, next structure found (%d rows)" % STRUCTURES, "%.2f ms" % find, "", "", "<= 20 ms",
                      verdict(find, 20)))

        log("\nThe largest census printed to a PDF file (print_bench), whole processes")
        printing, pages = bench_print(args.build, work, args.runs, census)
        log("  " + describe(printing))
        printed, peak = statistics.median(printing.times) / 1000.0, statistics.median(printing.rss) / MiB
        table.append(("census printed to PDF (%d structures, %d pages)" % (STRUCTURES, pages), "%.2f s" % printed,
                      "", "", "<= 3 s", verdict(printed, 3)))
        table.append(("  peak memory of the printing", "%.1f MiB" % peak, "", "", "<= 64 MiB", verdict(peak, 64)))

        log("\nStart-up to the main window shown and painted, ours and the bare main window in turn, %d processes "
            "each" % args.runs)
        times, bare = bench_start_up(args.build, work, args.runs, census, env)
        log("  ours median %.1f ms (min %.1f, max %.1f); bare main window median %.1f ms (min %.1f, max %.1f)" % (
            statistics.median(times), min(times), max(times), statistics.median(bare), min(bare), max(bare)))
        o, b = statistics.median(times), statistics.median(bare)
        table.append(("start-up to the main window", "%.1f ms" % o, "%.1f ms" % b, "%.2f" % (o / b), "<= 2.00",
                      verdict(o / b, 2)))

    if args.display and "long-work" in parts:
        env = desktop_environment(args.display, work)
        runs = min(args.runs, 3)
        log("\nRepair and duplicate of a sound census of about %d MB in the desktop, display %s, %d processes" % (
            LONG_WORK_MB, args.display, runs))
        size, samples = bench_long_work(args.build, work, runs, census, env)
        log("  census of %.1f MB" % (size / 1e6))
        for command in ("repair", "duplicate"):
            mine = [v for v in samples if v["command"] == command]
            whole = statistics.median(float(v["ms"]) for v in mine) / 1000.0
            ticks = max(int(v["longest_tick_gap_ms"]) for v in mine)
            clock = max(int(v["longest_clock_gap_ms"]) for v in mine)
            log("  %-9s median %.1f s; longest gap between 20 ms ticks %d ms, between paintings of the clock "
                "%d ms (longest of %d runs)" % (command, whole, ticks, clock, len(mine)))
            table.append(("  %s of %d MB: longest frame gap" % (command, LONG_WORK_MB), "%d ms" % max(ticks, clock),
                          "", "", "<= 1500 ms", verdict(max(ticks, clock), 1500)))

    if "repair" in parts:
        log("\nRepair of a damaged census against a duplicate of the same census undamaged, %d runs of each, "
            "interleaved" % args.runs)
        for megabytes, size, damage, repairs, duplicates in bench_repair(cli, work, args.runs, census):
            r, d = statistics.median(repairs) / 1000.0, statistics.median(duplicates) / 1000.0
            log("  %.1f MB, %s overwritten: repair median %.2f s (min %.2f, max %.2f), duplicate median %.2f s" % (
                size / 1e6, damage, r, min(repairs) / 1000.0, max(repairs) / 1000.0, d))
            table.append(("repair, %d MB, %s overwritten" % (megabytes, damage), "%.2f s" % r, "%.2f s" % d,
                          "%.1f" % (r / d), "<= 20", verdict(r / d, 20)))

    header = ("work", "ours (median)", "reference", "ratio", "goal", "met")
    widths = [max(len(str(row[i])) for row in [header] + table) for i in range(len(header))]
    log("\nResults: medians of %d runs; ratio = ours / reference (the sqlite3 shell, our import for compare, the "
        "bare Qt program for the desktop, our duplicate for repair), run in turn" % args.runs)
    for row in [header] + table:
        log("  " + "  ".join(str(v).ljust(w) if i == 0 else str(v).rjust(w)
                             for i, (v, w) in enumerate(zip(row, widths))).rstrip())


if __name__ == "__main__":
    try:
        main()
    except (Failure, subprocess.CalledProcessError) as e:
        sys.exit("bench: %s" % e)
