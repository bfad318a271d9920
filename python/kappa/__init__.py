"""Agreement among raters: Hubert's (Cohen's), Fleiss', Conger's and Gwet's
kappa, Brennan-Prediger, Krippendorff's alpha and percent agreement, with
standard errors, tests and confidence intervals.

    >>> import kappa
    >>> result = kappa.analyse(frame, coefficients="fleiss,gwet")
    >>> result.estimates[0]["kappa"], result.to_frame(), print(result)

Ratings in a DataFrame, an array or a list of lists go to the library as an
array of codes and one list of labels, which it reads by the same label rules
as the command line's files; other in-memory data, and ratings the codes
cannot give exactly as a file would, become the bytes of a ratings, long or
matrix CSV file, read by the same readers. The results are the command line's
JSON, CSV and text, formatted when asked.
"""

import html
import io
import json
import math
import os
import re
from collections.abc import Mapping

from . import _kappa

__all__ = ["analyse", "Result", "InputError"]


class InputError(ValueError):
    """A study that cannot be read or analysed, with the place at fault:
    `file`, 1-based `line` and `column` (0 where none is at fault), `message`."""

    def __init__(self, file, line, column, message):
        self.file, self.line, self.column, self.message = file, line, column, message
        where = file
        if line > 0:
            where += (":" if where else "") + str(line) + (":" + str(column) if column > 0 else "")
        super().__init__(where + ": " + message if where else message)


class Result:
    """One analysis: the JSON fields as attributes (`estimates`, `subjects`,
    `raters`, `category_labels`, ...), `to_dict()`, `to_frame()` (the CSV
    columns), `str()` (the text report) and a table for notebooks."""

    def __init__(self, analysis):
        self._analysis = analysis  # formatted as JSON, text or CSV when first asked

    @property
    def _fields(self):
        fields = self.__dict__.get("_json")
        if fields is None:
            fields = self.__dict__["_json"] = json.loads(self._analysis.json())
        return fields

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        try:
            return self._fields[name]
        except KeyError:
            raise AttributeError(name) from None

    def __dir__(self):
        return sorted(set(super().__dir__()) | set(self._fields))

    def to_dict(self):
        """The JSON object of the analysis."""
        return json.loads(json.dumps(self._fields))

    def to_frame(self):
        """A pandas DataFrame with a row per estimate (and basis), the CSV columns."""
        import pandas

        return pandas.read_csv(io.StringIO(self._analysis.csv()), keep_default_na=False, na_values=[""])

    def __str__(self):
        return self._analysis.text()

    def __repr__(self):
        names = ", ".join(f"{e['name']} {_number(e['kappa'])}" for e in self._fields["estimates"])
        return f"<kappa.Result {self._fields['subjects']} subjects: {names}>"

    def _repr_html_(self):
        level = _number(self._fields["confidence"])
        head = ["Coefficient", "Weights", "Subjects", "Estimate", "SE", f"{level}% CI", "p"]
        rows = []
        for e in self._fields["estimates"]:
            ci = e["wald"]["ci"] or [None, None]
            cells = [e["name"], e["weights"], str(e["subjects"]), _number(e["kappa"]), _number(e["se"]),
                     f"[{_number(ci[0])}, {_number(ci[1])}]", _number(e["wald"]["p_value"])]
            rows.append("<tr>" + "".join(f"<td>{html.escape(c)}</td>" for c in cells) + "</tr>")
        notes = "".join(f"<li>{html.escape(n)}</li>" for n in self._fields["notes"])
        return ("<table><thead><tr>" + "".join(f"<th>{html.escape(h)}</th>" for h in head) + "</tr></thead><tbody>"
                + "".join(rows) + "</tbody></table>" + (f"<ul>{notes}</ul>" if notes else ""))


def _number(x):
    return "n/a" if x is None else f"{x:.4g}"


def _names(value):
    """A list given as a Python list or a comma-separated string."""
    if value is None:
        return None
    if isinstance(value, str):
        return [item.strip() for item in value.split(",")]
    return [str(item) for item in value]


