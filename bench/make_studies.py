#!/usr/bin/env python3
"""Writes generated studies for bench/compare_outputs.sh, one folder each.

Every folder holds the data files that kappa reads from its current folder and a
file `answers`, the whole dialogue piped to it; `about` says what the study is.
The studies cover:
  - valid analyses of many shapes: R from 2 to 20, K from 2 to 1024 with K^R at
    most 1,048,576, sparse and dense pattern lists, tiny and huge frequencies (up
    to 2^31 - 1 a pattern), all three cases, confidence levels and kappa values
    under test from the ordinary to the extreme;
  - files that fail a check or cannot be read: codes below 1 or above K, negative
    frequencies, repeated combinations, negative or unreadable weights, malformed
    tokens, a missing or extra field on a line, blank lines, CRLF line ends, a
    byte-order mark, a folder in place of the file, a missing or empty file;
  - answers that are refused and asked again, at every question and menu;
  - sessions of two or three cycles with a failed load between good ones, and
    input that ends in the middle of the dialogue.

usage: make_studies.py FOLDER [--count N] [--seed S] [--large]
"""

import argparse
import itertools
import os
import random

FILES = {1: "Kappa_data.txt", 2: "Weighted_Kappa_data.txt", 3: "Weighted_Kappa_data_linear_quadratic.txt"}
MAX_INT = 2**31 - 1
CONFIDENCES = ["", "", "", "95", "50.0001", "99.9999", "80", "97.5", "99.5", "90 percent"]
KAPPAS = ["", "", "", "0", "0.5", "-0.3", "1", "0.99999", "-1000000", "-1e6", ".25"]
SHAPES = [(2, 2), (2, 3), (2, 5), (2, 10), (2, 64), (2, 1024), (3, 2), (3, 4), (3, 10), (4, 2), (4, 5), (5, 3),
          (6, 2), (6, 4), (7, 3), (8, 2), (10, 2), (10, 4), (12, 3), (13, 2), (16, 2), (20, 2)]


