#!/usr/bin/env python3
"""Whether two outputs of kappa are the same but for the last digits of their
numbers: every byte outside the numbers equal, every number equal to the
other to a relative tolerance (two C libraries may round exp or erfc
differently in the last place).

    same_numbers.py [--relative R] EXPECTED ACTUAL

Prints each pair of numbers that differ, with their relative difference.
Exit status 0 when the outputs agree, 1 when they do not."""
import argparse
import re
import sys

NUMBER = re.compile(rb"(-?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)")


def relative_difference(a, b):
    x, y = float(a), float(b)
    return abs(x - y) / max(abs(x), abs(y)) if x != y else 0.0


def differing_numbers(expected, actual):
    """The (line, expected, actual) numbers that differ, or None when the
    outputs differ elsewhere than in their numbers."""
    found = []
    expected_lines, actual_lines = expected.split(b"\n"), actual.split(b"\n")
    if len(expected_lines) != len(actual_lines):
        return None
    for number, (e, a) in enumerate(zip(expected_lines, actual_lines), 1):
        if e == a:
            continue
        # Splitting at a captured pattern puts the numbers at the odd places.
        e_parts, a_parts = NUMBER.split(e), NUMBER.split(a)
        if len(e_parts) != len(a_parts) or e_parts[0::2] != a_parts[0::2]:
            return None
        found += [(number, x, y) for x, y in zip(e_parts[1::2], a_parts[1::2]) if x != y]
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--relative", type=float, default=1e-13)
    parser.add_argument("expected")
    parser.add_argument("actual")
    args = parser.parse_args()
    with open(args.expected, "rb") as e, open(args.actual, "rb") as a:
        found = differing_numbers(e.read(), a.read())
    if found is None:
        print(f"{args.actual} differs from {args.expected} in more than its numbers")
        return 1
    agree = True
    for line, x, y in found:
        difference = relative_difference(x, y)
        agree = agree and difference <= args.relative
        print(f"line {line}: {x.decode()} and {y.decode()} differ by {difference:.1e} relative")
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
