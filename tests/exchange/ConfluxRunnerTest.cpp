// The generation run on its own thread: the lines it reports, in order, for each way it can end,
// and the files it leaves in the store.
#include "src/exchange/ConfluxRunner.h"

#include "GeneratorTestSupport.h"

#include "host/entitymodel/EntityReading.h"
#include "host/services/RecordingToolProgress.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <gtest/gtest.h>

using namespace GeneratorTest;

namespace
{
using Lines = std::vector<std::string>;

/// Runs one generation of the sample (or of `root` when given) to its end. The lines are those of
/// the transcript but the positions the steps report after the run's reset to 0; those go to
/// `positions`.
Lines run(SampleProject& p, Tools::RecordingToolProgress* progress, Entity* root,
          CFDSolver::SolutionType type = CFDSolver::SolutionType::SteadyState,
          std::vector<int>* positions = nullptr)
{
    Conflux::ConfluxRunner runner(progress, p.storeDirectory(), "unused", "sample", root, type);
    EXPECT_EQ(runner.objectName(), "ConfluxRunner");
    runner.start();
    EXPECT_TRUE(runner.wait(120000));
    if (!progress)
        return {};
    Lines lines;
    bool reset = false;
    for (const auto& call : progress->calls())
    {
        if (call.kind == Tools::RecordingToolProgress::Kind::Progress && reset)
        {
            if (positions)
                positions->push_back(call.value);
            continue;
        }
        reset = reset || call.kind == Tools::RecordingToolProgress::Kind::Progress;
        Tools::RecordingToolProgress one;
        switch (call.kind)
        {
        case Tools::RecordingToolProgress::Kind::Message:
            one.message(call.text);
            break;
        case Tools::RecordingToolProgress::Kind::Error:
            one.error(call.text);
            break;
        case Tools::RecordingToolProgress::Kind::Progress:
            one.setProgress(call.value);
            break;
        case Tools::RecordingToolProgress::Kind::Finished:
            one.finished(call.value != 0);
            break;
        case Tools::RecordingToolProgress::Kind::Cancel:
            one.cancel();
            break;
        }
        lines.push_back(one.transcript().front());
    }
    return lines;
}

bool exists(const std::string& path)
{
    return QFile::exists(QString::fromStdString(path));
}
} // namespace

TEST(ConfluxRunner, ReportsEachStepAndHowTheRunEnded)
{
    {
        SCOPED_TRACE("success");
        SampleProject p;
        Tools::RecordingToolProgress progress;
        std::vector<int> positions;
        EXPECT_EQ(run(p, &progress, p.root, CFDSolver::SolutionType::SteadyState, &positions),
                  (Lines{"message: Conflux generation...", "progress: 0",
                         "message: Conflux processing conflux generation events...",
                         "message: Conflux generation complete", "finished: true"}));
        // The long steps move the bar forward to its end.
        ASSERT_GE(positions.size(), 4u);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_GT(positions.front(), 0);
        EXPECT_EQ(positions.back(), 100);
        const ProjectData::ProjectStore store(p.storeDirectory());
        EXPECT_TRUE(exists(store.getConfluxDoc()));
        EXPECT_TRUE(exists(store.getConfluxControlFile()));
    }
    {
        SCOPED_TRACE("a cancel request only chooses the closing line");
        SampleProject p;
        Tools::RecordingToolProgress progress;
        progress.cancelOnMessage(1);
        EXPECT_EQ(run(p, &progress, p.root),
                  (Lines{"cancel", "message: Conflux generation...", "progress: 0",
                         "message: Conflux processing conflux generation events...",
                         "message: Conflux generation cancelled", "finished: true"}));
        EXPECT_TRUE(exists(ProjectData::ProjectStore(p.storeDirectory()).getConfluxControlFile()));
    }
    {
        SCOPED_TRACE("no root, hence no solution control: generation fails");
        SampleProject p;
        Tools::RecordingToolProgress progress;
        EXPECT_EQ(run(p, &progress, nullptr),
                  (Lines{"message: Conflux generation...", "progress: 0",
                         "message: Conflux processing conflux generation events...",
                         "message: Conflux generation failed", "finished: true"}));
        EXPECT_FALSE(exists(ProjectData::ProjectStore(p.storeDirectory()).getConfluxControlFile()));
    }
}