def _label(value):
    """A value of a frame as the CSV text of its category: whole floats as integers."""
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def _csv_bytes(frame):
    """A DataFrame as the bytes of a comma-separated file with a header line,
    missing values (NaN, None, NA) as empty fields.

    Each column's distinct values are written once and looked up by their
    codes in numpy: every field is its label after blanks (which the reader
    trims), one width for all, and a comma or the line break. Labels that would need
    quotes are written by pandas instead."""
    import numpy
    import pandas

    names = [str(name) for name in frame.columns]
    columns = []
    for name in frame.columns:
        codes, uniques = pandas.factorize(frame[name], use_na_sentinel=True)
        labels = [_label(value).encode("utf-8") for value in uniques]
        if any(not label.strip() or label != label.strip() or any(c in label for c in b',"\r\n') for label in labels):
            return frame.set_axis(names, axis=1).to_csv(index=False, na_rep="", lineterminator="\n").encode("utf-8")
        columns.append((codes, labels))
    width = 1 + max((len(label) for _, labels in columns for label in labels), default=0)
    fields = numpy.empty((len(frame), max(1, len(columns))), dtype=f"V{width}")
    for column, (codes, labels) in enumerate(columns):
        table = numpy.full((len(labels) + 1, width), ord(" "), dtype=numpy.uint8)  # the last row: missing
        for row, label in enumerate(labels):
            table[row, width - 1 - len(label):width - 1] = numpy.frombuffer(label, dtype=numpy.uint8)
        table[:, width - 1] = ord(",")
        fields[:, column] = table.view(f"V{width}").ravel()[codes]  # code -1, missing, is the last row
    rows = fields.view(numpy.uint8).reshape(len(frame), -1)
    rows[:, -1] = ord("\n")
    header = pandas.DataFrame(columns=names).to_csv(index=False, lineterminator="\n")
    return header.encode("utf-8") + rows.tobytes()


def _category_order(dtypes):
    """The categories' order of categorical columns that share one ordered dtype."""
    if len({str(dtype) for dtype in dtypes}) == 1 and getattr(dtypes[0], "ordered", False):
        return [str(c) for c in dtypes[0].categories]
    return None


def _frame_input(data, layout, columns, id, by, categories):
    """The bytes and options of a DataFrame in the ratings or long layout."""
    if layout == "long":
        chosen = _names(columns) or [str(c) for c in data.columns[:3]]
        if len(chosen) != 3:
            raise ValueError("columns of a long frame: subject, rater and category")
        kept = chosen + ([by] if by else [])
        raters = [chosen[2]]
    else:
        names = [str(c) for c in data.columns]
        raters = _names(columns) or [c for c in names if c not in (id, by)]
        kept = ([id] if id else []) + raters + ([by] if by else [])
        chosen = raters
    data = data.set_axis([str(c) for c in data.columns], axis=1)
    missing = [c for c in kept if c not in data.columns]
    if missing:
        raise InputError("", 0, 0, f"no column named {missing[0]!r} (the columns: {', '.join(data.columns)})")
    frame = data[kept]
    if categories is None:
        categories = _category_order([frame[c].dtype for c in raters])
    return _csv_bytes(frame), chosen, categories


