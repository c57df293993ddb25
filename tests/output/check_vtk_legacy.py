"""Reads a result file with the VTK library's legacy reader.

Usage: /usr/bin/python3 check_vtk_legacy.py <write_vtk_sample executable>

Runs the sample writer in a scratch directory, then reads both the ".vtk"
and the ".vtu" file with vtkUnstructuredGridReader (all scalars and vectors
enabled) and checks point and cell counts, the ten scalar arrays and the
velocity vectors (present, one value per point, finite), cell type 13
everywhere, and that vtkCellValidator finds every wedge valid, in
particular none with wrongly oriented faces.  A control grid with the
corner order of every wedge mirrored must be flagged by the validator, so
the orientation check is known to bite; control grids of badly warped and
of collapsed wedges must be refused, so the acceptance of slightly warped
wedges (below) is known to bite too.

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
    invalid = [(i, s) for i, s in invalid if not excused_nonconvex(grid, i, s)]
    check(not invalid, "%s: invalid cells (index, state) %s" % (path, invalid[:20]))
    return grid


# Bounds of a sound wedge whose only finding is "Nonconvex": the smallest
# ratio of the smallest to the largest |det J| over its corners and centroid,
# and the largest angle, in degrees, between the two triangles of a
# quadrilateral face.  The displaced meshes of the round bar stay above 0.97
# and below 1 degree, those of the L-angle above 0.85 and below 6 degrees;
# a warp beyond 15 degrees means a displacement varying within one element
# far more than the profile's shape does.
MIN_JACOBIAN_RATIO = 0.25
MAX_FACE_WARP_DEG = 15.0
QUAD_FACES = ((0, 1, 4, 3), (1, 2, 5, 4), (2, 0, 3, 5))


def excused_nonconvex(grid, cell, state):
    """VTK 9.1's validator calls a wedge "Nonconvex" as soon as one of its
    quadrilateral faces is not exactly planar (a twist of 1e-6 rad of the top
    triangle is enough, in either sense), and some exact right prisms too,
    depending on the rounding of its plane tests.  A quadrilateral face of a
    linear wedge is the bilinear (ruled) surface through its four corners,
    which is slightly saddle-shaped whenever the two triangles are not
    translates of each other, as after any non-uniform displacement of the
    nodes.  Such a cell is accepted when its geometry is confirmed sound:
    the Jacobian determinant keeps the sign of VTK's orientation with a
    bounded variation, and no face warps by more than a few degrees.  Every
    other finding counts."""
    return state == int(vtk.vtkCellValidator.Nonconvex) and sound_wedge(grid, cell)


def wedge_points(grid, cell):
    ids = vtk.vtkIdList()
    grid.GetCellPoints(cell, ids)
    return [grid.GetPoint(ids.GetId(k)) for k in range(6)]


def wedge_jacobians(p):
    """det J of the linear wedge map (r, s, t) -> x at the six corners and
    the centroid, with VTK's shape functions (corner k of the first triangle
    at (r, s) = (0, 0), (1, 0), (0, 1), t = 0; the second triangle at t = 1).
    VTK's orientation, the first triangle's normal pointing away from the
    second, gives det J < 0."""
    dets = []
    for r, s, t in ((0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (0, 1, 1), (1 / 3, 1 / 3, 0.5)):
        n = (1 - r - s, r, s)
        dn = ((-1, -1), (1, 0), (0, 1))
        jac = [[0.0] * 3 for _ in range(3)]
        for k in range(3):
            for level, (f, df) in enumerate(((1 - t, -1), (t, 1))):
                x = p[k + 3 * level]
                for a in range(3):
                    jac[a][0] += dn[k][0] * f * x[a]
                    jac[a][1] += dn[k][1] * f * x[a]
                    jac[a][2] += n[k] * df * x[a]
        dets.append(jac[0][0] * (jac[1][1] * jac[2][2] - jac[1][2] * jac[2][1])
                    - jac[0][1] * (jac[1][0] * jac[2][2] - jac[1][2] * jac[2][0])
                    + jac[0][2] * (jac[1][0] * jac[2][1] - jac[1][1] * jac[2][0]))
    return dets


def face_warp_deg(p, face):
    """Largest angle between the normals of the two triangles of a
    quadrilateral face, over both diagonals; 0 for a planar face."""
    def sub(u, v):
        return [u[i] - v[i] for i in range(3)]

    def cross(u, v):
        return [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]

    def angle(u, v):
        nu, nv = math.sqrt(sum(c * c for c in u)), math.sqrt(sum(c * c for c in v))
        if nu == 0.0 or nv == 0.0:
            return 180.0
        return math.degrees(math.acos(max(-1.0, min(1.0, sum(u[i] * v[i] for i in range(3)) / (nu * nv)))))

    a, b, c, d = (p[k] for k in face)
    return max(angle(cross(sub(b, a), sub(c, a)), cross(sub(c, a), sub(d, a))),
               angle(cross(sub(b, a), sub(d, a)), cross(sub(c, b), sub(d, b))))


def sound_wedge(grid, cell):
    """True when the wedge is oriented as VTK expects everywhere (det J < 0
    at its corners and centroid, varying by at most 1 / MIN_JACOBIAN_RATIO)
    and its quadrilateral faces warp by at most MAX_FACE_WARP_DEG.  A right
    prism over a non-degenerate triangle has a constant det J and planar
    faces."""
    p = wedge_points(grid, cell)
    dets = wedge_jacobians(p)
    if not all(d < 0.0 for d in dets):
        return False
    if min(-d for d in dets) < MIN_JACOBIAN_RATIO * max(-d for d in dets):
        return False
    return all(face_warp_deg(p, f) <= MAX_FACE_WARP_DEG for f in QUAD_FACES)


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


def turned_top(p, degrees):
    """The wedge's points with its second triangle turned about its centroid."""
    cx, cy = sum(q[0] for q in p[3:]) / 3.0, sum(q[1] for q in p[3:]) / 3.0
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    return list(p[:3]) + [(cx + (q[0] - cx) * c - (q[1] - cy) * s, cy + (q[0] - cx) * s + (q[1] - cy) * c, q[2])
                          for q in p[3:]]


