// DirView, the tabs below the editor ("input directory", "output directory"), and DirFrame,
// one tab's page: a toolbar for zoom and marks above one thumbnail view.
#pragma once

#include <QTabWidget>

class PhototView;
class QAction;
class QToolBar;

class DirFrame : public QWidget {
    Q_OBJECT
  public:
    // view is the page's thumbnail view; the frame takes it as its child.
    DirFrame(PhototView* view, const QString& name, QWidget* parent = nullptr);
    PhototView* view() const { return view_; }
    QToolBar* toolBar() const { return toolBar_; }
    QAction* zoomInAction() const { return zoomIn_; }
    QAction* zoomOutAction() const { return zoomOut_; }
    QAction* selectAllAction() const { return selectAll_; }
    QAction* unselectAllAction() const { return unselectAll_; }

  private:
    QAction* addCommand(const QString& text, const char* icon, const QKeySequence& key);

    PhototView* view_;
    QToolBar* toolBar_;
    QAction* zoomIn_;
    QAction* zoomOut_;
    QAction* selectAll_;
    QAction* unselectAll_;
};

// The tab control of the directory form is the widget itself.
class DirView : public QTabWidget {
    Q_OBJECT
  public:
    static constexpr int kTabControlId = 1117;

    explicit DirView(QWidget* parent = nullptr);
    PhototView* inputView() const { return input_; }
    PhototView* outputView() const { return output_; }
    DirFrame* page(int index) const { return index == 0 ? inputFrame_ : outputFrame_; }
    QTabWidget* tabs() { return this; }

  private:
    PhototView* input_;
    PhototView* output_;
    DirFrame* inputFrame_;
    DirFrame* outputFrame_;
};
