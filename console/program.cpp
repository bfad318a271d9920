#include "console/program.h"

#include <cmath>

#include "agreement/chance.h"
#include "agreement/patterns.h"
#include "console/parameter_entry.h"
#include "console/title.h"
#include "inference/normal_quantile.h"
#include "inference/report.h"
#include "input/data_file.h"
#include "input/file_checks.h"
#include "tables/analysis_state.h"

namespace kappa {

namespace {

constexpr int kFinalPauseMs = 3000;

// Shows a menu until its answer is a whole number in first..last. A line with
// a number that is not acceptable is answered with `complaint`; a line without
// one (or a not-a-number) just shows the menu again. Nothing at end of input.
template <typename ShowMenu>
std::optional<std::int32_t> askChoice(Console& con, ShowMenu showMenu, int first, int last, const char* complaint) {
    for (;;) {
        showMenu();
        const auto answer = readAnswer(con);
        if (!answer) return std::nullopt;
        if (!answer->hasNumber || std::isnan(answer->x)) continue;
        const double choice = std::floor(answer->x);
        if (isWhole(*answer) && choice >= first && choice <= last) return static_cast<std::int32_t>(choice);
        con.print("%s", complaint);
    }
}

std::optional<std::int32_t> caseMenu(Console& con) {
    constexpr char quote = 34;
    return askChoice(
        con,
        [&] {
            con.print("\n\n 1 = OBSERVED DATA (without weights) - %cKappa_data.txt%c file", quote, quote);
            con.print("\n 2 = OBSERVED DATA (with weights) - %cWeighted_Kappa_data.txt%c file", quote, quote);
            con.print("\n 3 = OBSERVED DATA (with weights) - %cWeighted_Kappa_data_linear_quadratic.txt%c", quote,
                      quote);
            con.putLine("\n     file");
            con.print("\n CASE: \t");
        },
        1, 3, "\n ERROR in the choice. Please re-select one of the options");
}

std::optional<std::int32_t> endPrompt(Console& con) {
    return askChoice(
        con, [&] { con.print("\n\n\n\n 0-END    1-Change DATA ENTRY :  "); }, 0, 1,
        "\nERROR in the choice. Please re-select one of the options");
}

// The proportion of subjects on whom all raters agree.
void printRawAgreement(AnalysisState& s, Console& con) {
    con.putLine("\n");
    s.crudo = 0;
    for (const std::int64_t agreeing : s.ac) s.crudo += agreeing;
    con.print("\n\n Raw %.5lf", static_cast<double>(s.crudo) / s.Naux);
}

bool loadData(AnalysisState& s, Console& con) {
    return s.entrada == 2 ? Archivo_Weight(s, con) : Archivo(s, con);
}

int inputEnded(Console& con, int status) {
    con.write("\n");
    return status;
}

}  // namespace

int runProgram(Console& con) {
    AnalysisState s;
    Caratula(con);
    for (;;) {
        con.discardPending();
        if (!Datos(s, con)) return inputEnded(con, kExitInputEnded);
        con.discardPending();
        const double z = confidenceQuantile(s.Cf);
        indicematrix(s, s.K, s.R);

        const auto chosen = caseMenu(con);
        if (!chosen) return inputEnded(con, kExitInputEnded);
        s.entrada = *chosen;
        if (!loadData(s, con) || !checkLoadedFile(s, con)) continue;

        TablaInicial(s);
        Invariante(s);
        printRawAgreement(s, con);
        if (s.entrada == 1)
            unweightedReport(s, con, z);
        else
            weightedReport(s, con, z);

        con.discardPending();
        const auto next = endPrompt(con);
        if (!next) return inputEnded(con, kExitFinished);
        s.fin = *next;
        con.discardPending();
        if (s.fin == 0) {
            con.print("\n\n END OF THE PROGRAM");
            con.putLine("\n\n");
            con.pause(kFinalPauseMs);
            return kExitFinished;
        }
    }
}

}  // namespace kappa