TEST(ConfluxRunner, ErrorsEndTheRunWithTheirTextAndTheProgressIsStillClosed)
{
    struct Row
    {
        const char* name;
        std::function<void(SampleProject&)> edit;
        std::string error;
    };
    const Row rows[] = {
        {"unsupported mode", [](SampleProject& p) { p.set("Conflux Control.Mode", TypeRef()); },
         "Unsupported Conflux Mode"},
        {"unsupported version",
         [](SampleProject& p) { p.set("Conflux Control.Version", TypeRef("Version 1")); },
         "Unsupported version"},
        {"a linker error",
         [](SampleProject& p) { p.set("Conflux Control.FileParser Properties.File Mode", TypeRef()); },
         "Invalid FileParser Mode."},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        SampleProject p;
        row.edit(p);
        Tools::RecordingToolProgress progress;
        EXPECT_EQ(run(p, &progress, p.root),
                  (Lines{"message: Conflux generation...", "error: " + row.error, "finished: true"}));
        EXPECT_FALSE(exists(ProjectData::ProjectStore(p.storeDirectory()).getConfluxControlFile()));
    }

    {
        SCOPED_TRACE("a failure of the build after the time-varying flag was forced on");
        SampleProject p;
        EntityEditor::setValue(p.entity("Server A01-1 Inlet"), "Conflux.Active", false);
        Tools::RecordingToolProgress progress;
        const Lines lines = run(p, &progress, p.root, CFDSolver::SolutionType::Transient);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2].rfind("error: ", 0), 0u);
        EXPECT_EQ(lines[3], "finished: true");
        EXPECT_FALSE(getBoolValue(p.control, Transient_t / Time_Varying_t, true));
    }
    {
        SCOPED_TRACE("a store that cannot be made");
        SampleProject p;
        QFile blocker(QString::fromStdString(p.storeDirectory()));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Tools::RecordingToolProgress progress;
        const Lines lines = run(p, &progress, p.root);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find("error: Solver project sample: cannot make the store directory " +
                                p.storeDirectory()),
                  std::string::npos)
            << lines[0];
        EXPECT_EQ(lines[1], "finished: true");
    }
    {
        SCOPED_TRACE("an unwritable document ends the run with its path");
        SampleProject p;
        const ProjectData::ProjectStore store(p.storeDirectory());
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(CFDSolver::ConfluxCntrl::stagedDocument(store))));
        Tools::RecordingToolProgress progress;
        const Lines lines = run(p, &progress, p.root);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(
            lines[2].rfind("error: Cannot write the exchange model document '" + store.getConfluxDoc(), 0),
            0u)
            << lines[2];
        EXPECT_FALSE(exists(store.getConfluxControlFile()));
    }
    {
        SCOPED_TRACE("a text thrown as a C string reaches the user");
        SampleProject p;
        EntityEditor::setValue(p.entity("Server A01-1 Surrogate"), "Model Type", TypeRef("ONNX"));
        Tools::RecordingToolProgress progress;
        EXPECT_EQ(run(p, &progress, p.root), (Lines{"message: Conflux generation...", "progress: 0",
                                                    "error: Empty ONNX Model", "finished: true"}));
    }
}

TEST(ConfluxRunner, RunsSilentlyWithoutAProgressInterface)
{
    SampleProject p;
    run(p, nullptr, p.root);
    const ProjectData::ProjectStore store(p.storeDirectory());
    EXPECT_TRUE(exists(store.getConfluxDoc()));
    const CFDSolver::ConfluxCntrl control = CFDSolver::ConfluxCntrl::Read(store);
    EXPECT_EQ(linkerTypes(control),
              (std::vector{Conflux::LinkerType::AIEventHandler, Conflux::LinkerType::CSVEventHandler}));

    SampleProject broken;
    broken.set("Conflux Control.Mode", TypeRef());
    run(broken, nullptr, broken.root);
    EXPECT_FALSE(exists(ProjectData::ProjectStore(broken.storeDirectory()).getConfluxControlFile()));
}
