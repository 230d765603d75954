#include "platform/picture.h"
#include "platform/application.h"
#include "platform/qt_support.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <string>

namespace platform {

struct OffscreenToolkit::Impl {
    HeadlessEnvironment environment; // before the application
    int argc = 1;
    char name[16] = "quorvane";
    char* argv[2] = {name, nullptr};
    QApplication* app = nullptr;
};

OffscreenToolkit::OffscreenToolkit() : impl_(new Impl) {
    if (QApplication::instance() == nullptr)
        impl_->app = new QApplication(impl_->argc, impl_->argv);
}

OffscreenToolkit::~OffscreenToolkit() {
    delete impl_->app;
    delete impl_; // the runtime folder goes with it, after the application
}

namespace {

bool Encode(const QImage& image, std::FILE* out) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return false;
    const auto size = static_cast<std::size_t>(bytes.size());
    return std::fwrite(bytes.constData(), 1, size, out) == size;
}

QFont TextFont(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

namespace {

// The picture drawn into an image of its size.
QImage Render(const IndexedPicture& p) {
    QImage image(p.width, p.height, QImage::Format_RGB32);
    image.fill(ToQColor(p.background));
    for (int row = 0; row < p.rasterHeight; ++row) {
        const std::uint8_t* from =
            p.indices.data() + static_cast<std::size_t>(p.rasterHeight - 1 - row) * p.rasterWidth;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(p.rasterY + row)) + p.rasterX;
        for (int x = 0; x < p.rasterWidth; ++x) line[x] = 0xFF000000u | p.palette[from[x]];
    }
    QPainter painter(&image);
    for (const PictureLine& l : p.lines) {
        painter.setPen(QPen(ToQColor(l.colour), 1));
        painter.drawLine(l.x1, l.y1, l.x2, l.y2);
    }
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(ToQColor(p.ink));
    for (const PictureText& t : p.texts) {
        // A text wider than the picture is set smaller, and every text is
        // kept inside the picture.
        const QString text = QString::fromStdString(t.text);
        painter.setFont(TextFont(p.textPixels, t.bold));
        int w = QFontMetrics(painter.font()).horizontalAdvance(text);
        if (w > p.width - 4 && w > 0) {
            painter.setFont(TextFont(std::max(7, p.textPixels * (p.width - 4) / w), t.bold));
            w = QFontMetrics(painter.font()).horizontalAdvance(text);
        }
        const QFontMetrics metrics(painter.font());
        int x = t.anchor == TextAnchor::Left    ? t.x
                : t.anchor == TextAnchor::Right ? t.x - w
                                                : t.x - w / 2;
        x = std::max(0, std::min(x, p.width - w));
        painter.drawText(x, t.y + (metrics.ascent() - metrics.descent()) / 2, text);
    }
    painter.end();
    return image;
}

} // namespace

bool WritePng(const IndexedPicture& p, std::FILE* out) {
    if (p.width <= 0 || p.height <= 0) return false;
    return Encode(Render(p), out);
}

bool WritePng(const std::vector<IndexedPicture>& pictures, std::FILE* out) {
    int width = 0, height = 0;
    for (const IndexedPicture& p : pictures) {
        if (p.width <= 0 || p.height <= 0) return false;
        width += p.width;
        height = std::max(height, p.height);
    }
    if (width == 0) return false;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(ToQColor(pictures.front().background));
    {
        QPainter painter(&image);
        int x = 0;
        for (const IndexedPicture& p : pictures) {
            painter.drawImage(x, 0, Render(p));
            x += p.width;
        }
    }
    return Encode(image, out);
}

namespace {

// The chart drawn into an image of its size.
QImage Render(const Chart& c) {
    // The scene owns the chart; nothing is shown, the scene is only painted
    // into the image.
    QGraphicsScene scene;
    auto* owned = new QChart;
    scene.addItem(owned);
    QChart& chart = *owned;
    QString title = QString::fromStdString(c.title).toHtmlEscaped();
    if (!c.subtitle.empty()) {
        // Two lines make the title a text block, which sets lines flush
        // left unless told otherwise.
        title = "<p align=\"center\">" + title +
                "<br><span style=\"font-size:12px; font-weight:normal\">" +
                QString::fromStdString(c.subtitle).toHtmlEscaped() + "</span></p>";
    }
    chart.setTitle(title);
    chart.setTitleFont(TextFont(15, true));
    chart.setBackgroundRoundness(0);
    chart.setAnimationOptions(QChart::NoAnimation);
    chart.legend()->setAlignment(c.legendRight ? Qt::AlignRight : Qt::AlignBottom);
    chart.legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    chart.legend()->setFont(TextFont(12, false));

    auto makeAxis = [](const ChartAxis& a) -> QAbstractAxis* {
        if (a.logarithmic) {
            auto* axis = new QLogValueAxis;
            axis->setBase(10);
            axis->setRange(a.min, a.max);
            axis->setLabelFormat(QString::fromStdString(a.format));
            axis->setMinorTickCount(8);
            return axis;
        }
        auto* axis = new QValueAxis;
        axis->setRange(a.min, a.max);
        axis->setTickCount(a.ticks);
        axis->setLabelFormat(QString::fromStdString(a.format));
        return axis;
    };
    QAbstractAxis* x = makeAxis(c.x);
    QAbstractAxis* y = makeAxis(c.y);
    for (QAbstractAxis* a : {x, y}) {
        a->setLabelsFont(TextFont(12, false));
        a->setTitleFont(TextFont(13, false));
    }
    x->setTitleText(QString::fromStdString(c.x.title));
    y->setTitleText(QString::fromStdString(c.y.title));
    chart.addAxis(x, Qt::AlignBottom);
    chart.addAxis(y, Qt::AlignLeft);

    for (const ChartSeries& s : c.series) {
        QXYSeries* series = nullptr;
        if (s.kind == ChartSeries::Kind::Points) {
            auto* points = new QScatterSeries;
            points->setMarkerSize(9);
            points->setColor(ToQColor(s.colour));
            points->setBorderColor(ToQColor(s.colour));
            series = points;
        } else {
            series = new QLineSeries;
            QPen pen(ToQColor(s.colour), 2);
            if (s.dashed) pen.setStyle(Qt::DashLine);
            if (s.dotted) pen.setStyle(Qt::DotLine);
            series->setPen(pen);
            series->setPointsVisible(s.kind == ChartSeries::Kind::LinePoints);
        }
        series->setName(QString::fromStdString(s.name));
        for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i)
            series->append(s.x[i], s.y[i]);
        chart.addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        if (!s.inLegend)
            for (QLegendMarker* m : chart.legend()->markers(series)) m->setVisible(false);
        for (std::size_t i = 0; i < s.x.size() && i < s.low.size() && i < s.high.size(); ++i) {
            auto* bar = new QLineSeries;
            bar->setPen(QPen(ToQColor(s.colour), 1.5));
            bar->append(s.x[i], s.low[i]);
            bar->append(s.x[i], s.high[i]);
            chart.addSeries(bar);
            bar->attachAxis(x);
            bar->attachAxis(y);
            for (QLegendMarker* m : chart.legend()->markers(bar)) m->setVisible(false);
        }
    }

