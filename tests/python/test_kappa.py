"""The Python package against the command line's JSON (KAPPA_BINARY, by
default the werror build's program), and against statsmodels' estimates."""
import io
import json
import math
import os
import pathlib
import subprocess

import numpy
import pandas
import pytest

import kappa

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
BINARY = os.environ.get("KAPPA_BINARY", str(ROOT / "build" / "werror" / "kappa"))


def command_line(*args, format="json"):
    run = subprocess.run([BINARY, "--format", format, *map(str, args)], capture_output=True, text=True, check=True)
    return [json.loads(line) for line in run.stdout.splitlines()] if format == "json" else run.stdout


def same_estimates(expected, actual):
    assert [e["name"] for e in actual] == [e["name"] for e in expected]
    for e, a in zip(expected, actual):
        assert a == e


EXAMPLE_RUNS = [
    ("Kappa_data.txt", ["--kappa0", "0.4"], dict(kappa0=0.4)),
    ("Weighted_Kappa_data.txt", ["--weights", "file"], dict(weights="file")),
    ("Weighted_Kappa_data_linear_quadratic.txt", ["--weights", "quadratic,linear", "--alternative", "less"],
     dict(weights=["quadratic", "linear"], alternative="less")),
    ("ratings.csv", ["--input", "ratings", "--id", "patient", "--categories", "none,mild,moderate,severe",
                     "--coefficients", "all", "--confidence", "90"],
     dict(layout="ratings", id="patient", categories="none,mild,moderate,severe", coefficients="all", confidence=90)),
    ("ratings_long.csv", ["--input", "long", "--drop-incomplete"], dict(layout="long", drop_incomplete=True)),
    ("two_raters_matrix.txt", ["--input", "matrix"], dict(layout="matrix")),
    ("counts.csv", ["--input", "counts", "--coefficients", "fleiss,gwet"], dict(layout="counts",
                                                                                coefficients="fleiss,gwet")),
]


@pytest.mark.parametrize("file,args,options", EXAMPLE_RUNS, ids=[run[0] for run in EXAMPLE_RUNS])
def test_paths_give_the_command_lines_json(file, args, options):
    path = EXAMPLES / file
    result = kappa.analyse(path, **options)
    assert result.to_dict() == command_line(*args, path)[0]
    assert str(result).startswith(" File: " + str(path))
    expected = pandas.read_csv(io.StringIO(command_line(*args, path, format="csv")), keep_default_na=False,
                               na_values=[""])
    pandas.testing.assert_frame_equal(result.to_frame(), expected)


def test_frames_give_the_estimates_of_their_files():
    ratings = pandas.read_csv(EXAMPLES / "ratings.csv")
    result = kappa.analyse(ratings, id="patient", categories=["none", "mild", "moderate", "severe"],
                           coefficients="fleiss,gwet,alpha", weights="none,quadratic")
    expected = command_line("--input", "ratings", "--id", "patient", "--categories", "none,mild,moderate,severe",
                            "--coefficients", "fleiss,gwet,alpha", "--weights", "none,quadratic",
                            EXAMPLES / "ratings.csv")[0]
    same_estimates(expected["estimates"], result.estimates)

    long = pandas.read_csv(EXAMPLES / "ratings_long.csv").iloc[:, [1, 0, 2]]  # rater, subject, category
    result = kappa.analyse(long, layout="long", columns="subject,rater,category", drop_incomplete=True)
    same_estimates(command_line("--input", "long", "--drop-incomplete", EXAMPLES / "ratings_long.csv")[0]["estimates"],
                   result.estimates)


def test_dtypes_give_one_study():
    labels = numpy.array(["low", "mid", "high"])
    rng = numpy.random.default_rng(7)
    codes = rng.integers(0, 3, size=(40, 3))
    text = pandas.DataFrame(labels[codes], columns=["a", "b", "c"]).astype(object)
    text.iloc[3, 1] = None
    text.iloc[5, 2] = numpy.nan
    ordered = text.astype(pandas.CategoricalDtype(["low", "mid", "high"], ordered=True))
    numbers = pandas.DataFrame(codes + 1, columns=["a", "b", "c"]).astype(float)
    numbers.iloc[3, 1] = numpy.nan
    numbers.iloc[5, 2] = numpy.nan
    options = dict(coefficients="fleiss,alpha", weights="none,quadratic")
    # The order of an ordered categorical dtype is the order of the categories.
    from_categorical = kappa.analyse(ordered, **options)
    assert from_categorical.category_labels == ["low", "mid", "high"]
    from_text = kappa.analyse(text, categories="low,mid,high", **options)
    from_floats = kappa.analyse(numbers, **options)  # NaN made the codes floats
    from_ints = kappa.analyse(numbers.astype("Int64"), **options)
    from_numbered_columns = kappa.analyse(numbers.set_axis([0, 1, 2], axis=1), **options)
    from_lists = kappa.analyse([[None if math.isnan(x) else int(x) for x in row] for row in numbers.values], **options)
    assert from_floats.category_labels == ["1", "2", "3"]
    for other in (from_text, from_floats, from_ints, from_numbered_columns, from_lists):
        same_estimates(from_categorical.estimates, other.estimates)
    with pytest.raises(kappa.InputError, match="quadratic weights need ordered categories"):
        kappa.analyse(text, **options)


