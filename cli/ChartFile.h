#pragma once
// Qt Charts drawn without a display: the caller must have made a QApplication (the offscreen
// platform serves).
#include <QString>

namespace QtCharts
{
class QChart;
}

namespace ConfluxCli
{
/// Renders the chart (taking ownership) at width x height pixels on white into a PNG file; throws
/// std::runtime_error naming the file when it cannot be written.
void saveChartAsPng(QtCharts::QChart* chart, const QString& file, int width, int height);
} // namespace ConfluxCli
