// The histogram strip: luminance filled in grey, the three channels as lines over it, each
// scaled to the strip's height by the square root so that small counts still show.
#include "workflow/qt/histogram_strip.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "workflow/preview_chain.h"

HistogramStrip::HistogramStrip(QWidget* parent) : QWidget(parent) {
    setObjectName("histogram");
    setAccessibleName("histogram");
    setToolTip("Red, green, blue and luminance of the enhanced picture");
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
}

// Small hints: the strip takes the room of the panel rows beside it and never widens them.
QSize HistogramStrip::sizeHint() const {
    return QSize(8 * fontMetrics().averageCharWidth(), 4 * fontMetrics().height() + 48);
}

QSize HistogramStrip::minimumSizeHint() const {
    return QSize(6 * fontMetrics().averageCharWidth(), 4 * fontMetrics().height() + 24);
}

int HistogramStrip::textHeight() const {
    return fontMetrics()
               .boundingRect(QRect(0, 0, width(), 1 << 16), kTextFlags,
                             clippedText().replace("   ", "\n"))
               .height() +
           4;
}

void HistogramStrip::refresh() {
    if (chain_) setAccessibleDescription(clippedText());
    update();
}

QString HistogramStrip::clippedText() const {
    return chain_ ? QString::fromStdString(::clippedText(chain_->histogram())) : QString();
}

void HistogramStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Shadows above highlights, each wrapped to the strip's width.
    const int textHeight = this->textHeight();
    const QRect plot(2, 2, width() - 4, height() - textHeight - 4);
    p.fillRect(plot, QColor(24, 24, 24));
    if (!chain_ || plot.width() <= 0 || plot.height() <= 0) return;
    const Histogram& h = chain_->histogram();
    const double peak = std::sqrt(double(h.peak()));
    if (peak > 0) {
        const auto curve = [&](const Histogram::Counts& counts) {
            QPainterPath path(QPointF(plot.left(), plot.bottom()));
            for (int i = 0; i < Histogram::kBins; ++i) {
                const double x = plot.left() + (i + 0.5) * plot.width() / Histogram::kBins;
                const double y = plot.bottom() -
                                 std::sqrt(double(counts[size_t(i)])) / peak * (plot.height() - 1);
                path.lineTo(x, y);
            }
            return path;
        };
        QPainterPath luma = curve(h.luminance);
        luma.lineTo(plot.right(), plot.bottom());
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(luma, QColor(150, 150, 150));
        const QColor colours[3] = {QColor(255, 70, 70), QColor(70, 220, 70), QColor(90, 120, 255)};
        const Histogram::Counts* counts[3] = {&h.red, &h.green, &h.blue};
        for (int c = 0; c < 3; ++c) {
            p.setPen(QPen(colours[c], 1));
            p.drawPath(curve(*counts[c]));
        }
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(0, height() - textHeight, width(), textHeight), kTextFlags,
               clippedText().replace("   ", "\n"));
}
