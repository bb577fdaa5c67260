"""The wheel as a user installs it: pip, with no package index, into a fresh virtual environment
that sees the system's numpy; the package imported from there loads a model, and pip uninstalls
it whole.

    python3 check_wheel.py WHEEL MODEL.obj

Run by the CTest test python_wheel; exits non-zero when any step fails."""

import subprocess
import sys
import tempfile
from pathlib import Path

USE = """
import importlib.metadata, sys, zel
assert zel.__file__.startswith(sys.prefix), zel.__file__
assert importlib.metadata.version("zel") == zel.__version__
model = zel.load(sys.argv[1])
assert len(model.faces) > 0 and model.mesh().indices.shape == model.faces.shape
print("imported zel", zel.__version__, "from", zel.__file__, "and loaded", model)
"""


def run(*command):
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stdout}{done.stderr}")
    return done.stdout


def main(wheel, model):
    with tempfile.TemporaryDirectory(prefix="zel-wheel-") as scratch:
        environment = Path(scratch) / "venv"
        run(sys.executable, "-m", "venv", "--system-site-packages", str(environment))
        python = str(environment / "bin" / "python")
        # --isolated: no pip configuration of the user or the machine (extra find-links ...).
        pip = [python, "-m", "pip", "--isolated", "--disable-pip-version-check", "--no-input"]
        run(*pip, "install", "--no-index", wheel)
        # -I: neither PYTHONPATH (a build tree's package) nor the user's site-packages.
        print(run(python, "-I", "-c", USE, model), end="")
        run(*pip, "uninstall", "--yes", "zel")
        leftovers = [p.name for p in environment.glob("lib/python*/site-packages/zel*")]
        if leftovers:
            sys.exit(f"pip uninstall left {leftovers}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: check_wheel.py WHEEL MODEL.obj")
    main(sys.argv[1], sys.argv[2])
