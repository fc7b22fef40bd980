#!/usr/bin/env python3
"""Where Vorlix stands against its speed targets, measured in one run.

Times the counted loop and fib(25) as built games and as Lua 5.4 scripts, the empty game's
start-up (headless, and in a real window under Xvfb when Xvfb is installed), the processor share of
a game that waits a second, the keyed 32x32 pastes per 25 ms frame and the compiler's lines per
second (both from the benchmark binary), and prints each figure, its ratio to its reference and the
target. Games run headless on SDL's dummy drivers unless said otherwise. Every program is run once
to warm the caches, then
`--runs` times; the median counts. Only Python's standard library is used.
"""
import argparse
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent

# What each program must print, so that a figure is only reported for work really done.
GAME_OUTPUT = {"empty": "empty: 0", "loop": "loop: -2004260032 2", "fib": "fib: 75025", "idle": "idle: 0"}
IDLE_SECONDS = 1.0  # the wait of idle.vxa
LUA_OUTPUT = {"empty": "", "loop": "50000005000000\t2.0", "fib": "75025"}


class Timing:
    def __init__(self, samples, processor=()):
        self.samples = sorted(samples)
        self.median = statistics.median(self.samples)
        self.processor = statistics.median(processor) if processor else 0.0  # user and system time

    def spread(self, scale=1000.0, unit="ms"):
        return f"{self.samples[0] * scale:.1f} .. {self.samples[-1] * scale:.1f} {unit}"


def fail(message):
    print(f"compare: {message}", file=sys.stderr)
    sys.exit(1)


def children_processor_time():
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


def run_once(command, expected, env, cwd, processor=None):
    start, start_processor = time.perf_counter(), children_processor_time()
    done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if processor is not None:
        processor.append(children_processor_time() - start_processor)
    if done.returncode != 0:
        fail(f"{' '.join(map(str, command))} exited with {done.returncode}:\n{done.stderr}")
    if expected not in done.stdout + done.stderr:
        fail(f"{' '.join(map(str, command))} did not print {expected!r}:\n{done.stdout}{done.stderr}")
    return elapsed


def timed(command, expected, runs, env, cwd):
    run_once(command, expected, env, cwd)
    processor = []
    return Timing([run_once(command, expected, env, cwd, processor) for _ in range(runs)], processor)