@pytest.mark.parametrize("seed", range(4))
def test_random_studies_match_the_command_line(seed, tmp_path):
    rng = numpy.random.default_rng(seed)
    subjects, raters, categories = rng.integers(5, 60), rng.integers(2, 6), rng.integers(2, 6)
    ratings = rng.integers(1, categories + 1, size=(subjects, raters)).astype(float)
    ratings[rng.random(ratings.shape) < 0.1] = numpy.nan
    file = tmp_path / "ratings.csv"
    pandas.DataFrame(ratings, columns=[f"r{r}" for r in range(raters)]).astype("Int64").to_csv(file, index=False)
    args = ["--input", "ratings", "--coefficients", "all", "--weights", "none,linear", "--kappa0", "0.2",
            "--categories", str(categories)]
    result = kappa.analyse(ratings, coefficients="all", weights="none,linear", kappa0=0.2,
                           categories=str(categories))
    same_estimates(command_line(*args, file)[0]["estimates"], result.estimates)


def test_agrees_with_statsmodels():
    from statsmodels.stats.inter_rater import aggregate_raters, cohens_kappa, fleiss_kappa

    ratings = numpy.random.default_rng(3).integers(1, 5, size=(50, 4))
    counts = aggregate_raters(ratings)[0]
    fleiss = kappa.analyse(ratings, coefficients="fleiss").estimates[0]
    assert fleiss["kappa"] == pytest.approx(fleiss_kappa(counts), abs=1e-12)
    from_counts = kappa.analyse(counts, layout="counts").estimates[0]
    assert (from_counts["kappa"], from_counts["se"]) == pytest.approx((fleiss["kappa"], fleiss["se"]), rel=1e-12)
    table = numpy.array([[40, 10], [5, 45]])
    cohen = kappa.analyse(table, layout="matrix").estimates[0]
    patterns = kappa.analyse({(1, 1): 40, (1, 2): 10, (2, 1): 5, (2, 2): 45}).estimates[0]
    assert (patterns["kappa"], patterns["se"]) == (cohen["kappa"], cohen["se"])
    expected = cohens_kappa(table)
    assert cohen["kappa"] == pytest.approx(expected.kappa, abs=1e-12)
    assert cohen["se"] == pytest.approx(expected.std_kappa, abs=1e-12)


def test_groups_and_errors():
    frame = pandas.DataFrame({"site": ["x"] * 4 + ["y"] * 4, "a": [1, 2, 1, 2, 1, 1, 2, 2], "b": [1, 2, 2, 2, 1, 2, 2, 1]})
    results = kappa.analyse(frame, by="site", coefficients="fleiss")
    assert [r.group for r in results] == ["x", "y"]
    quoted = pandas.DataFrame({"a": ['yes, "sure"', "no", "no"], "b": ['yes, "sure"', "no", "  no "]})
    assert kappa.analyse(quoted, coefficients="fleiss").category_labels == ["no", 'yes, "sure"']

    with pytest.raises(kappa.InputError) as error:
        kappa.analyse([[1, 1], [2, 2], [1, 2], [2, None]])
    assert isinstance(error.value, ValueError) and error.value.line == 5 and error.value.column == 0
    with pytest.raises(kappa.InputError, match="unknown coefficient 'cohen'"):
        kappa.analyse([[1, 1], [2, 2], [1, 2]], coefficients="cohen")
    with pytest.raises(kappa.InputError, match="no column named 'grade'"):
        kappa.analyse(frame, layout="long", columns="site,a,grade")
    with pytest.raises(kappa.InputError) as error:
        kappa.analyse(EXAMPLES / "ratings.csv")  # a table file's layout
    assert error.value.line == 1 and error.value.file.endswith("ratings.csv")


def random_frames():
    """Frames of each kind of column the package reads as codes, and one it
    writes as CSV instead (a label that a CSV file quotes), with the options
    of the command line that reads them from that file."""
    rng = numpy.random.default_rng(11)
    codes = rng.integers(0, 4, size=(200, 4))
    holes = rng.random(codes.shape) < 0.1
    labels = numpy.array(["low", "mid", "high", "top"])
    names = list("abcd")
    ints = pandas.DataFrame(codes - 1, columns=names)
    floats = pandas.DataFrame(numpy.where(holes, numpy.nan, codes + 1.0), columns=names)
    nones = pandas.DataFrame(numpy.where(holes, None, codes + 1), columns=names, dtype=object)
    text = pandas.DataFrame(labels[codes], columns=names).where(~holes, None)
    order = pandas.CategoricalDtype(list(labels), ordered=True)
    # Whole numbers beyond those of the first thousands of rows.
    late = pandas.DataFrame(rng.integers(1, 4, size=(5000, 3)), columns=names[:3])
    late.iloc[-1] = [0, 4, 2]
    quoted = text.copy()
    quoted.iloc[7, 2] = "high, very"
    return [
        ("int", ints, [], True),
        ("late-range", late, [], True),
        ("float-nan", floats, [], True),
        ("none", nones, [], True),
        ("string", text, [], True),
        ("categorical", text.astype("category"), [], True),
        ("ordered", text.astype(order), ["--categories", ",".join(labels)], True),
        ("quoted", quoted, [], False),
    ]


@pytest.mark.parametrize("kind,frame,args,direct", random_frames(), ids=[f[0] for f in random_frames()])
def test_codes_give_the_command_lines_json(kind, frame, args, direct, tmp_path, monkeypatch):
    file = tmp_path / "ratings.csv"
    frame.to_csv(file, index=False)
    weights = "none,linear" if kind in ("int", "late-range", "float-nan", "ordered") else "none"
    expected = command_line("--input", "ratings", "--missing", "", "--coefficients", "all", "--weights", weights,
                            *args, file)[0]
    written = []
    monkeypatch.setattr(kappa, "_memory_input", lambda *a: written.append(1) or memory_input(*a))
    result = kappa.analyse(frame, coefficients="all", weights=weights).to_dict()
    assert (not written) == direct
    assert result == dict(expected, file="DataFrame")


memory_input = kappa._memory_input
