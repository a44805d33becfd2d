// HistogramStrip: the histogram of the enhanced picture under the panel's controls, with the
// shares of clipped shadows and highlights as text. The core counts; the strip only draws.
#pragma once

#include <QWidget>

class PreviewChain;

class HistogramStrip : public QWidget {
    Q_OBJECT
  public:
    explicit HistogramStrip(QWidget* parent = nullptr);
    void setChain(const PreviewChain* chain) { chain_ = chain; }
    // The chain recomputed: draw its histogram again.
    void refresh();
    // The text under the curves, as last drawn.
    QString clippedText() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const PreviewChain* chain_ = nullptr;
};
