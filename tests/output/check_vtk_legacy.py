"""Reads a result file with the VTK library's legacy reader.

Usage: /usr/bin/python3 check_vtk_legacy.py <write_vtk_sample executable>

Runs the sample writer in a scratch directory, then reads both the ".vtk"
and the ".vtu" file with vtkUnstructuredGridReader (all scalars and vectors
enabled) and checks point and cell counts, the ten scalar arrays and the
velocity vectors (present, one value per point, finite), cell type 13
everywhere, and that vtkCellValidator finds every wedge valid, in
particular none with wrongly oriented faces.  A control grid with the
corner order of every wedge mirrored must be flagged by the validator, so
the orientation check is known to bite.

Exits 77 (skipped) when this interpreter cannot import vtk; the Debian
package python3-vtk9 provides it.
"""

import math
import os
import subprocess
import sys
import tempfile

SKIP = 77

try:
    import vtk
except ImportError:
    print("SKIPPED: %s cannot import vtk (install the Debian package python3-vtk9)" % sys.executable)
    sys.exit(SKIP)

SCALARS = [
    "BoundaryConditions", "Temperature", "EqStrain", "EqStress_MPa", "pressure_MPa",
    "EffViscosity_MPa", "StrainRate", "Triax", "EpsP", "Psi",
]
WEDGE = 13
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


class ErrorCatcher:
    """Collects error and warning events of a VTK object."""

    def __init__(self, obj):
        self.messages = []
        obj.AddObserver("ErrorEvent", self)
        obj.AddObserver("WarningEvent", self)

    def __call__(self, caller, event):
        self.messages.append("%s from %s" % (event, caller.GetClassName()))


def read(path):
    reader = vtk.vtkUnstructuredGridReader()
    catcher = ErrorCatcher(reader)
    reader.SetFileName(path)
    reader.ReadAllScalarsOn()
    reader.ReadAllVectorsOn()
    reader.Update()
    check(not catcher.messages, "%s: reader reported %s" % (path, catcher.messages))
    check(reader.IsFileUnstructuredGrid(), "%s: not an unstructured grid file" % path)
    return reader.GetOutput()


def validity(grid, quiet=True):
    validator = vtk.vtkCellValidator()
    validator.SetInputData(grid)
    if quiet:
        # The validator prints every invalid cell on standard output.
        sys.stdout.flush()
        saved = os.dup(1)
        with open(os.devnull, "w") as null:
            os.dup2(null.fileno(), 1)
            try:
                validator.Update()
            finally:
                os.dup2(saved, 1)
                os.close(saved)
    else:
        validator.Update()
    states = validator.GetOutput().GetCellData().GetArray("ValidityState")
    return [int(states.GetValue(i)) for i in range(states.GetNumberOfTuples())]


def check_grid(path, np_expected, ne_expected):
    grid = read(path)
    check(grid.GetNumberOfPoints() == np_expected,
          "%s: %d points, expected %d" % (path, grid.GetNumberOfPoints(), np_expected))
    check(grid.GetNumberOfCells() == ne_expected,
          "%s: %d cells, expected %d" % (path, grid.GetNumberOfCells(), ne_expected))
    types = [grid.GetCellType(i) for i in range(grid.GetNumberOfCells())]
    check(all(t == WEDGE for t in types), "%s: cell types %s, expected all %d" % (path, sorted(set(types)), WEDGE))

    pd = grid.GetPointData()
    for name in SCALARS:
        arr = pd.GetArray(name)
        check(arr is not None, "%s: scalar array %s missing" % (path, name))
        if arr is None:
            continue
        check(arr.GetNumberOfComponents() == 1, "%s: %s has %d components" % (path, name, arr.GetNumberOfComponents()))
        check(arr.GetNumberOfTuples() == np_expected, "%s: %s has %d values" % (path, name, arr.GetNumberOfTuples()))
        bad = [i for i in range(arr.GetNumberOfTuples()) if not math.isfinite(arr.GetValue(i))]
        check(not bad, "%s: %s not finite at points %s" % (path, name, bad[:10]))
    vel = pd.GetVectors()
    check(vel is not None and vel.GetName() == "velocity", "%s: velocity vectors missing" % path)
    if vel is not None:
        check(vel.GetNumberOfComponents() == 3, "%s: velocity has %d components" % (path, vel.GetNumberOfComponents()))
        check(vel.GetNumberOfTuples() == np_expected, "%s: velocity has %d tuples" % (path, vel.GetNumberOfTuples()))
        bad = [i for i in range(vel.GetNumberOfTuples()) if not all(math.isfinite(c) for c in vel.GetTuple3(i))]
        check(not bad, "%s: velocity not finite at points %s" % (path, bad[:10]))

    states = validity(grid)
    wrong = [i for i, s in enumerate(states) if s & int(vtk.vtkCellValidator.FacesAreOrientedIncorrectly)]
    check(not wrong, "%s: wrongly oriented wedges %s" % (path, wrong))
    invalid = [(i, s) for i, s in enumerate(states) if s != int(vtk.vtkCellValidator.Valid)]
    # VTK 9.1's validator calls some exact right prisms (a triangle moved
    # straight along z, as every extruded wedge is) "Nonconvex", depending on
    # the rounding of its plane tests.  A right prism over a non-degenerate
    # triangle is convex, so such a cell is accepted once its geometry is
    # confirmed here; every other finding counts.
    nonconvex = int(vtk.vtkCellValidator.Nonconvex)
    invalid = [(i, s) for i, s in invalid if s != nonconvex or not right_prism(grid, i)]
    check(not invalid, "%s: invalid cells (index, state) %s" % (path, invalid[:20]))
    return grid


