#!/usr/bin/python3
"""trevo-picture: one picture of a trevo run, <base>.png.

Usage: trevo-picture <base> [--output FILE]

Reads the formed part from <base>.vtu and the run's figures from <base>.summary.json and
draws four panels:
  1. the flat blank's outline over the part's plan view, with the blank's least enclosing
     rectangle and its dimensions;
  2. the thinning (1 - h/h0) over the formed part;
  3. the forming-limit diagram: the major and minor true strain of every element with the
     forming-limit curve of the summary, and the safe, marginal and split zones;
  4. the convergence history: ADP and |MAXP| per iteration of the one-step loop.
A missing summary leaves the panels that need it with a note; the other panels are drawn.
The trevo program starts this tool at the end of every complete run (TREVO_PICTURE=0
turns that off). Exit status 0 when the picture was written, 1 otherwise.
"""
import argparse
import json
import math
import os
import sys
import xml.etree.ElementTree as ET

import numpy as np
import matplotlib
import matplotlib.ticker

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.collections import LineCollection, PolyCollection  # noqa: E402
from mpl_toolkits.mplot3d.art3d import Poly3DCollection  # noqa: E402

# A strain state within this distance (true major strain) below the forming-limit curve is
# marginal: the usual safety margin of forming-limit diagrams.
MARGINAL_BAND = 0.10
SAFE, MARGINAL, SPLIT = "#3a9d3a", "#e6b800", "#d62728"
PANEL_LABELS = ("blank", "thinning", "fld", "convergence")


# ---- reading ----------------------------------------------------------------------------

def read_vtu(path):
    """The unstructured grid of an ASCII VTK XML file: points (n, 3), cells (list of node
    index arrays), and its point and cell data arrays by name, each (count, components)."""
    root = ET.parse(path).getroot()
    piece = root.find("UnstructuredGrid/Piece")
    if piece is None:
        raise ValueError(f"{path}: no UnstructuredGrid piece")

    def values(array):
        if array.get("format", "ascii") != "ascii":
            raise ValueError(f"{path}: data array {array.get('Name')!r} is not ASCII")
        kind = float if array.get("type", "").startswith("Float") else int
        data = np.array((array.text or "").split(), dtype=kind)
        components = int(array.get("NumberOfComponents", "1"))
        return data.reshape(-1, components) if components > 1 else data

    points = values(piece.find("Points/DataArray"))
    cells_node = piece.find("Cells")
    by_name = {a.get("Name"): values(a) for a in cells_node.findall("DataArray")}
    connectivity, offsets = by_name["connectivity"], by_name["offsets"]
    starts = np.concatenate(([0], offsets[:-1]))
    cells = [connectivity[s:e] for s, e in zip(starts, offsets)]
    point_data = {a.get("Name"): values(a) for a in piece.findall("PointData/DataArray")}
    cell_data = {a.get("Name"): values(a) for a in piece.findall("CellData/DataArray")}
    return {"points": points, "cells": cells, "point_data": point_data, "cell_data": cell_data}


def read_summary(path):
    """The run summary as a dict, or None when there is none."""
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def member(data, *keys):
    """data[k1][k2]... or None where a level is missing or null."""
    for k in keys:
        if not isinstance(data, dict) or data.get(k) is None:
            return None
        data = data[k]
    return data


# ---- geometry ---------------------------------------------------------------------------

def boundary_segments(cells):
    """The edges used by one cell only, as pairs of node indices."""
    count = {}
    for c in cells:
        for a, b in zip(c, np.roll(c, -1)):
            key = (min(a, b), max(a, b))
            count[key] = count.get(key, 0) + 1
    return [k for k, n in count.items() if n == 1]


def box_at(xy, degrees):
    """The bounding box of the points turned by the angle (counter-clockwise): its size
    along the turned axes and its four corners back in the points' own frame."""
    t = math.radians(degrees)
    c, s = math.cos(t), math.sin(t)
    u = c * xy[:, 0] - s * xy[:, 1]
    v = s * xy[:, 0] + c * xy[:, 1]
    u0, u1, v0, v1 = u.min(), u.max(), v.min(), v.max()
    turned = np.array([[u0, v0], [u1, v0], [u1, v1], [u0, v1]])
    corners = np.column_stack((c * turned[:, 0] + s * turned[:, 1], -s * turned[:, 0] + c * turned[:, 1]))
    return u1 - u0, v1 - v0, corners


def least_rectangle_angle(xy):
    """The whole-degree turn 0..89 of the smallest bounding box (the smaller on a tie)."""
    areas = [box_at(xy, k)[0] * box_at(xy, k)[1] for k in range(90)]
    return int(np.argmin(areas))


# ---- panels -----------------------------------------------------------------------------

def note(ax, text):
    ax.text(0.5, 0.5, text, transform=ax.transAxes, ha="center", va="center", color="0.4", wrap=True)


