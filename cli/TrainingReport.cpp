#include "cli/TrainingReport.h"

#include "cli/ChartFile.h"

#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace ConfluxCli
{
namespace
{
using namespace QtCharts;

constexpr int Width = 800;
constexpr int Height = 560;

void save(QChart* chart, const QString& file)
{
    saveChartAsPng(chart, file, Width, Height);
}

QScatterSeries* scatter(const QString& name, const std::vector<double>& x, const std::vector<double>& y,
                        const QColor& colour, double& low, double& high)
{
    auto* series = new QScatterSeries;
    series->setName(name);
    series->setMarkerSize(5.0);
    series->setColor(colour);
    series->setBorderColor(colour);
    for (size_t i = 0; i < std::min(x.size(), y.size()); ++i)
    {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            continue;
        series->append(x[i], y[i]);
        low = std::min({low, x[i], y[i]});
        high = std::max({high, x[i], y[i]});
    }
    return series;
}
} // namespace

void TrainingReport::plotRmsHistory(const std::vector<std::pair<int, double>>& history, const QString& file)
{
    auto* chart = new QChart;
    chart->setTitle("RMS error per iteration");
    auto* series = new QLineSeries;
    series->setName("training RMS error");
    double low = std::numeric_limits<double>::infinity();
    double high = 0.0;
    int last = 1;
    for (const auto& [iteration, rms] : history)
    {
        if (!(rms > 0.0) || !std::isfinite(rms))
            continue;
        series->append(iteration, rms);
        low = std::min(low, rms);
        high = std::max(high, rms);
        last = std::max(last, iteration);
    }
    chart->addSeries(series);
    chart->legend()->hide();
    auto* x = new QValueAxis;
    x->setTitleText("iteration");
    x->setLabelFormat("%d");
    x->setRange(0, last);
    auto* y = new QLogValueAxis;
    y->setTitleText("RMS error (scaled)");
    y->setLabelFormat("%.0e");
    y->setBase(10.0);
    if (series->count() > 0)
        y->setRange(std::pow(10.0, std::floor(std::log10(low))), std::pow(10.0, std::ceil(std::log10(high))));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    save(chart, file);
}

void TrainingReport::plotFit(const OutputFit& fit, const QString& file)
{
    auto* chart = new QChart;
    chart->setTitle(fit.name);
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    auto* training = scatter("training cases", fit.trainingTargets, fit.trainingPredictions,
                             QColor(31, 119, 180), low, high);
    auto* testing =
        scatter("testing cases", fit.testingTargets, fit.testingPredictions, QColor(255, 127, 14), low, high);
    if (!std::isfinite(low))
        low = 0.0, high = 1.0;
    if (high <= low)
        high = low + 1.0;
    const double margin = 0.03 * (high - low);
    low -= margin;
    high += margin;
    auto* identity = new QLineSeries;
    identity->setName("predicted = target");
    identity->setPen(QPen(Qt::black, 1.0, Qt::DashLine));
    identity->append(low, low);
    identity->append(high, high);
    chart->addSeries(identity);
    chart->addSeries(training);
    if (testing->count() > 0)
        chart->addSeries(testing);
    else
        delete testing;
    auto* x = new QValueAxis;
    x->setTitleText("target");
    x->setRange(low, high);
    auto* y = new QValueAxis;
    y->setTitleText("predicted");
    y->setRange(low, high);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series())
    {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    save(chart, file);
}
} // namespace ConfluxCli
