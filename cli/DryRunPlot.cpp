#include "cli/DryRunPlot.h"

#include "cli/ChartFile.h"

#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ConfluxCli
{
using namespace QtCharts;

void plotDryRun(const std::map<std::string, std::vector<double>>& series, const QString& file)
{
    constexpr int width = 900;
    constexpr int height = 560;
    auto* chart = new QChart;
    chart->setTitle("Exchange values per iteration");
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    std::size_t last = 1;
    for (const auto& [path, values] : series)
    {
        auto* line = new QLineSeries;
        line->setName(QString::fromStdString(path));
        for (std::size_t i = 0; i < values.size(); ++i)
            if (std::isfinite(values[i]))
            {
                line->append(static_cast<double>(i + 1), values[i]);
                low = std::min(low, values[i]);
                high = std::max(high, values[i]);
            }
        last = std::max(last, values.size());
        chart->addSeries(line);
    }
    if (!(low <= high))
        low = high = 0.0;
    const double margin = high > low ? 0.05 * (high - low) : 1.0;
    auto* x = new QValueAxis;
    x->setTitleText("iteration");
    x->setLabelFormat("%d");
    x->setRange(1, static_cast<double>(last));
    auto* y = new QValueAxis;
    y->setTitleText("value");
    y->setRange(low - margin, high + margin);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* line : chart->series())
    {
        line->attachAxis(x);
        line->attachAxis(y);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);

    saveChartAsPng(chart, file, width, height);
}
} // namespace ConfluxCli