def right_prism(grid, cell):
    """True when the wedge's top triangle is its bottom triangle moved along z
    and the triangle has a non-zero area."""
    ids = vtk.vtkIdList()
    grid.GetCellPoints(cell, ids)
    p = [grid.GetPoint(ids.GetId(k)) for k in range(6)]
    dz = p[3][2] - p[0][2]
    scale = max(abs(c) for q in p for c in q) + 1.0
    for k in range(3):
        a, b = p[k], p[k + 3]
        if abs(a[0] - b[0]) > 1e-12 * scale or abs(a[1] - b[1]) > 1e-12 * scale:
            return False
        if abs((b[2] - a[2]) - dz) > 1e-9 * scale or abs(dz) <= 1e-9 * scale:
            return False
    area2 = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1])
    return abs(area2) > 1e-12 * scale * scale


def check_mirrored_control(grid):
    """The validator must flag wedges whose triangles run the other way."""
    mirrored = vtk.vtkUnstructuredGrid()
    mirrored.SetPoints(grid.GetPoints())
    mirrored.Allocate(grid.GetNumberOfCells())
    ids = vtk.vtkIdList()
    for c in range(grid.GetNumberOfCells()):
        grid.GetCellPoints(c, ids)
        p = [ids.GetId(k) for k in range(6)]
        flipped = vtk.vtkIdList()
        for k in (1, 0, 2, 4, 3, 5):
            flipped.InsertNextId(p[k])
        mirrored.InsertNextCell(WEDGE, flipped)
    states = validity(mirrored, quiet=True)
    flag = int(vtk.vtkCellValidator.FacesAreOrientedIncorrectly)
    check(states and all(s & flag for s in states),
          "control: mirrored wedges not flagged by the validator (states %s)" % states)


def main():
    if len(sys.argv) != 2:
        print("usage: check_vtk_legacy.py <write_vtk_sample>")
        return 2
    with tempfile.TemporaryDirectory(prefix="kalmora_vtk_legacy_") as work:
        run = subprocess.run([os.path.abspath(sys.argv[1])], cwd=work, capture_output=True, text=True)
        if run.returncode != 0:
            print("sample writer failed (%d): %s" % (run.returncode, run.stderr.strip()))
            return 1
        np_expected, ne_expected = (int(v) for v in run.stdout.strip().splitlines()[-1].split())
        vtk_name = os.path.join(work, "kalm3d_Var_1.vtk")
        vtu_name = os.path.join(work, "kalm3d_Var_1.vtu")
        with open(vtk_name, "rb") as a, open(vtu_name, "rb") as b:
            check(a.read() == b.read(), "the .vtk twin differs from the .vtu file")
        grid = check_grid(vtk_name, np_expected, ne_expected)
        check_grid(vtu_name, np_expected, ne_expected)
        check_mirrored_control(grid)
        leftovers = sorted(f for f in os.listdir(work) if f.endswith(".tmp"))
        check(not leftovers, "temporary files left behind: %s" % leftovers)
    if failures:
        for f in failures:
            print("FAIL:", f)
        return 1
    print("legacy reader: %d points, %d wedges, %d scalar arrays and velocity read; all wedges valid"
          % (np_expected, ne_expected, len(SCALARS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