def analyse(data, *, layout=None, columns=None, id=None, by=None, categories=None, missing=None,
            coefficients=None, weights=None, confidence=95, kappa0=0, alternative="two-sided",
            drop_incomplete=False, delimiter=None, encoding=None):
    """Analyses a study; returns a Result, or a list of them, one per group, with `by`.

    data: a path (a file in any layout of the command line's --input; table by
    default); a pandas DataFrame (ratings: a column per rater; long: subject,
    rater and category columns named by `columns`); a 2-D numpy array or a
    list of lists (subjects x raters, NaN or None missing); a frame or array
    of counts with layout="counts" (a column per category, as statsmodels'
    aggregate_raters makes); or a K x K array of counts with layout="matrix"
    (rater 1 in rows); or a mapping of response patterns (a tuple of each
    rater's category) to their numbers of subjects.
    Lists may be Python lists or comma-separated strings. Raises InputError
    (a ValueError) with the line and column at fault.
    """
    options = {
        "layout": layout, "columns": _names(columns), "id": id, "by": by, "categories": _names(categories),
        "missing": _names(missing), "coefficients": _names(coefficients), "weights": _names(weights),
        "confidence": float(confidence), "kappa0": float(kappa0), "alternative": alternative,
        "drop_incomplete": bool(drop_incomplete), "delimiter": delimiter, "encoding": encoding,
    }
    if isinstance(data, (str, os.PathLike)):
        refusal, analyses = _kappa.analyse(os.fsdecode(data), True, "", options)
    else:
        refusal, analyses = None, None
        codes = _rating_codes(data, options)
        if codes is not None:
            refusal, analyses = _kappa.analyse_codes(*codes)
            if refusal is not None:
                analyses = None  # the bytes say why, in the command line's words, or read what the codes cannot
        if analyses is None:
            bytes_, name = _memory_input(data, options)
            refusal, analyses = _kappa.analyse(bytes_, False, name, options)
    if refusal is not None:
        raise InputError(*refusal)
    results = [Result(analysis) for analysis in analyses]
    return results if by else results[0]


# Labels and rater names that a CSV file holds as they are: not empty, no
# surrounding blanks, nothing that would be quoted, no control characters, no
# byte-order mark.
_PLAIN = re.compile(r"[^\s,\"\x00-\x1f\x7f\ufeff]([^,\"\x00-\x1f\x7f]*[^\s,\"\x00-\x1f\x7f])?")

# Whole numbers of a column spanning at most this many integers are coded as
# their distance from the smallest.
_LARGEST_SPAN = 1 << 16


def _frame(data, layout):
    """A 2-D array or a list of lists of ratings as a DataFrame, a column per rater."""
    import numpy
    import pandas

    if isinstance(data, pandas.DataFrame):
        return data, "DataFrame"
    array = numpy.asarray(data, dtype=object) if isinstance(data, (list, tuple)) else numpy.asarray(data)
    if array.ndim != 2:
        raise InputError("", 0, 0, f"a study needs a 2-D array (subjects x raters), not {array.ndim}-D")
    # Counts: a column per category 1..K; ratings: a column per rater.
    columns = [str(c + 1) if layout == "counts" else f"rater{c + 1}" for c in range(array.shape[1])]
    return pandas.DataFrame(array, columns=columns).infer_objects(), "array"


def _numeric(dtype):
    """Whether a column holds numpy's integers or floats (not pandas' nullable ones)."""
    import numpy

    return isinstance(dtype, numpy.dtype) and dtype.kind in "iuf"


def _whole_number_codes(values):
    """Numbers (an array of numpy's integers or floats, NaN missing) as codes,
    their distances from the smallest (-1 missing), and the labels of the
    whole numbers from the smallest to the largest; None unless every number
    is whole and they span at most _LARGEST_SPAN integers."""
    import numpy

    if values.dtype == numpy.uint64 or values.size == 0:
        return None
    missing = numpy.isnan(values) if values.dtype.kind == "f" else None
    if missing is not None:
        # Only NaN differs from its floor among whole numbers.
        if missing.all() or numpy.count_nonzero(values != numpy.floor(values)) != numpy.count_nonzero(missing):
            return None
        low, high = numpy.fmin.reduce(values, axis=None), numpy.fmax.reduce(values, axis=None)
    else:
        low, high = values.min(), values.max()
    if not (abs(low) < 2 ** 52 and abs(high) < 2 ** 52 and high - low < _LARGEST_SPAN):
        return None
    low = int(low)
    codes = values - low
    if missing is not None:
        codes[missing] = -1
    return codes.astype(numpy.int64, copy=False), [str(low + k) for k in range(int(high) - low + 1)]


def _column_codes(column):
    """A column's codes (int64, -1 missing) and the labels they stand for, as
    the CSV bytes would write them."""
    import numpy
    import pandas

    whole = _whole_number_codes(column.to_numpy()) if _numeric(column.dtype) else None
    if whole is not None:
        return whole
    if isinstance(column.dtype, pandas.CategoricalDtype):
        codes, uniques = column.cat.codes.to_numpy(), column.cat.categories
    else:
        # As an array of objects: a Series of objects would make pandas guess a
        # numeric index for its uniques, a guess it warns is going away.
        codes, uniques = pandas.factorize(column.to_numpy(dtype=object), use_na_sentinel=True)
    return codes.astype(numpy.int64, copy=False), [_label(value) for value in uniques]


