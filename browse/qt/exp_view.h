// CExpView: the folder tree in the main window's left pane. Choosing a folder makes it the
// input directory; its context menu creates folders, and folder labels rename them.
#pragma once

#include <QStringList>
#include <QTreeWidget>
#include <functional>

class QMenu;

class CExpView : public QTreeWidget {
    Q_OBJECT
  public:
    enum Command { kNewFolder = 32771, kRefresh = 32772 };

    // Where the special items point. desktop falls back to home when it does not exist;
    // drives are the file-system root and the mounted real volumes, each ending with "/".
    struct Places {
        QString desktop;
        QString documents;
        QString home;
        QStringList drives;
    };
    static Places systemPlaces();

    explicit CExpView(QWidget* parent = nullptr);
    CExpView(const Places& places, QWidget* parent = nullptr);

    // The item's folder with a trailing "/", "|" for My Computer, "" for no item.
    QString getItemPath(QTreeWidgetItem* item) const;
    // Brings the item's children in line with the folders on disk.
    void refreshChildren(QTreeWidgetItem* item);
    // Expands the tree down to directory and selects the deepest item on the way (the
    // folder itself when it is listed). True when the folder itself was reached.
    bool selectPath(const QString& directory);

    QTreeWidgetItem* desktopItem() const { return desktop_; }
    QTreeWidgetItem* myDocumentsItem() const { return documents_; }
    QTreeWidgetItem* homeItem() const { return home_; }
    QTreeWidgetItem* myComputerItem() const { return computer_; }
    static int kindOf(const QTreeWidgetItem* item);

    QMenu* contextMenu() const { return menu_; }
    QAction* newFolderAction() const { return newFolder_; }
    QAction* refreshAction() const { return refresh_; }

    // How failures are told to the user; a message box unless replaced (tests record them).
    void setMessageHandler(std::function<void(const QString&)> handler) {
        showMessage_ = std::move(handler);
    }
    // Called by the label editor when an edit ends with text (empty: cancelled).
    void finishLabelEdit(QTreeWidgetItem* item, const QString& text);

  signals:
    // A folder became selected: its path with a trailing "/" ("|" for My Computer).
    void inputDirectoryChanged(const QString& path);

  public slots:
    void newFolder();
    void refresh();

  protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void build();
    QTreeWidgetItem* addItem(QTreeWidgetItem* parent, const QString& label, int kind);
    QTreeWidgetItem* addFolder(QTreeWidgetItem* parent, const QString& label);
    void addSortedFolders(QTreeWidgetItem* parent, const QString& path);
    void onCurrentChanged(QTreeWidgetItem* item);
    void onExpandedOrCollapsed(QTreeWidgetItem* item);

    Places places_;
    bool filling_ = false;
    bool refreshing_ = false;
    QString oldPath_;
    QTreeWidgetItem* desktop_ = nullptr;
    QTreeWidgetItem* documents_ = nullptr;
    QTreeWidgetItem* home_ = nullptr;
    QTreeWidgetItem* computer_ = nullptr;
    QMenu* menu_;
    QAction* newFolder_;
    QAction* refresh_;
    std::function<void(const QString&)> showMessage_;
};
