// HistogramStrip: the histogram of the enhanced picture beside the panel's tone controls, with
// the shares of clipped shadows and highlights as text. The core counts; the strip only draws.
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
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    static constexpr int kTextFlags = Qt::AlignCenter | Qt::TextWordWrap;
    // The height of the text under the curves at the strip's width.
    int textHeight() const;

    const PreviewChain* chain_ = nullptr;
};
