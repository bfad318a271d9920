#include "console/title.h"

namespace kappa {

void printTitle(Console& con) {
    constexpr char quote = 34;

    con.print("\n\n KAPPA: agreement among R raters");
    con.print("\n\n Measures how well several raters agree when each has put the same subjects");
    con.print("\n into one of the same categories, and gives every estimate its standard");
    con.print("\n error, tests of any hypothesised kappa, two confidence intervals and a");
    con.print("\n test of independence.");

    con.print("\n\n \t\t\tABOUT  CONCURVA (2022)  - Version 3.0        ");
    con.print("\n\nThe program provides the measures agreement among R raters based on Hubert's");
    con.print("\nkappa or Shuster and Smith's weighted kappa (DeMoivre or R-wise), as well as");
    con.print("\ntheir SEs and inferences. Data can be opened from a data file (which must");
    con.print("\nbe in the same folder as the executable program) called:");
    con.print("\n-> %cKappa_data.txt%c: R columns with the responses and another one with its", quote, quote);
    con.print("\nfrequencies.");
    con.print("\n-> %cWeighted_Kappa_data.txt%c: R columns with the responses, another one with", quote, quote);
    con.print("\nits frequencies and another one with its weights (by %cweight=v%c the %cweight", quote, quote,
              quote);
    con.print("\nof disagreement%c is alluded to, so that v=0 when all raters agree - all raters", quote);
    con.print("\nprovide the same answer - and v>0 otherwise; the classic weights w are w=1-v).");
    con.print("\n-> %cWeighted_Kappa_data_linear_quadratic.txt%c: R columns with the responses and", quote, quote);
    con.print("\nanother one with its frequencies (the program assumes that the weights %cv%c are", quote, quote);
    con.print("\nlinear or quadratic and, on this last case, determines the concordance");
    con.print("\ncorrelation coefficient of Lin).");
    con.print("\n ");
}

}  // namespace kappa