    if (!c.top.at.empty()) {
        auto* top = new QCategoryAxis;
        top->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        top->setRange(c.x.min, c.x.max);
        top->setStartValue(c.x.min);
        for (std::size_t i = 0; i < c.top.at.size() && i < c.top.labels.size(); ++i)
            top->append(QString::fromStdString(c.top.labels[i]), c.top.at[i]);
        top->setTitleText(QString::fromStdString(c.top.title));
        top->setLabelsFont(TextFont(12, false));
        top->setTitleFont(TextFont(13, false));
        top->setGridLineVisible(false);
        chart.addAxis(top, Qt::AlignTop);
        // An axis shows only with a series on it: an empty one, out of the
        // legend.
        auto* carrier = new QLineSeries;
        chart.addSeries(carrier);
        carrier->attachAxis(top);
        carrier->attachAxis(y);
        for (QLegendMarker* m : chart.legend()->markers(carrier)) m->setVisible(false);
    }

    // Axes and legend are laid out by posted events, as in a window.
    chart.setGeometry(0, 0, c.width, c.height);
    QCoreApplication::processEvents();
    QImage image(c.width, c.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        scene.render(&painter, QRectF(0, 0, c.width, c.height), QRectF(0, 0, c.width, c.height));
    }
    return image;
}

} // namespace

bool WritePng(const Chart& c, std::FILE* out) {
    if (c.width <= 0 || c.height <= 0) return false;
    return Encode(Render(c), out);
}

bool WritePng(const std::vector<Chart>& charts, std::FILE* out) {
    int width = 0, height = 0;
    for (const Chart& c : charts) {
        if (c.width <= 0 || c.height <= 0) return false;
        width += c.width;
        height = std::max(height, c.height);
    }
    if (width == 0) return false;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        int x = 0;
        for (const Chart& c : charts) {
            painter.drawImage(x, 0, Render(c));
            x += c.width;
        }
    }
    return Encode(image, out);
}

} // namespace platform
