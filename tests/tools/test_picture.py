"""The picture of a run: drawn at the end of a complete run, off with TREVO_PICTURE=0, a failing tool one warning;
its four panels, with the run summary and without it."""
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import matplotlib.image
import pytest

ROOT = Path(__file__).resolve().parents[2]
BINARY = Path(os.environ.get("TREVO_BINARY", ROOT / "build" / "trevo"))
JOB = Path(os.environ.get("TREVO_SHARED_DIR", ROOT.parent / "shared")) / "validation" / "generated" / "cone_tris.dat"
sys.path.insert(0, str(ROOT / "src" / "tools"))
import trevo_picture  # noqa: E402


def run(folder, binary, picture=None):
    """A run of the job in folder; (exit status, console, base)."""
    base = str(folder / "cone_tris")
    shutil.copy(JOB, base + ".dat")
    env = {k: v for k, v in os.environ.items() if k != "TREVO_PICTURE"} | ({"TREVO_PICTURE": picture} if picture else {})
    done = subprocess.run([str(binary), base], env=env, capture_output=True, text=True, timeout=600)
    return done.returncode, done.stdout + done.stderr, base


def panel_titles(base):
    panels = [ax for ax in trevo_picture.draw(base).axes if ax.get_label() in trevo_picture.PANEL_LABELS]
    assert [ax.get_label() for ax in panels] == list(trevo_picture.PANEL_LABELS)
    return {ax.get_label(): ax.get_title() for ax in panels}


@pytest.mark.parametrize("case", ["drawn", "switched off", "tool fails"])
def test_the_run_ends_with_its_picture(tmp_path, case):
    binary = BINARY
    if case == "tool fails":  # a copy of the binary beside a tool that fails
        binary = tmp_path / "trevo"
        shutil.copy(BINARY, binary)
        (tmp_path / "trevo-picture").write_text("#!/bin/sh\necho 'some progress'\necho 'first complaint' >&2\n"
                                                "echo 'cannot draw here' >&2\nexit 3\n")
        (tmp_path / "trevo-picture").chmod(0o755)
    status, console, base = run(tmp_path, binary, "0" if case == "switched off" else None)
    assert status == 0 and json.loads(Path(base + ".summary.json").read_text())["status"] == "complete", console
    warnings = [line for line in console.splitlines() if "warning: no picture" in line]
    expected = [f" warning: no picture {base}.png (cannot draw here)"] if case == "tool fails" else []
    assert (warnings, Path(base + ".png").exists()) == (expected, case == "drawn"), console
    assert "some progress" not in console and "first complaint" not in console
    if case == "drawn":
        height, width, *_ = matplotlib.image.imread(base + ".png").shape
        assert height >= 800 and width >= 1000
    if case == "switched off":  # its four panels drawn afterwards, with the run summary and without it
        titles = panel_titles(base)
        iterations = len(json.loads(Path(base + ".summary.json").read_text())["history"])
        assert f"after {iterations} iterations" in titles["convergence"] and "least margin" in titles["fld"]
        os.remove(base + ".summary.json")
        assert "no run summary" in panel_titles(base)["fld"]
        assert trevo_picture.main([base, "--output", str(tmp_path / "picture.png")]) == 0  # the command line's PNG
        assert matplotlib.image.imread(tmp_path / "picture.png").ndim == 3