def check_distorted_controls(grid):
    """Badly distorted wedges that the validator flags must be refused:
    the top triangle turned by 30 degrees (faces warped far beyond a
    displaced mesh's), and one top corner lowered to a tenth of the height
    with a 2 degree turn (faces barely warped, det J varying tenfold)."""
    cells = min(grid.GetNumberOfCells(), 50)

    def collapsed(p):
        q = turned_top(p, 2.0)
        q[3] = tuple(q[0][i] + 0.1 * (q[3][i] - q[0][i]) for i in range(3))
        return q

    for name, distort in (("turned by 30 degrees", lambda p: turned_top(p, 30.0)), ("collapsed", collapsed)):
        control = vtk.vtkUnstructuredGrid()
        points = vtk.vtkPoints()
        control.SetPoints(points)
        control.Allocate(cells)
        for c in range(cells):
            for q in distort(wedge_points(grid, c)):
                points.InsertNextPoint(q)
            ids = vtk.vtkIdList()
            for k in range(6):
                ids.InsertNextId(6 * c + k)
            control.InsertNextCell(WEDGE, ids)
        states = validity(control, quiet=True)
        flagged = [c for c, s in enumerate(states) if s != int(vtk.vtkCellValidator.Valid)]
        accepted = [c for c in flagged if excused_nonconvex(control, c, states[c])]
        check(len(flagged) >= cells // 2, "control %s: only %d of %d wedges flagged" % (name, len(flagged), cells))
        check(not accepted, "control %s: flagged wedges accepted: %s" % (name, accepted[:20]))


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
        check_distorted_controls(grid)
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
