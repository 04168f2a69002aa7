#include "cli/TrainingReport.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

using ConfluxCli::OutputFit;
using ConfluxCli::TrainingReport;

namespace
{
QApplication& app()
{
    // No display in CI: the plots are drawn offscreen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ConfluxCliTests";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

/// Pixels of a colour close to the given one.
int pixelsNear(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) < 20 && std::abs(pixel.green() - colour.green()) < 20 &&
                std::abs(pixel.blue() - colour.blue()) < 20)
                ++count;
        }
    return count;
}
} // namespace

TEST(TrainingReport, DrawsTheRmsHistoryAndTheFitAsPngFiles)
{
    app();
    QTemporaryDir dir;
    std::vector<std::pair<int, double>> history;
    for (int i = 0; i <= 400; i += 20)
        history.emplace_back(i, std::exp(-i / 80.0));
    history.emplace_back(401, 0.0); // not drawable on a log axis: left out, not a failure
    TrainingReport::plotRmsHistory(history, dir.filePath("rms.png"));

    OutputFit fit{"Server A01-1 Exhaust:Temperature (°C)", {}, {}, {}, {}};
    for (int i = 0; i < 50; ++i)
    {
        fit.trainingTargets.push_back(20.0 + i);
        fit.trainingPredictions.push_back(20.0 + i + 0.5 * std::sin(i));
    }
    fit.testingTargets = {25.0, 35.0, 45.0};
    fit.testingPredictions = {25.5, 34.0, 46.0};
    TrainingReport::plotFit(fit, dir.filePath("fit.png"));

    const QImage rms(dir.filePath("rms.png"));
    const QImage scatter(dir.filePath("fit.png"));
    ASSERT_FALSE(rms.isNull());
    ASSERT_FALSE(scatter.isNull());
    EXPECT_EQ(rms.size(), QSize(800, 560));
    // Both series of the fit are drawn in their own colours.
    EXPECT_GT(pixelsNear(scatter, QColor(31, 119, 180)), 200);
    EXPECT_GT(pixelsNear(scatter, QColor(255, 127, 14)), 20);
}

TEST(TrainingReport, AnUnwritableFileIsNamed)
{
    app();
    QTemporaryDir dir;
    try
    {
        TrainingReport::plotFit(OutputFit{"empty", {}, {}, {}, {}}, dir.filePath("missing/fit.png"));
        FAIL() << "no error for a missing folder";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ(std::string(error.what()),
                  "cannot write the plot " + dir.filePath("missing/fit.png").toStdString());
    }
}
