"""The training run of a profile-guided build (cmake/profile_guided.cmake).

    python tools/profile_training.py MODULE_DIR COUNTS_DIR

Imports the instrumented pipwerk module from MODULE_DIR and rolls a corpus
of everyday expressions through it, as dice bots and tabletops send them:
single terms, modifiers, arithmetic, sets and repeats, most with their
detail. Tails, failures and long inputs are rolled less often, so that
their paths are trained too but do not weigh as much as the everyday ones.

The rolls run in a child interpreter, which writes the counts as it exits;
then the counts of the engine and of the module must be in COUNTS_DIR, or
the build would go on without a profile and say nothing.
"""

import pathlib
import subprocess
import sys

EVERYDAY = [
    # Single terms and modifiers.
    "d20", "1d20", "2d6", "3d6", "1d100", "8d8", "20d10", "d4", "2d12", "50d1000",
    "4d6kh3", "4d6k3", "5d6k2", "2d20k1", "2d20kl1", "3d20kl2", "6d10kl3", "10d6k5",
    "3d6b6", "5d10b9", "4d6b5k3", "6d6b6kl4", "2d10b10",
    "5d10>=7", "8d6>4", "6d10<3", "4d8<=2", "3d6!=1", "10d6b6>=5", "7d10k5>=8",
    # Arithmetic around terms.
    "1d20+7", "1d20 - 2", "d20+d4+3", "2d6 + 1d4 + 2", "3d8 * 2", "(1d6 + 2) * 3", "1d12 / 2",
    "2d6+2d6+2d6", "-1d4 + 10", "-(2d6) * 2", "1d8 + 50%", "2.5 * 1d6", "1d100 - 25%", "(d6 + d6) / 3 + 0.5",
    "4d6k3 + 4d6k3 + 4d6k3", "1d20 + 1d4 - 1 + 2 * 3", "((1d6))", "1d6 * -2", "10 - 1d10 / 4",
    # Sets and repeats.
    "6#4d6k3", "2#1d20", "4#d8+2", "3#(2d6 + 1)", "10#1d6", "5#3d6b6", "2#4d6kl3", "3#1d20>=11",
    "{1d6, 2d6, 3d6}", "{d4, d6, d8, d10, d12, d20}", "{1, 2} * 1d6", "{d20, d20} + 5",
    "{10, 20, 30} - 3#1d6", "2#1d6 + {1, 2}", "{1d4, 2} * {3, 1d6}", "-{1d8, 2d8} + 4",
    "({1, 2, 3}) * 2", "{{1, 2}, 3}", "{1d6 + 1, 2d6 - 1, 3d6 * 2}", "3#1d6 * 2 + 1", "{5%, 0.5, 2}",
    "{1, 2, 3, 4, 5, 6, 7, 8} + 1", "2 * {d6, d6} - {1, 1}", "4#2d10k1 / 2",
    "(1d8 + 4) * 2 - 1d6 + {2, 4} * 2#1d10 + 6d6b6k4>=3 - 5%",
]

RARE = [
    # Tails, invalid text and failures.
    "1d20 to hit", "2d6 + ", "d20 (advantage", "4d6k3,", "3d6 } 2", "hello", "", "  ", "1d0", "0d6",
    "51d6", "2d1001", "11#1d6", "1d6 / 0", "{1, 2} d6", "{}", "1d20 +\n 5", "1e5d6", ")",
    # A long line.
    "1d6" + "".join(" + 2d8" if i % 3 == 0 else " - 3" if i % 3 == 1 else " * 1" for i in range(200)),
]


def roll(pipwerk, expression, seed, show_detail):
    try:
        pipwerk.roll(expression, seed=seed, show_detail=show_detail)
    except ValueError:
        pass


def train(module_dir):
    sys.path.insert(0, str(module_dir))
    import pipwerk

    if pathlib.Path(pipwerk.__file__).resolve().parent != module_dir:
        sys.exit(f"imported {pipwerk.__file__}, not the instrumented module in {module_dir}")
    # Most rolls show their detail; one in four does not. Every roll is seeded,
    # so the counts, and the binaries compiled with them, are the same on
    # every build (training the clock's path too measured no faster).
    for seed in range(1000):
        for expression in EVERYDAY:
            roll(pipwerk, expression, seed, seed % 4 != 0)
        if seed % 10 != 0:
            continue
        for expression in RARE:
            roll(pipwerk, expression, seed, seed % 20 != 0)
        for expression in EVERYDAY:
            pipwerk.parse(expression)


# A file each of the engine and of the module that every roll runs.
EXPECTED_COUNTS = [("core", "parser.cpp.gcda"), ("pipwerk", "functions.cpp.gcda")]


def main():
    module_dir = pathlib.Path(sys.argv[1]).resolve()
    if len(sys.argv) == 2:
        train(module_dir)
        return
    subprocess.run([sys.executable, __file__, str(module_dir)], check=True)
    counts = pathlib.Path(sys.argv[2])
    for directory, name in EXPECTED_COUNTS:
        if not any(path.parent.name == directory for path in counts.rglob(name)):
            sys.exit(f"the training run wrote no {directory}/{name} under {counts}")


if __name__ == "__main__":
    main()