def blank_panel(ax, grid, summary):
    points, cells = grid["points"], grid["cells"]
    blank = grid["point_data"]["blank"][:, :2]
    ax.add_collection(PolyCollection([points[c, :2] for c in cells], facecolors="0.88", edgecolors="0.8",
                                     linewidths=0.2, label="part (plan view)"))
    segments = boundary_segments(cells)
    ax.add_collection(LineCollection([blank[[a, b]] for a, b in segments], colors="C0", linewidths=1.4,
                                     label="blank outline"))
    angle = member(summary, "blank", "rectangle", "angle_deg")
    if angle is None:
        angle = least_rectangle_angle(blank[np.unique(np.array(segments).ravel())] if segments else blank)
    outline_nodes = np.unique(np.array(segments).ravel()) if segments else np.arange(len(blank))
    length, width, corners = box_at(blank[outline_nodes], angle)
    closed = np.vstack((corners, corners[:1]))
    ax.plot(closed[:, 0], closed[:, 1], "--", color="C3", linewidth=1.0, label="least rectangle")
    for (p, q), size in (((corners[0], corners[1]), length), ((corners[1], corners[2]), width)):
        middle, along = (p + q) / 2, q - p
        turn = math.degrees(math.atan2(along[1], along[0]))
        turn = turn - 180 if turn > 90 else turn + 180 if turn < -90 else turn
        ax.annotate(f"{size:.1f} mm", middle, ha="center", va="center", rotation=turn, fontsize=8, color="C3",
                    bbox={"boxstyle": "round,pad=0.15", "facecolor": "white", "edgecolor": "none", "alpha": 0.8})
    ax.autoscale_view()
    ax.set_aspect("equal", adjustable="datalim")
    ax.set_xlabel("x, X (mm)")
    ax.set_ylabel("y, Y (mm)")
    lines = [f"rectangle {length:.1f} x {width:.1f} mm, turned {angle:g} deg"]
    area = member(summary, "blank", "area_mm2")
    if area is not None:
        lines.insert(0, f"blank area {area:.0f} mm$^2$, weight {member(summary, 'blank', 'weight_kg') or 0:.3f} kg")
    use = member(summary, "blank", "utilisation")
    if use is not None:
        lines.append(f"utilisation {100 * use:.1f} %")
    ax.set_title("Blank outline over the part\n" + "; ".join(lines[:1]), fontsize=10)
    ax.text(0.01, 0.01, "\n".join(lines[1:]), transform=ax.transAxes, fontsize=8, va="bottom")
    ax.legend(loc="upper right", fontsize=7, framealpha=0.8)


def thinning_panel(fig, ax, grid):
    points, cells = grid["points"], grid["cells"]
    thinning = 100.0 * grid["cell_data"]["thinning"]
    limit = max(abs(thinning.min()), abs(thinning.max()), 1e-9)
    norm = matplotlib.colors.Normalize(-limit, limit)
    colours = matplotlib.colormaps["RdYlBu_r"](norm(thinning))
    ax.add_collection3d(Poly3DCollection([points[c] for c in cells], facecolors=colours, edgecolors="none"))
    low, high = points.min(axis=0), points.max(axis=0)
    ax.set_xlim(low[0], high[0]), ax.set_ylim(low[1], high[1]), ax.set_zlim(low[2], high[2])
    # A nearly flat part keeps a readable height: at least a sixth of its largest extent.
    ax.set_box_aspect(np.maximum(high - low, max(high - low) / 6))
    ax.zaxis.set_major_locator(matplotlib.ticker.MaxNLocator(4))
    ax.view_init(elev=35, azim=-60)
    ax.set_xlabel("x"), ax.set_ylabel("y"), ax.set_zlabel("z")
    ax.tick_params(labelsize=7)
    mappable = matplotlib.cm.ScalarMappable(norm=norm, cmap="RdYlBu_r")
    fig.colorbar(mappable, ax=ax, shrink=0.7, pad=0.08, label="thinning 1 - h/h0 (%)")
    ax.set_title(f"Thinning: largest {thinning.max():.1f} %, thickening {max(0.0, -thinning.min()):.1f} %",
                 fontsize=10)


