#include "cli/TrainingProgress.h"

#include <gtest/gtest.h>

#include <sstream>

using ConfluxCli::TrainingProgress;

TEST(TrainingProgress, ReadsTheTrainersIterationLines)
{
    struct Row
    {
        const char* line;
        std::optional<std::pair<int, double>> point;
    };
    const Row rows[] = {
        {"Iteration 0 RMS Error 1.25", std::pair{0, 1.25}},
        {"Iteration 1200 RMS Error 3.5e-05", std::pair{1200, 3.5e-05}},
        {"Testing RMS Error 0.1", std::nullopt},
        {"Iteration x RMS Error 1", std::nullopt},
        {"Iteration 3 RMS Error 1 and more", std::nullopt},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(TrainingProgress::parseIterationLine(row.line), row.point);
    }
}

TEST(TrainingProgress, KeepsTheHistoryAndShowsItAsLinesOrAsTheBarsStatus)
{
    std::ostringstream out, err;
    TrainingProgress plain(out, err, TrainingProgress::Mode::Plain, 100);
    plain.message("Iteration 0 RMS Error 2");
    plain.message("Iteration 50 RMS Error 0.5");
    plain.message("Training");
    EXPECT_EQ(plain.history(), (std::vector<std::pair<int, double>>{{0, 2.0}, {50, 0.5}}));
    EXPECT_EQ(out.str().substr(0, out.str().find(" (")), "Iteration 0 RMS Error 2");
    EXPECT_NE(out.str().find(" s)\nIteration 50 RMS Error 0.5 ("), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Training\n"), std::string::npos);

    std::ostringstream termOut, termErr;
    {
        TrainingProgress terminal(termOut, termErr, TrainingProgress::Mode::Terminal, 100);
        terminal.setProgress(50);
        terminal.message("Iteration 50 RMS Error 0.5");
    }
    EXPECT_EQ(termOut.str(), "") << "iteration lines stay on the bar";
    EXPECT_NE(termErr.str().find(" 50%  iteration 50/100  RMS error 0.5  "), std::string::npos)
        << termErr.str();
}
