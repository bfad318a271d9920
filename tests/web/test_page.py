#!/usr/bin/python3
"""The page in a real browser: headless Chromium loads build/web from a static
server on 127.0.0.1, and for each example and two random studies sets the file
through the page's own file input, chooses the options with its controls,
runs the analysis, and compares what the page shows and offers for download
with the command line's output on the same file and options: JSON, CSV,
text and the forest plot (numbers to 1e-13 relative; the numbers of the
summary table to their printed digits).
A file with a faulty line must show that line. Leaves a screenshot of the
results in build/web/screenshot.png.

    tests/web/test_page.py KAPPA WEB_FOLDER [--seed N | --measure]

KAPPA is the native program (build/werror/kappa). --seed N makes the random
studies again that a run printed. With --measure it prints how long the page
takes to load and to analyse a 10 MB file instead."""
import csv
import http.server
import io
import json
import random
import subprocess
import sys
import tempfile
import threading
from functools import partial
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
from same_numbers import differing_numbers, relative_difference  # noqa: E402

PROJECT = Path(__file__).resolve().parent.parent.parent
EXAMPLES = PROJECT / "examples"
LABELS = {"categories": "none,mild,moderate,severe"}

# (file, the page's controls, the command line's options); layout "auto" is
# what the page finds, given to the command line explicitly.
CASES = [
    ("Kappa_data.txt", {}, "--input table"),
    ("Weighted_Kappa_data.txt", {"weight": ["file"]}, "--input table --weights file"),
    ("Weighted_Kappa_data_linear_quadratic.txt",
     {"coefficient": ["kappa", "fleiss", "gwet"], "weight": ["none", "quadratic", "linear"],
      "confidence": "90", "kappa0": "0.2"},
     "--input table --coefficients kappa,fleiss,gwet --weights none,quadratic,linear --confidence 90 --kappa0 0.2"),
    ("ratings.csv", {"id": "patient", **LABELS, "coefficient": ["all"], "weight": ["none", "quadratic"],
                     "diagnostics": True},
     "--input ratings --id patient --categories none,mild,moderate,severe --coefficients all "
     "--weights none,quadratic --diagnostics"),
    ("ratings_long.csv", {"layout": "long", **LABELS, "coefficient": ["fleiss", "alpha"],
                          "weight": ["none", "ordinal"]},
     "--input long --categories none,mild,moderate,severe --coefficients fleiss,alpha --weights none,ordinal"),
    ("counts.csv", {"layout": "counts", "coefficient": ["fleiss", "gwet", "bp"], "alternative": "greater"},
     "--input counts --coefficients fleiss,gwet,bp --alternative greater"),
    ("ratings_patterns.txt", {**LABELS, "coefficient": ["all"], "weight": ["none", "linear"]},
     "--input table --categories none,mild,moderate,severe --coefficients all --weights none,linear"),
    ("two_raters_matrix.txt", {"weight": ["none", "linear"], "kappa0": "0.5", "alternative": "less"},
     "--input matrix --weights none,linear --kappa0 0.5 --alternative less"),
]


def random_studies(folder, seed):
    """Two random studies: raters' ratings with missing ones at two sites, and a table."""
    rng = random.Random(seed)
    raters, categories = rng.randint(3, 6), rng.randint(2, 5)
    lines = ["id,site," + ",".join(f"r{j}" for j in range(raters))]
    for i in range(rng.randint(30, 300)):
        truth = rng.randint(1, categories)
        codes = [str(truth if rng.random() < 0.6 else rng.randint(1, categories)) for _ in range(raters)]
        if rng.random() < 0.1:
            codes[rng.randrange(raters)] = "NA"
        lines.append(f"s{i},{rng.choice('AB')}," + ",".join(codes))
    ratings = folder / "random_ratings.csv"
    ratings.write_text("\n".join(lines) + "\n")
    rows = [f"{a}\t{b}\t{rng.randint(0, 40) + (30 if a == b else 0)}" for a in (1, 2, 3) for b in (1, 2, 3)]
    table = folder / "random_table.txt"
    table.write_text("\n".join(rows) + "\n")
    return [
        (ratings, {"id": "id", "by": "site", "coefficient": ["fleiss", "gwet", "alpha"], "weight": ["none", "quadratic"],
                   "confidence": "99"},
         "--input ratings --id id --by site --coefficients fleiss,gwet,alpha --weights none,quadratic --confidence 99"),
        (table, {"weight": ["none", "quadratic", "linear"], "kappa0": "0.3"},
         "--input table --weights none,quadratic,linear --kappa0 0.3"),
    ]


