// HoverButton: the push button of the panel and the dialog bar, whose background lightens
// under the pointer so the button about to be pressed stands out.
#pragma once

#include <QPushButton>

class HoverButton : public QPushButton {
    Q_OBJECT
  public:
    // How much each channel of the background lightens under the pointer.
    static constexpr int kLighten = 30;

    explicit HoverButton(const QString& text, QWidget* parent = nullptr);

    // The normal background lightened by kLighten per channel, stopping at 255.
    static QColor lightened(const QColor& normal);
    bool hovered() const { return hovered_; }

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void setHovered(bool on);

    bool hovered_ = false;
};
