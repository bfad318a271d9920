#include <gtest/gtest.h>

#include "console/program.h"
#include "console/scripted_console.h"

TEST(Program, EndsAtEndOfInputBeforeAnyAnswer) {
    kappa::ScriptedConsole con({});
    EXPECT_EQ(kappa::runProgram(con), kappa::kExitInputEnded);
}
