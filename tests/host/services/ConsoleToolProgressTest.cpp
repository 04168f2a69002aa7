#include "host/services/ConsoleToolProgress.h"
#include "host/services/RecordingToolProgress.h"

#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using Tools::ConsoleToolProgress;

namespace
{
const std::string erase = "\r\033[K";

std::string drawn(int position)
{
    return "\r" + ConsoleToolProgress::barText(position) + "\033[K";
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

int g_previousHandlerCalls = 0;
extern "C" void previousHandler(int)
{
    ++g_previousHandlerCalls;
}
} // namespace

TEST(ConsoleToolProgress, PlainModeWritesLinesOnly)
{
    std::ostringstream out;
    std::ostringstream err;
    {
        ConsoleToolProgress progress(out, err, ConsoleToolProgress::Mode::Plain);
        progress.message("Conflux generation...");
        progress.setProgress(0);
        progress.setProgress(60);
        progress.error("Unsupported Conflux Mode");
        progress.message("Training\n\t RMS Error 0.25");
        progress.finished(true);
    }
    EXPECT_EQ(out.str(), "Conflux generation...\nTraining\n\t RMS Error 0.25\n");
    EXPECT_EQ(err.str(), "error: Unsupported Conflux Mode\n");
}

TEST(ConsoleToolProgress, TerminalModeRedrawsTheBarBelowEachLine)
{
    std::ostringstream out;
    std::ostringstream err;
    {
        ConsoleToolProgress progress(out, err, ConsoleToolProgress::Mode::Terminal);
        progress.message("before any position");
        progress.setProgress(40);
        progress.setProgress(40); // unchanged: not redrawn
        progress.message("line");
        progress.error("bad");
        progress.setProgress(250);
        progress.finished(false);
        progress.message("after");
    }
    EXPECT_EQ(out.str(), "before any position\nline\nafter\n");
    EXPECT_EQ(err.str(),
              drawn(40) + erase + drawn(40) + erase + "error: bad\n" + drawn(40) + drawn(100) + erase);
}

TEST(ConsoleToolProgress, StatusFollowsTheBarOnATerminalOnly)
{
    std::ostringstream out, err, plainOut, plainErr;
    {
        ConsoleToolProgress progress(out, err, ConsoleToolProgress::Mode::Terminal);
        progress.setProgress(10);
        progress.setStatus("iteration 50");
        progress.setStatus("iteration 50"); // unchanged: not redrawn
        ConsoleToolProgress plain(plainOut, plainErr, ConsoleToolProgress::Mode::Plain);
        plain.setProgress(10);
        plain.setStatus("iteration 50");
    }
    EXPECT_EQ(err.str(),
              drawn(10) + "\r" + ConsoleToolProgress::barText(10) + "  iteration 50\033[K" + erase);
    EXPECT_EQ(plainOut.str() + plainErr.str(), "");
}

TEST(ConsoleToolProgress, BarText)
{
    struct Row
    {
        int position;
        int width;
        std::string text;
    };
    const Row rows[] = {
        {0, 10, "[>         ]   0%"},   {50, 10, "[=====>    ]  50%"}, {99, 10, "[=========>]  99%"},
        {100, 10, "[==========] 100%"}, {-7, 4, "[>   ]   0%"},        {180, 4, "[====] 100%"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.position);
        EXPECT_EQ(ConsoleToolProgress::barText(row.position, row.width), row.text);
    }
    EXPECT_EQ(ConsoleToolProgress::barText(30).size(), std::string("[] 100%").size() + 40);
}

TEST(ConsoleToolProgress, LinesFromManyThreadsStayWhole)
{
    std::ostringstream out;
    std::ostringstream err;
    ConsoleToolProgress progress(out, err, ConsoleToolProgress::Mode::Terminal);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [&progress, t]
            {
                for (int i = 0; i < 200; ++i)
                {
                    progress.message("thread " + std::to_string(t) + " line " + std::to_string(i));
                    progress.setProgress(i % 101);
                }
            });
    for (auto& thread : threads)
        thread.join();
    const auto written = lines(out.str());
    EXPECT_EQ(written.size(), 800u);
    const std::set<std::string> distinct(written.begin(), written.end());
    EXPECT_EQ(distinct.size(), 800u);
    EXPECT_TRUE(distinct.count("thread 3 line 199"));
}

TEST(ConsoleToolProgress, InterruptCancelsWhileGuarded)
{
    std::ostringstream out;
    std::ostringstream err;
    ConsoleToolProgress progress(out, err, ConsoleToolProgress::Mode::Plain);
    std::signal(SIGINT, previousHandler);
    {
        ConsoleToolProgress::InterruptGuard guard(progress);
        EXPECT_FALSE(progress.isCancelled());
        std::raise(SIGINT);
        EXPECT_TRUE(progress.isCancelled());
        EXPECT_EQ(g_previousHandlerCalls, 0);
    }
    std::raise(SIGINT);
    EXPECT_EQ(g_previousHandlerCalls, 1) << "the previous handler is back";
    std::signal(SIGINT, SIG_DFL);
}

TEST(RecordingToolProgress, RecordsEveryCallInOrder)
{
    Tools::RecordingToolProgress progress;
    progress.cancelOnMessage(2);
    progress.message("Conflux generation...");
    EXPECT_FALSE(progress.isCancelled());
    progress.setProgress(-3);
    progress.message("Conflux processing conflux generation events...");
    EXPECT_TRUE(progress.isCancelled());
    progress.error("Unhandled Exception");
    progress.setProgress(101);
    progress.finished(true);
    EXPECT_EQ(progress.transcript(), (std::vector<std::string>{
                                         "message: Conflux generation...",
                                         "progress: 0",
                                         "cancel",
                                         "message: Conflux processing conflux generation events...",
                                         "error: Unhandled Exception",
                                         "progress: 100",
                                         "finished: true",
                                     }));
    EXPECT_EQ(progress.texts(Tools::RecordingToolProgress::Kind::Error),
              std::vector<std::string>{"Unhandled Exception"});
    progress.clear();
    EXPECT_TRUE(progress.calls().empty());
    EXPECT_TRUE(progress.isCancelled());
}