def _rating_codes(data, options):
    """The arguments of _kappa.analyse_codes for ratings in a DataFrame, an
    array or a list of lists; None for anything else, which goes as bytes."""
    import numpy

    if isinstance(data, Mapping) or options["layout"] not in (None, "ratings") or options["id"] or options["by"] \
            or options["encoding"]:
        return None
    frame, name = _frame(data, "ratings")
    names = [str(c) for c in frame.columns]
    raters = options["columns"] or names
    if len(set(names)) != len(names) or any(r not in names for r in raters) \
            or not all(_PLAIN.fullmatch(r) for r in raters):
        return None
    columns = [frame.iloc[:, names.index(r)] for r in raters]
    asked = dict(options, layout="ratings", missing=[""] + (options["missing"] or []),
                 categories=options["categories"] or _category_order([c.dtype for c in columns]))
    if all(_numeric(c.dtype) for c in columns):
        # Numbers as one block, read in place where the frame keeps them so:
        # whole numbers are their own labels, NaN a missing rating.
        chosen = frame if raters == names else frame.iloc[:, [names.index(r) for r in raters]]
        block = chosen.to_numpy()
        if block.dtype.kind in "if":
            return block.astype(numpy.int64 if block.dtype.kind == "i" else numpy.float64, copy=False), raters, \
                [], name, asked
    codes = numpy.empty((len(frame), len(columns)), dtype=numpy.int64, order="F")
    places = {}
    for j, column in enumerate(columns):
        column_codes, labels = _column_codes(column)
        place = numpy.array([places.setdefault(label, len(places)) for label in labels] + [-1], dtype=numpy.int64)
        codes[:, j] = place[column_codes]  # code -1, missing, is the last place
    labels = list(places)
    if not all(_PLAIN.fullmatch(label) for label in labels):
        return None
    return codes, raters, labels, name, asked


def _memory_input(data, options):
    """The bytes of in-memory data, and its name; `options` set to read them."""
    import numpy
    import pandas

    layout = options["layout"]
    if isinstance(data, Mapping):
        # Counts of response patterns: a line of the table layout each.
        lines = []
        for pattern, count in data.items():
            labels = [_label(label) for label in pattern]
            if any("\t" in label or "\n" in label for label in labels):
                raise InputError("", 0, 0, f"a label of pattern {pattern!r} holds a TAB or a line break")
            lines.append("\t".join(labels + [str(count)]) + "\n")
        options.update(layout="table", delimiter="\t")
        return "".join(lines).encode("utf-8"), "patterns"
    if layout == "matrix":
        frame = data if isinstance(data, pandas.DataFrame) else pandas.DataFrame(numpy.asarray(data))
        labels = [str(c) for c in frame.columns]
        text = "," + ",".join(labels) + "\n" + "".join(
            str(index) + "," + ",".join(str(int(v)) for v in row) + "\n"
            for index, row in zip(frame.index, frame.itertuples(index=False)))
        options["delimiter"] = ","
        return text.encode("utf-8"), "matrix"
    layout = layout or "ratings"
    data, name = _frame(data, layout)
    if layout == "counts":
        options.update(layout=layout, delimiter=",", header=True)
        return _csv_bytes(data), name
    if layout not in ("ratings", "long"):
        raise InputError("", 0, 0, f"a frame or array holds ratings, long data or counts, not layout {layout!r}")
    bytes_, columns, categories = _frame_input(data, layout, options["columns"], options["id"], options["by"],
                                               options["categories"])
    # The header is the frame's column names, whatever they look like.
    options.update(layout=layout, columns=columns, categories=categories, delimiter=",", header=True)
    # What was missing in the frame is an empty field; nothing else, unless asked.
    options["missing"] = [""] + (options["missing"] or [])
    return bytes_, name
