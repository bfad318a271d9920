// A table file read on the command line: one line per observed combination of
// categories, the category each of R raters gave and the number of subjects
// with that combination (the frequency), and with --weights file the
// combination's disagreement weight. R is found from the first line that is
// not blank.
//
// The categories are written as codes or as labels. Numbers are category
// codes 1..K, K the largest code or the N of --categories N. Text is a label:
// the labels found are sorted as in a ratings file, or ordered by a list in
// --categories (which then also names codes 1..K by its labels, unless some of
// its labels are numbers, when a number is one of its labels). The fields of
// --missing (by default the empty field and NA) are missing ratings, whose
// rows are subjects with some ratings missing; a row without any rating holds
// no subject.
//
// Fields are separated by TABs (or the --delimiter), quoted as in CSV where
// they need it; a line of numbers only may separate them by any blanks. Lines
// of plain numbers, nearly every line of a table of codes, are read by the
// table parser's quick way; the first line that is not, and the rest of the
// file after it, field by field.
#pragma once

#include "input/byte_source.h"
#include "input/input.h"

namespace kappa {

InputRead readTable(ByteSource& source, const InputOptions& options);

}  // namespace kappa
