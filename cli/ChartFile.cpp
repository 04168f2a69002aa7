#include "cli/ChartFile.h"

#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QtCharts/QChart>

#include <stdexcept>

namespace ConfluxCli
{
void saveChartAsPng(QtCharts::QChart* chart, const QString& file, int width, int height)
{
    QGraphicsScene scene; // owns the chart from here on
    scene.addItem(chart);
    chart->setGeometry(0, 0, width, height);
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    }
    if (!image.save(file, "PNG"))
        throw std::runtime_error("cannot write the plot " + file.toStdString());
}
} // namespace ConfluxCli