class Page:
    def __init__(self, url):
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1200,2000"):
            options.add_argument(argument)
        options.binary_location = "/usr/bin/chromium"
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.get(url)
        self.wait_status("Ready.")

    def element(self, id):
        return self.driver.find_element(By.ID, id)

    def wait_status(self, start):
        WebDriverWait(self.driver, 60, poll_frequency=0.05).until(
            lambda d: d.find_element(By.ID, "run-status").text.startswith(start))

    def analyse(self, path, controls, pasted=None):
        """Sets the file (or pastes the text) and the controls as a user would, and runs."""
        self.driver.refresh()
        self.wait_status("Ready.")
        if pasted is None:
            self.element("file").send_keys(str(path))
        else:
            self.element("paste").send_keys(pasted)
        for id in ("layout", "delimiter", "header", "alternative"):
            Select(self.element(id)).select_by_value(controls.get(id, "auto" if id == "layout" else
                                                                 "two-sided" if id == "alternative" else ""))
        for id in ("columns", "id", "by", "categories", "missing", "confidence", "kappa0"):
            field = self.element(id)
            field.clear()
            field.send_keys(controls.get(id, {"confidence": "95", "kappa0": "0"}.get(id, "")))
        for name, default in (("coefficient", ["kappa"]), ("weight", ["none"])):
            for box in self.driver.find_elements(By.NAME, name):
                if box.is_selected() != (box.get_attribute("value") in controls.get(name, default)):
                    box.click()
        if self.element("diagnostics").is_selected() != controls.get("diagnostics", False):
            self.element("diagnostics").click()
        self.element("run").click()
        WebDriverWait(self.driver, 60, poll_frequency=0.05).until(
            lambda d: not d.find_element(By.ID, "run-status").text.startswith("Analysing"))
        status = self.element("run-status").text
        assert status.startswith("Analysed"), status

    def download(self, id):
        """The bytes the download link gives."""
        return self.driver.execute_async_script(
            "fetch(document.getElementById(arguments[0]).href).then(r => r.text()).then(arguments[1])", id).encode()

    def table(self):
        rows = self.driver.find_elements(By.CSS_SELECTOR, "#summary tbody tr")
        return [[c.text for c in row.find_elements(By.TAG_NAME, "td")] for row in rows]


def kappa(program, path, options, output, *more):
    done = subprocess.run([program, *options.split(), "--format", output, *more, path.name], cwd=path.parent,
                          capture_output=True)
    return done.stdout


def same_text(name, what, expected, actual):
    """The text report: every byte the same but for the numbers' last digits."""
    found = differing_numbers(expected, actual)
    assert found is not None, f"{name}: the page's {what} differs from the command line's in more than numbers"
    for line, x, y in found:
        assert relative_difference(x, y) <= 1e-13, f"{name}: {what} line {line}: {x} and {y}"


def leaves(value, path=""):
    """(path, value) of every number and text in a JSON value."""
    if isinstance(value, dict):
        return [leaf for key, v in value.items() for leaf in leaves(v, f"{path}.{key}")]
    if isinstance(value, list):
        return [leaf for i, v in enumerate(value) for leaf in leaves(v, f"{path}[{i}]")]
    return [(path, value)]


def csv_leaves(text):
    """(column, value) of every cell, numbers as numbers, the JSON of a restricted interval's pieces as JSON."""
    found = []
    for row in csv.DictReader(io.StringIO(text)):
        for column, cell in row.items():
            try:
                found += leaves(json.loads(cell), column) if cell.startswith("[") else [(column, float(cell))]
            except ValueError:
                found.append((column, cell))
    return found


def same(name, what, expected, actual):
    """The page's JSON or CSV against the command line's: the same texts, and
    numbers equal to 1e-13 relative; an interval's limit near 0 also to 1e-15
    absolute (estimate - t * SE near 0 makes a large relative difference of a
    last-place difference of t, computed by Boost.Math in long double: 80 bits
    natively, 128 in WebAssembly). The numbers that differ: (relative
    difference, path, the command line's, the page's)."""
    assert [p for p, _ in expected] == [p for p, _ in actual], f"{name}: the page's {what} has other fields"
    differing = []
    for (path, x), (_, y) in zip(expected, actual):
        if isinstance(x, (int, float)) and isinstance(y, (int, float)) and x != y:
            relative = relative_difference(x, y)
            assert relative <= 1e-13 or ("ci" in path and abs(x - y) <= 1e-15), f"{name}: {what} {path}: {x} and {y}"
            differing.append((relative, path, x, y))
        else:
            assert x == y, f"{name}: {what} {path}: {x!r} and {y!r}"
    return differing


def shown_agrees(shown, value, digits):
    """A number as the table shows it: `value` rounded to `digits` places."""
    if value is None:
        return shown == "n/a"
    if shown == "< 0.0001":
        return value < 0.0001
    return abs(float(shown) - value) <= 0.5 * 10 ** -digits * (1 + 1e-9)