class XvfbScreen:
    """An Xvfb server of its own (no window manager) on the first free display, for the games that
    open a real window; its display name is `display`."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                        "-nolisten", "tcp"], pass_fds=(write_end,),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as answer:
            number = answer.readline().strip()
        if not number:
            self.server.kill()
            self.server.wait()
            fail("Xvfb did not start")
        self.display = f":{number}"

    def close(self):
        self.server.terminate()
        self.server.wait()


def benchmark_medians(bench, runs):
    """The median counters of the keyed paste and compile benchmarks."""
    done = subprocess.run(
        [bench, "--benchmark_filter=^(BM_KeyedPastes|BM_CompileGeneratedProgram)$",
         f"--benchmark_repetitions={runs}", "--benchmark_report_aggregates_only=true",
         "--benchmark_format=json"],
        capture_output=True, text=True)
    if done.returncode != 0:
        fail(f"{bench} failed:\n{done.stderr}")
    medians = {}
    for entry in json.loads(done.stdout)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry
    try:
        return medians["BM_KeyedPastes"]["per_25ms_frame"], medians["BM_CompileGeneratedProgram"]["lines_per_second"]
    except KeyError as missing:
        fail(f"the benchmark binary reported no {missing}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vorlix", required=True, help="the vorlix executable of an optimised build")
    parser.add_argument("--bench", required=True, help="the vx_bench executable of the same build")
    parser.add_argument("--lua", default="lua5.4", help="the Lua 5.4 interpreter (left out when absent)")
    parser.add_argument("--runs", type=int, default=7, help="timed runs of each program")
    args = parser.parse_args()
    args.vorlix, args.bench = (str(Path(path).resolve()) for path in (args.vorlix, args.bench))

    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    lua = shutil.which(args.lua)
    work = Path(tempfile.mkdtemp(prefix="vx-compare-"))
    try:
        games = {}
        for name in GAME_OUTPUT:
            shutil.copy(HERE / f"{name}.vxa", work)
            built = subprocess.run([args.vorlix, "build", f"{name}.vxa", "-o", name], cwd=work,
                                   capture_output=True, text=True)
            if built.returncode != 0:
                fail(f"vorlix build {name}.vxa failed:\n{built.stderr}")
            games[name] = timed([work / name], GAME_OUTPUT[name], args.runs, env, work)
        windowed = None
        if shutil.which("Xvfb"):
            # An empty game whose window shows its first frame and closes: no message box to wait on.
            (work / "window.vxa").write_text("end\n")
            built = subprocess.run([args.vorlix, "build", "window.vxa", "-o", "window"], cwd=work,
                                   capture_output=True, text=True)
            if built.returncode != 0:
                fail(f"vorlix build window.vxa failed:\n{built.stderr}")
            screen = XvfbScreen()
            try:
                # The machine's own sound output, as a player's game has it: SDL's dummy sound
                # driver alone takes a tenth of a second to close.
                x_env = {k: v for k, v in env.items() if k not in ("SDL_VIDEODRIVER", "SDL_AUDIODRIVER")}
                x_env["DISPLAY"] = screen.display
                windowed = timed([work / "window"], "", args.runs, x_env, work)
            finally:
                screen.close()
        scripts = {}
        if lua:
            for name in LUA_OUTPUT:
                scripts[name] = timed([lua, HERE / f"{name}.lua"], LUA_OUTPUT[name], args.runs, env, work)
        pastes, lines = benchmark_medians(args.bench, args.runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    empty = games["empty"].median
    rows = []  # figure, Vorlix, reference, ratio, target, met

    # Processor time: on a machine that others share, run times of a few milliseconds vary more
    # than the work measured.
    def net(name, timings):
        return max(timings[name].processor - timings["empty"].processor, 0.0)

    for name, label, most in (("loop", "loop x = x + i, y# = y# * 0.5 + 1.0, 10,000,000 times", 1.5),
                              ("fib", "fib(25), recursive user function", 2.0)):
        ours = net(name, games)
        if lua:
            theirs = net(name, scripts)
            ratio = ours / theirs if theirs > 0 else float("inf")
            rows.append((label, f"{ours * 1000:.1f} ms", f"Lua 5.4 {theirs * 1000:.1f} ms", f"{ratio:.2f}",
                         f"at most {most:g} x Lua", ratio <= most))
        else:
            rows.append((label, f"{ours * 1000:.1f} ms", "Lua 5.4 absent", "-", f"at most {most:g} x Lua", None))
    rows.append(("empty game, start to exit", f"{empty * 1000:.1f} ms", "50 ms", f"{empty / 0.050:.2f}",
                 "under 50 ms", empty < 0.050))
    idle = max(games["idle"].processor - games["empty"].processor, 0.0) / IDLE_SECONDS
    rows.append(("processor share of a game that waits (wait 1000)", f"{idle * 100:.1f} %", "10 %",
                 f"{idle / 0.10:.2f}", "under 10 % of a core", idle < 0.10))
    if windowed:
        x = windowed.median
        rows.append(("empty game in a window under Xvfb, start to exit", f"{x * 1000:.1f} ms", "150 ms",
                     f"{x / 0.150:.2f}", "under 150 ms", x < 0.150))
    else:
        rows.append(("empty game in a window under Xvfb, start to exit", "Xvfb absent", "150 ms", "-",
                     "under 150 ms", None))
    rows.append(("keyed 32x32 pastes per 25 ms frame, 640x480x32", f"{pastes:,.0f}", "60,000",
                 f"{pastes / 60000:.2f}", "at least 60,000", pastes >= 60000))
    rows.append(("compile speed, 100,000-line program", f"{lines:,.0f} lines/s", "1,000,000 lines/s",
                 f"{lines / 1e6:.2f}", "at least 1,000,000 lines/s", lines >= 1e6))

    print(f"Vorlix speed comparison: median of {args.runs} runs each after one warm-up run; "
          "games headless on SDL's dummy drivers, but for the window under Xvfb.")
    print("ratio = Vorlix's figure / the reference.\n")
    headers = ("figure", "Vorlix", "reference", "ratio", "target", "result")
    table = [headers] + [(r[0], r[1], r[2], r[3], r[4],
                          "not compared" if r[5] is None else ("met" if r[5] else "NOT MET")) for r in rows]
    widths = [max(len(row[i]) for row in table) for i in range(len(headers))]
    for row in table:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())

    print(f"\nThe loop and fib figures are the built games' processor times (user and system) minus the empty "
          f"game's ({games['empty'].processor * 1000:.1f} ms), so start-up and shut-down are left out; the waiting "
          f"game's share is its processor time minus the empty game's, over its wait.")
    if lua:
        print(f"Lua's figures are lua5.4's processor times minus an empty script's "
              f"({scripts['empty'].processor * 1000:.1f} ms).")
    else:
        print(f"{args.lua} was not found: the Lua comparisons are left out (scripts/install-deps --compare installs it).")
    def run_time(timings, names):
        base = timings["empty"].median
        return ", ".join(f"{name} {max(timings[name].median - base, 0.0) * 1000:.1f} ms" for name in names)

    print("Run time beyond the empty program's (medians): games " + run_time(games, ("loop", "fib")) +
          ("; Lua " + run_time(scripts, ("loop", "fib")) if lua else ""))
    print("Spread of the runs (fastest .. slowest):")
    for name, timing in games.items():
        print(f"  game {name}: {timing.spread()}")
    if windowed:
        print(f"  game empty in a window under Xvfb: {windowed.spread()}")
    for name, timing in scripts.items():
        print(f"  lua {name}: {timing.spread()}")


if __name__ == "__main__":
    main()
