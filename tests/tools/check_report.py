"""The run report on a small solved case.

Usage: /usr/bin/python3 check_report.py KALMORA_EXE EXAMPLES_DIR REPORT_TOOL

In a scratch copy of the example at mesh level 1 with two ram speeds and two
coupled iterations: the report of the prepared folder (kalmora
--prepare-only) draws the sections and exit maps it has fields for and no
convergence or over-variant picture; after the solve it draws every picture.
Each picture must be a readable PNG that is not blank (pixel variance), and
index.html must refer to every picture and hold the summary table and the
Results blocks; opened in headless Chromium (Debian package chromium, when
installed; required when KALMORA_REQUIRE_BROWSER is set) every picture of
the page loads.  A folder without result files is refused with one line.

Exits 77 (skipped) when this interpreter lacks matplotlib, NumPy or VTK
(Debian packages python3-matplotlib python3-numpy python3-vtk9).
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import matplotlib.image
    import numpy
    import vtk  # noqa: F401  (the report needs it)
except ImportError as e:
    print("SKIPPED: %s: %s (install python3-matplotlib python3-numpy python3-vtk9)" % (sys.executable, e))
    sys.exit(77)

kalmora, examples, report = sys.argv[1:4]
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def run_report(folder):
    return subprocess.run([report, folder], capture_output=True, text=True)


def check_report(folder, want):
    r = run_report(folder)
    check(r.returncode == 0, "%s: report failed: %s" % (folder, r.stderr))
    out = os.path.join(folder, "report")
    pngs = sorted(f for f in os.listdir(out) if f.endswith(".png"))
    check(pngs == sorted(want), "%s: pictures %s, expected %s" % (folder, pngs, sorted(want)))
    with open(os.path.join(out, "index.html")) as f:
        page = f.read()
    check(sorted(re.findall(r'<img src="([^"]+)"', page)) == sorted(want), "%s: index.html refers to %s"
          % (folder, re.findall(r'<img src="([^"]+)"', page)))
    for name in pngs:
        pixels = matplotlib.image.imread(os.path.join(out, name))
        check(pixels.ndim == 3 and pixels.shape[0] > 200 and pixels.shape[1] > 200, "%s: size %s" % (name, pixels.shape))
        check(float(numpy.var(pixels[:, :, :3])) > 1e-3, "%s: blank picture" % name)
    return page


work = tempfile.mkdtemp(prefix="kalmora_report_")
run = os.path.join(work, "run")
shutil.copytree(os.path.join(examples, "round-bar"), run)
with open(os.path.join(run, "indata.txt")) as f:
    text = f.read()
for old, new in (("1                  number of ram speeds\n", "2  ram speeds\n8.0\n"),
                 ("2                  MeshLevel3d", "1  MeshLevel3d"), ("2                  MeshLevel:", "1  MeshLevel:"),
                 ("25                 MaxIter", "2  MaxIter")):
    check(old in text, "indata.txt: no line " + old)
    text = text.replace(old, new)
with open(os.path.join(run, "indata.txt"), "w") as f:
    f.write(text)

per_variant = ["variant_%d_%s.png" % (n, kind) for n in (1, 2) for kind in ("section", "exit")]
subprocess.run([kalmora, "--prepare-only"], cwd=run, check=True, stdout=subprocess.DEVNULL)
page = check_report(run, per_variant)
check("No summary" in page, "prepared folder: the page does not say that there is no summary")

subprocess.run([kalmora], cwd=run, check=True, stdout=subprocess.DEVNULL)
shutil.rmtree(os.path.join(run, "report"))
page = check_report(run, per_variant + ["variant_1_convergence.png", "variant_2_convergence.png", "variants.png"])
for text in ("<th>exit_speed_mean_mm_s</th>", "piece 1: exit speed, mm/s: mean", " Results"):
    check(text in page, "index.html lacks " + text)

# The page in a real browser: a copy beside index.html (same relative
# picture paths) lists each image once the page has loaded.
browser = shutil.which("chromium")
if browser:
    probe = os.path.join(run, "report", "browser_probe.html")
    with open(probe, "w") as f:
        f.write(page.replace("</body>", "<script>window.addEventListener('load', function () {"
                             "var p = document.createElement('pre'); p.id = 'probe';"
                             "for (const i of document.images) p.textContent += i.getAttribute('src') + ' '"
                             " + (i.complete && i.naturalWidth > 0 ? 'loaded' : 'broken') + '\\n';"
                             "document.body.appendChild(p); });</script></body>"))
    r = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--virtual-time-budget=10000",
                        "--dump-dom", "file://" + probe], capture_output=True, text=True, timeout=120,
                       env=dict(os.environ, HOME=work))
    seen = re.search(r'<pre id="probe">([^<]*)</pre>', r.stdout)
    got = dict(line.split() for line in seen.group(1).splitlines()) if seen else {}
    want = {name: "loaded" for name in re.findall(r'<img src="([^"]+)"', page)}
    check(got == want, "chromium: images %s (status %d, %s)" % (got, r.returncode, r.stderr[-300:]))
    print("browser check: %d of %d pictures loaded in %s" % (list(got.values()).count("loaded"), len(want), browser))
else:
    check(not os.environ.get("KALMORA_REQUIRE_BROWSER"), "chromium not found (Debian package chromium)")
    print("browser check skipped: chromium not found")

empty = os.path.join(work, "empty")
os.mkdir(empty)
r = run_report(empty)
check(r.returncode == 1 and r.stderr.count("\n") == 1 and "no result files" in r.stderr,
      "empty folder: status %d, %r" % (r.returncode, r.stderr))

for message in failures:
    print("FAIL:", message)
if not failures:
    shutil.rmtree(work)
    print("report checks passed")
sys.exit(1 if failures else 0)