def check_table(name, rows, json_lines):
    estimates = [e for line in json_lines.splitlines() for e in json.loads(line)["estimates"]]
    assert len(rows) == len(estimates), f"{name}: {len(rows)} rows in the table, {len(estimates)} estimates"
    for row, e in zip(rows, estimates):
        coefficient, weights, estimate, se, ci, p, subjects = row[-7:]
        assert (coefficient, weights, int(subjects)) == (e["name"], e["weights"], e["subjects"]), f"{name}: {row}"
        lower, upper = ci.strip("[]").split(", ") if ci != "n/a" else ("n/a", "n/a")
        limits = e["wald"]["ci"] or [None, None]
        for shown, value, digits in ((estimate, e["kappa"], 4), (se, e["se"], 5), (lower, limits[0], 4),
                                     (upper, limits[1], 4), (p, e["wald"]["p_value"], 4)):
            assert shown_agrees(shown, value, digits), f"{name}: shown {shown} for {value} in {row}"


def check_errors(page, folder):
    """The reader's message with its line beside that line of the data, and a usage error."""
    faulty = folder / "faulty.txt"
    faulty.write_text("1\t1\t40\n1\t2\t10\n2\tx\t5\n2\t2\t45\n")
    for path, pasted, controls, message, line in (
            (faulty, None, {}, "Line 3", "3 | 2\tx\t5"),
            (None, "a,b\n1,1\n2,2\n7,1\n3,3\n", {"layout": "ratings", "categories": "3"},
             "Line 4, column 1: '7' is not one of the categories", "4 | 7,1"),
            (faulty, None, {"confidence": "120"}, "--confidence must be a number above 50 and below 100", "")):
        page.analyse(path, controls, pasted)
        assert page.element("error").is_displayed() and not page.element("results").is_displayed(), message
        shown = page.element("error-message").text, page.driver.execute_script(
            "return document.getElementById('error-line').textContent")
        assert shown[0].startswith(message) and shown[1] == line, shown


def serve(folder):
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = partial(Quiet, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/index.html"


def measure(page, folder):
    page.driver.refresh()
    page.wait_status("Ready.")
    print(f"page load, from the navigation to the program ready: "
          f"{float(page.element('run-status').get_attribute('data-loaded')) / 1000:.3f} s")
    rng = random.Random(1)
    big = folder / "big.csv"
    with big.open("w") as f:
        f.write("id,a,b,c,d\n")
        i = 0
        while f.tell() < 10_000_000:
            f.write(f"s{i}," + ",".join(str(rng.randint(1, 5)) for _ in range(4)) + "\n")
            i += 1
    # The time the page reports: the file put into the program's memory, read,
    # analysed and written in every output (the first run also grows memory).
    for coefficients in (["kappa"], ["kappa"], ["all"]):
        page.analyse(big, {"id": "id", "coefficient": coefficients})
        assert page.element("results").is_displayed(), page.element("error-message").text
        print(f"10 MB ratings file ({i} subjects, 4 raters), --coefficients {coefficients[0]}: "
              f"{float(page.element('run-status').get_attribute('data-seconds')):.3f} s")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    program, web = str(Path(sys.argv[1]).resolve()), Path(sys.argv[2]).resolve()
    server, url = serve(web)
    page = Page(url)
    try:
        with tempfile.TemporaryDirectory() as temporary:
            folder = Path(temporary)
            if "--measure" in sys.argv:
                return measure(page, folder)
            seed = int(sys.argv[sys.argv.index("--seed") + 1]) if "--seed" in sys.argv else random.randrange(1 << 30)
            cases = [(EXAMPLES / f, c, o) for f, c, o in CASES] + random_studies(folder, seed)
            for path, controls, options in cases:
                name = f"{path.name} ({options})" + (f", seed {seed}" if path.parent == folder else "")
                page.analyse(path, controls)
                json_lines = kappa(program, path, options, "json", "--plot", str(folder / "forest.svg"))
                assert json_lines, f"{name}: the command line printed nothing"
                differing = same(name, "JSON", leaves([json.loads(line) for line in json_lines.splitlines()]),
                                 leaves([json.loads(line) for line in page.download("download-json").splitlines()]))
                same(name, "CSV", csv_leaves(kappa(program, path, options, "csv").decode()),
                     csv_leaves(page.download("download-csv").decode()))
                same_text(name, "text report", kappa(program, path, options, "text"), page.download("download-text"))
                same_text(name, "forest plot", (folder / "forest.svg").read_bytes(), page.download("download-svg"))
                check_table(name, page.table(), json_lines.decode())
                if path.name == "ratings.csv":
                    found = page.element("found").text
                    assert "3 raters (rater1, rater2, rater3)" in found and "delimiter comma" in found, found
                    # the window as tall as the page, so that nothing of the results is cut off
                    height = page.driver.execute_script("return document.documentElement.scrollHeight")
                    page.driver.set_window_size(1200, height + 200)
                    page.element("results").screenshot(str(web / "screenshot.png"))
                    page.driver.set_window_size(1200, 2000)
                print(f"ok: {name}" + (f"; {len(differing)} numbers of the JSON differ in their last places, most "
                                       "{0:.1e} relative ({1}: {2!r} and {3!r})".format(*max(differing)) if differing else ""))
            check_errors(page, folder)
            print("ok: errors are shown, beside their line")
    finally:
        page.driver.quit()
        server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