class Study:
    """A data set (rows of codes, frequency and weight) and the answers of a session."""

    def __init__(self, rng, R, K, case):
        self.rng, self.R, self.K, self.case = rng, R, K, case
        self.rows = []  # [codes..., frequency, weight]

    @property
    def n(self):
        return sum(row[self.R] for row in self.rows)

    def fill(self, count, frequency):
        """count distinct patterns, the all-K pattern among them so that K is the largest code."""
        R, K, rng = self.R, self.K, self.rng
        total = K**R
        count = min(count, total)
        if count == total:  # every pattern, in pattern order
            for codes in itertools.product(range(1, K + 1), repeat=R):
                self.rows.append(list(codes) + [frequency(), self.weight(min(codes) == max(codes))])
        else:
            chosen = set(rng.sample(range(total), count)) if count * 4 >= total else set()
            while len(chosen) < count:
                chosen.add(rng.randrange(total))
            chosen.add(total - 1)
            for p in sorted(chosen)[-count:]:
                codes = [p // K ** (R - 1 - j) % K + 1 for j in range(R)]
                self.rows.append(codes + [frequency(), self.weight(min(codes) == max(codes))])
        while self.n < 3:
            self.rows[-1][R] += 1
        return self

    def weight(self, agree):
        rng = self.rng
        if agree:
            return rng.choice(["0.0", "0.0", "0.0", "0", "0.5"])
        return rng.choice([f"{rng.random():.4f}", "1.0", "0.25", f"{rng.uniform(0, 1):.17g}",
                           f"{10 ** rng.uniform(-10, 12):.6e}", f"{rng.randint(1, 9)}.", "1"])

    def text(self, case=None, newline="\n", final_newline=True):
        case = case or self.case
        fields = self.R + (2 if case == 2 else 1)
        lines = ["\t".join(str(x) for x in row[:fields]) for row in self.rows]
        return newline.join(lines) + (newline if final_newline else "")

    def answers(self, R=None, K=None, N=None, confidence=None, kp=None, case=None):
        rng = self.rng
        return [str(self.R if R is None else R), str(self.K if K is None else K), str(self.n if N is None else N),
                rng.choice(CONFIDENCES) if confidence is None else confidence,
                rng.choice(KAPPAS) if kp is None else kp, str(case or self.case)]


def frequencies(rng):
    kind = rng.choice(["tiny", "small", "wide", "huge"])
    return {"tiny": lambda: rng.choice([0, 1, 1, 2]),
            "small": lambda: rng.randint(0, 100),
            "wide": lambda: int(10 ** rng.uniform(0, 9)),
            "huge": lambda: rng.randint(MAX_INT // 2, MAX_INT)}[kind]


def random_study(rng, case=None, small=False):
    R, K = rng.choice(SHAPES[:8] if small else SHAPES)
    total = K**R
    sparse = rng.random() < 0.5 or total > 20000
    count = rng.randint(1, min(total, 60)) if sparse else rng.randint(total // 2, total)
    return Study(rng, R, K, case or rng.randint(1, 3)).fill(count, frequencies(rng))


# ----------------------------------------------------------------------------
# Faults planted in a file


def plant(rng, study, case):
    """A data file of the study with one fault; returns (fault, file bytes or None for a folder)."""
    R = study.R
    rows = [list(r) for r in study.rows]
    width = R + (2 if case == 2 else 1)
    r = rng.randrange(len(rows))

    def render(rows, newline="\n"):
        return newline.join("\t".join(str(x) for x in row[:width]) for row in rows) + newline

    fault = rng.choice(["code 0", "code -1", "code K+1", "negative frequency", "repeated row", "negative weight",
                        "malformed token", "missing field", "extra field", "blank lines", "crlf", "bom", "folder",
                        "missing file", "empty file", "no final newline", "spaces for tabs", "trailing tab",
                        "frequency overflow", "weight not finite", "cr only", "nul byte", "lone newline"])
    if fault == "code 0":
        rows[r][rng.randrange(R)] = 0
    elif fault == "code -1":
        rows[r][rng.randrange(R)] = -1
    elif fault == "code K+1":
        rows[r][rng.randrange(R)] = study.K + 1
    elif fault == "negative frequency":
        rows[r][R] = -rng.randint(1, 5)
    elif fault == "repeated row":
        rows.insert(rng.randrange(len(rows) + 1), list(rows[r][:R]) + [rng.randint(0, 3), "0.5"])
    elif fault == "negative weight":
        rows[r][R + 1] = rng.choice(["-0.5", "-1e-9", "-0.0"])
    elif fault == "malformed token":
        rows[r][rng.randrange(width)] = rng.choice(["1x", "x", "--1", "1.5", "1e2", "+3", "0x10", "\xe9", "1,0", ""])
    elif fault == "missing field":
        rows[r] = rows[r][: width - 1]
    elif fault == "extra field":
        rows[r] = rows[r][:width] + [rng.choice(["1", "0.5", "x"])]
    elif fault == "blank lines":
        text = render(rows)
        lines = text.split("\n")
        lines.insert(rng.randint(1, len(lines)), rng.choice(["", " ", "\t", "", "\r"]))
        return fault, "\n".join(lines).encode("latin-1")
    elif fault == "crlf":
        return fault, render(rows, "\r\n").encode()
    elif fault == "bom":
        return fault, b"\xef\xbb\xbf" + render(rows).encode()
    elif fault == "folder":
        return fault, None
    elif fault == "missing file":
        return fault, b"MISSING"
    elif fault == "empty file":
        return fault, b""
    elif fault == "no final newline":
        return fault, render(rows)[:-1].encode()
    elif fault == "spaces for tabs":
        return fault, render(rows).replace("\t", " ", rng.randint(1, R)).encode()
    elif fault == "trailing tab":
        return fault, render(rows).replace("\n", "\t\n", 1).encode()
    elif fault == "frequency overflow":
        rows[r][R] = rng.choice([2**31, 2**32 + 1, 10**20, -(2**31) - 1])
    elif fault == "weight not finite":
        rows[r][R + 1] = rng.choice(["nan", "inf", "1e400", "-inf"])
    elif fault == "cr only":
        return fault, render(rows, "\r").encode()
    elif fault == "nul byte":
        text = render(rows).encode()
        at = rng.randrange(len(text))
        return fault, text[:at] + b"\0" + text[at:]
    elif fault == "lone newline":
        return fault, b"\n"
    return fault, render(rows).encode("latin-1")


# ----------------------------------------------------------------------------
# Sessions

BAD_ANSWERS = {
    0: ["1", "0", "-3", "abc", "2.5", "", " ", "1e400", "nan"],
    1: ["1", "0", "x", "3.5", ""],
    2: ["2", "0", "3.5", "-1", "", "nan"],
    3: ["50", "100", "120", "-5", "1e400", "nan"],
    4: ["1.01", "2", "1e400"],
    5: ["0", "4", "2.5", "-1", "x", "", "3 files"],
}


def with_refusals(rng, answers):
    """The answers with refused ones typed before some of them."""
    out = []
    for i, answer in enumerate(answers):
        if rng.random() < 0.3:
            out += rng.sample(BAD_ANSWERS[i], rng.randint(1, 2))
        out.append(answer)
    return out


def end_prompt(rng):
    return rng.choice([[], [], ["2"], ["0.5"], ["x", ""]])


def write(folder, about, answers, files, final_newline=True):
    os.makedirs(folder)
    for name, content in files.items():
        path = os.path.join(folder, name)
        if content is None:
            os.makedirs(path)
            with open(os.path.join(path, "inside.txt"), "w") as f:
                f.write("1\t1\t3\n")
        elif content != b"MISSING":
            with open(path, "wb") as f:
                f.write(content)
    with open(os.path.join(folder, "answers"), "w", newline="") as f:
        f.write("\n".join(answers) + ("\n" if final_newline else ""))
    with open(os.path.join(folder, "about"), "w") as f:
        f.write(about + "\n")


def make(folder, index, rng):
    kind = rng.choices(["valid", "refusals", "wrong answers", "bad file", "cycles", "cut short"],
                       weights=[30, 12, 12, 28, 12, 6])[0]
    path = os.path.join(folder, f"study-{index:05d}")
    study = random_study(rng, small=kind != "valid")
    files = {FILES[c]: study.text(c).encode() for c in (1, 2, 3)}
    shape = f"R={study.R} K={study.K} case {study.case}, {len(study.rows)} rows, N={study.n}"
    if kind == "valid":
        answers = study.answers() + end_prompt(rng)
        write(path, f"valid: {shape}", answers, files)
    elif kind == "refusals":
        answers = with_refusals(rng, study.answers()) + end_prompt(rng)
        write(path, f"refused answers first: {shape}", answers, files)
    elif kind == "wrong answers":
        wrong = rng.choice([{"R": study.R + 1}, {"K": study.K + 1}, {"N": study.n + 1}, {"N": study.n - 1},
                            {"R": study.R + 1, "K": study.K + 1, "N": study.n * 2}])
        answers = study.answers(**wrong) + study.answers()
        write(path, f"wrong answers {wrong}, then right: {shape}", answers, files)
    elif kind == "bad file":
        fault, content = plant(rng, study, study.case)
        files[FILES[study.case]] = content
        answers = study.answers() + (study.answers(case=rng.choice([c for c in (1, 2, 3) if c != study.case]))
                                     if rng.random() < 0.5 else [])
        write(path, f"file with {fault}: {shape}", answers, files)
    elif kind == "cycles":
        # A good cycle, a failed load in another case, and another good cycle.
        first, bad, last = rng.sample([1, 2, 3], 3)
        fault, content = plant(rng, study, bad)
        files[FILES[bad]] = content
        answers = study.answers(case=first) + ["1"] + study.answers(case=bad) + study.answers(case=last)
        write(path, f"two cycles with a failed load ({fault}) between: {shape}", answers, files)
    else:
        answers = study.answers()
        cut = rng.randrange(len(answers) + 1)
        write(path, f"input ends after {cut} answers: {shape}", answers[:cut], files, final_newline=rng.random() < 0.5)
    return kind


def make_large(folder, index, rng, R, K, case):
    study = Study(rng, R, K, case).fill(K**R, frequencies(rng))
    path = os.path.join(folder, f"study-{index:05d}")
    write(path, f"all {K ** R} patterns: R={R} K={K} case {case}", study.answers(),
          {FILES[case]: study.text().encode()})


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder")
    parser.add_argument("--count", type=int, default=400, help="generated studies (default: %(default)s)")
    parser.add_argument("--seed", type=int, default=11, help="seed (default: %(default)s)")
    parser.add_argument("--large", type=int, default=1, metavar="L",
                        help="studies listing all 1,048,576 patterns, in turn of (R, K) = (20, 2), (10, 4), "
                        "(2, 1024) (default: %(default)s)")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    counts = {}
    for i in range(args.count):
        kind = make(args.folder, i, rng)
        counts[kind] = counts.get(kind, 0) + 1
    # One session ends with the answer 0, which costs kappa's pause of 3 seconds.
    study = random_study(rng, small=True)
    write(os.path.join(args.folder, f"study-{args.count:05d}"), "ends with 0 at the end prompt",
          study.answers() + ["0"], {FILES[c]: study.text(c).encode() for c in (1, 2, 3)})
    for j in range(args.large):
        R, K = [(20, 2), (10, 4), (2, 1024)][j % 3]
        make_large(args.folder, args.count + 1 + j, rng, R, K, j % 3 + 1)
    print(" ".join(f"{kind}: {n}" for kind, n in sorted(counts.items())) + f", large: {args.large}, ending with 0: 1")


if __name__ == "__main__":
    main()