def fld_panel(ax, grid, summary):
    major = grid["cell_data"]["major_strain"]
    minor = grid["cell_data"]["minor_strain"]
    curve = member(summary, "part", "fld", "curve")
    x_low, x_high = min(-0.4, minor.min() * 1.1), max(0.4, minor.max() * 1.1)
    y_high = max(0.8, major.max() * 1.1)
    if curve:
        curve = np.array(curve, dtype=float)
        xs = np.linspace(x_low, x_high, 200)
        limit = np.interp(xs, curve[:, 0], curve[:, 1])
        ax.fill_between(xs, limit, y_high, color=SPLIT, alpha=0.12, linewidth=0)
        ax.fill_between(xs, limit - MARGINAL_BAND, limit, color=MARGINAL, alpha=0.18, linewidth=0)
        ax.fill_between(xs, min(-0.1, major.min()), limit - MARGINAL_BAND, color=SAFE, alpha=0.08, linewidth=0)
        ax.plot(xs, limit, color="k", linewidth=1.5, label="forming-limit curve")
        at = np.interp(minor, curve[:, 0], curve[:, 1])
        zone = np.where(major > at, 2, np.where(major > at - MARGINAL_BAND, 1, 0))
        for z, (colour, name) in enumerate(((SAFE, "safe"), (MARGINAL, "marginal"), (SPLIT, "split"))):
            chosen = zone == z
            ax.scatter(minor[chosen], major[chosen], s=3, color=colour, label=f"{name}: {chosen.sum()}")
        n = member(summary, "part", "fld", "n")
        t = member(summary, "part", "fld", "thickness_mm")
        margin = member(summary, "part", "fld", "min_margin")
        title = f"Forming-limit diagram (n = {n}, t = {t} mm)"
        if margin is not None:
            title += f"\nleast margin {margin:.3f}"
    else:
        ax.scatter(minor, major, s=3, color="C0", label="elements")
        title = "Forming-limit diagram\n(no forming-limit curve: no run summary)"
    ax.axhline(0, color="0.6", linewidth=0.5)
    ax.axvline(0, color="0.6", linewidth=0.5)
    ax.set_xlim(x_low, x_high)
    ax.set_ylim(min(-0.1, major.min()), y_high)
    ax.set_xlabel("minor true strain")
    ax.set_ylabel("major true strain")
    ax.set_title(title, fontsize=10)
    ax.legend(loc="upper right", fontsize=7, markerscale=3, framealpha=0.8)


def convergence_panel(ax, summary):
    history = member(summary, "history")
    ax.set_xlabel("iteration")
    if not history:
        note(ax, "no convergence history: no run summary" if summary is None else "no iterations")
        ax.set_title("Convergence", fontsize=10)
        return
    rows = np.array(history, dtype=float)
    tiny = np.finfo(float).tiny
    size = 3 if len(rows) <= 40 else 0  # markers only while they stay apart
    ax.semilogy(rows[:, 0], np.maximum(rows[:, 1], tiny), "o-", markersize=size, color="C0", label="ADP (mm)")
    ax.semilogy(rows[:, 0], np.maximum(np.abs(rows[:, 3]), tiny), "s-", markersize=size, color="C1",
                label="|MAXP| (N)")
    for keys, colour, name in ((("adp", "tolerance"), "C0", "ADP"), (("maxp", "tolerance"), "C1", "MAXP")):
        tolerance = member(summary, *keys)
        if tolerance:
            ax.axhline(tolerance, color=colour, linestyle=":", linewidth=1, label=f"{name} tolerance")
    ax.grid(True, which="major", alpha=0.3)
    ax.legend(fontsize=7)
    converged = member(summary, "verdict", "converged")
    verdict = {True: "converged", False: "not converged"}.get(converged, "no verdict")
    ax.set_title(f"Convergence: {verdict} after {len(rows)} iterations", fontsize=10)


# ---- the picture ------------------------------------------------------------------------

def draw(base):
    """The figure of the run <base> (a matplotlib Figure with the four panels labelled
    by PANEL_LABELS)."""
    grid = read_vtu(base + ".vtu")
    summary = read_summary(base + ".summary.json")
    fig = plt.figure(figsize=(12, 9.6), dpi=100)
    axes = [fig.add_subplot(2, 2, 1), fig.add_subplot(2, 2, 2, projection="3d"), fig.add_subplot(2, 2, 3),
            fig.add_subplot(2, 2, 4)]
    for ax, label in zip(axes, PANEL_LABELS):
        ax.set_label(label)
    blank_panel(axes[0], grid, summary)
    thinning_panel(fig, axes[1], grid)
    fld_panel(axes[2], grid, summary)
    convergence_panel(axes[3], summary)
    status = member(summary, "status") or "no summary"
    version = member(summary, "version")
    fig.suptitle(f"trevo{' ' + version if version else ''}: {os.path.basename(base)} ({status})", fontsize=12)
    fig.tight_layout(rect=(0, 0, 1, 0.97))
    return fig


def main(argv=None):
    parser = argparse.ArgumentParser(prog="trevo-picture", description=__doc__.split("\n")[0])
    parser.add_argument("base", help="the run's base path (the job file without .dat)")
    parser.add_argument("--output", help="the picture file (default <base>.png)")
    args = parser.parse_args(argv)
    output = args.output or args.base + ".png"
    try:
        fig = draw(args.base)
        fig.savefig(output)
        plt.close(fig)
    except Exception as error:  # any failure is one line: the run's results stand without the picture
        print(f"trevo-picture: {output} not written: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
