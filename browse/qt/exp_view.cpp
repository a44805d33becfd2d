// The folder tree: building it, item paths, lazy children, selection, the context menu's
// commands and renaming by label editing, on top of the core's folder rules.
#include "browse/qt/exp_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include "browse/folder_rules.h"
#include "browse/path_helpers.h"
#include "browse/qt/qt_paths.h"

using namespace folders;

namespace {

constexpr int kPathRole = Qt::UserRole + 1;  // the folder of a "My Documents"-like item

// Ends label edits through the view, which renames on disk before the label changes.
class LabelDelegate : public QStyledItemDelegate {
  public:
    LabelDelegate(CExpView* view) : QStyledItemDelegate(view), view_(view) {}
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = view_->itemFromIndex(index);
        if (line && item) view_->finishLabelEdit(item, line->text());
    }

  private:
    CExpView* view_;
};

QString withSlash(QString path) {
    if (!path.endsWith('/')) path += '/';
    return path;
}

QString withoutSlash(QString path) {
    if (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

}  // namespace

CExpView::Places CExpView::systemPlaces() {
    Places p;
    p.home = QDir::homePath();
    p.desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (p.desktop.isEmpty() || !QFileInfo(p.desktop).isDir()) p.desktop = p.home;
    p.documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    p.drives.append("/");
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Real volumes only: backed by a device, a folder (not a file bound over another).
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || root == "/") continue;
        if (!volume.device().startsWith("/dev/") || !QFileInfo(root).isDir()) continue;
        if (volume.fileSystemType() == "squashfs") continue;  // packaged software images
        if (!p.drives.contains(withSlash(root))) p.drives.append(withSlash(root));
    }
    return p;
}

CExpView::CExpView(QWidget* parent) : CExpView(systemPlaces(), parent) {}

CExpView::CExpView(const Places& places, QWidget* parent)
    : QTreeWidget(parent), places_(places), menu_(new QMenu(this)) {
    setObjectName("folder tree");
    setAccessibleName("folder tree");
    setHeaderHidden(true);
    // Long names scroll sideways instead of being cut off in the narrow pane.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setItemDelegate(new LabelDelegate(this));
    showMessage_ = [this](const QString& text) {
        QMessageBox::warning(this, "Vantifex", text, QMessageBox::Ok);
    };

    menu_->setObjectName("folder menu");
    menu_->setAccessibleName("folder menu");
    newFolder_ = menu_->addAction("New Folder...");
    newFolder_->setObjectName("New Folder...");
    newFolder_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    refresh_ = menu_->addAction("Refresh");
    refresh_->setObjectName("Refresh");
    refresh_->setShortcut(QKeySequence::Refresh);
    for (QAction* a : {newFolder_, refresh_}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        addAction(a);
    }
    connect(newFolder_, &QAction::triggered, this, &CExpView::newFolder);
    connect(refresh_, &QAction::triggered, this, &CExpView::refresh);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { onCurrentChanged(item); });
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { onExpandedOrCollapsed(item); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { onExpandedOrCollapsed(item); });
    build();
}

int CExpView::kindOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

QTreeWidgetItem* CExpView::addItem(QTreeWidgetItem* parent, const QString& label, int kind) {
    QTreeWidgetItem* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, label);
    item->setData(0, Qt::UserRole, kind);
    QStyle* s = style();
    QIcon icon;
    switch (kind) {
        case kDesktop:
            icon = s->standardIcon(QStyle::SP_DesktopIcon);
            break;
        case kMyComputer:
            icon = s->standardIcon(QStyle::SP_ComputerIcon);
            break;
        case kDrive:
            icon = s->standardIcon(QStyle::SP_DriveHDIcon);
            break;
        case kMyDocuments:
            icon = s->standardIcon(QStyle::SP_DirHomeIcon);
            break;
        case kFolder:
            // Closed normally, open when selected.
            icon.addPixmap(s->standardIcon(QStyle::SP_DirClosedIcon).pixmap(16), QIcon::Normal);
            icon.addPixmap(s->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16), QIcon::Selected);
            break;
        default:
            icon = s->standardIcon(QStyle::SP_FileIcon);
            break;
    }
    item->setIcon(0, icon);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (kind == kFolder) flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

QTreeWidgetItem* CExpView::addFolder(QTreeWidgetItem* parent, const QString& label) {
    QTreeWidgetItem* item = addItem(parent, label, kFolder);
    addItem(item, kPlaceholderLabel, kPlaceholder);
    return item;
}

void CExpView::addSortedFolders(QTreeWidgetItem* parent, const QString& path) {
    std::vector<std::string> subs = listSubdirectories(toLocalPath(path));
    paths::sortNames(subs);
    for (const std::string& s : subs) addFolder(parent, fromLocalPath(displayName(s)));
}

void CExpView::build() {
    filling_ = true;
    desktop_ = addItem(nullptr, "Desktop", kDesktop);
    documents_ = addItem(desktop_, "My Documents", kMyDocuments);
    documents_->setData(0, kPathRole, places_.documents);
    addSortedFolders(documents_, places_.documents);
    home_ = addItem(desktop_, "Home", kMyDocuments);
    home_->setData(0, kPathRole, places_.home);
    addSortedFolders(home_, places_.home);
    computer_ = addItem(desktop_, "My Computer", kMyComputer);
    for (const QString& drive : places_.drives) {
        QTreeWidgetItem* d = addItem(computer_, drive, kDrive);
        addSortedFolders(d, drive);
    }
    addSortedFolders(desktop_, places_.desktop);
    expandItem(desktop_);
    expandItem(computer_);
    filling_ = false;
}

QString CExpView::getItemPath(QTreeWidgetItem* item) const {
    QString path;
    for (QTreeWidgetItem* it = item; it; it = it->parent()) {
        const int kind = kindOf(it);
        QString segment;
        if (kind == kDesktop)
            segment = places_.desktop;
        else if (kind == kMyComputer)
            return kMyComputerPath;
        else if (kind == kMyDocuments)
            segment = it->data(0, kPathRole).toString();
        else if (kind != kPlaceholder)
            segment = it->text(0);
        if (!segment.isEmpty()) path = withSlash(segment) + path;
        if (kind == kDrive || kind == kMyDocuments) break;
    }
    return path;
}

void CExpView::refreshChildren(QTreeWidgetItem* item) {
    if (!item) return;
    const QString path = getItemPath(item);
    if (path.isEmpty()) return;
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    refreshing_ = true;
    std::vector<std::string> names;
    if (path == kMyComputerPath) {
        for (const QString& d : places_.drives) names.push_back(toLocalPath(d));
    } else {
        names = listSubdirectories(toLocalPath(path));
    }
    std::vector<ChildItem> children;
    for (int i = 0; i < item->childCount(); ++i)
        children.push_back({toLocalPath(item->child(i)->text(0)), kindOf(item->child(i))});
    const ChildUpdate update = planChildren(children, std::move(names));
    for (auto i = update.remove.rbegin(); i != update.remove.rend(); ++i)
        delete item->takeChild(int(*i));
    for (const std::string& entry : update.add) {
        if (path == kMyComputerPath)
            addItem(item, fromLocalPath(entry), kDrive);
        else
            addFolder(item, fromLocalPath(displayName(entry)));
    }
    refreshing_ = false;
    setUpdatesEnabled(updates);
}

void CExpView::onExpandedOrCollapsed(QTreeWidgetItem* item) {
    if (!filling_) refreshChildren(item);
}

void CExpView::onCurrentChanged(QTreeWidgetItem* item) {
    if (filling_ || !item) return;
    if (refreshing_) {
        // The selected folder vanished during a refresh: handle its successor afterwards.
        QTimer::singleShot(0, this, [this] { onCurrentChanged(currentItem()); });
        return;
    }
    refreshChildren(item);
    emit inputDirectoryChanged(getItemPath(item));
}

bool CExpView::selectPath(const QString& directory) {
    const QString target = withSlash(QDir::cleanPath(directory));
    // The special item or drive whose folder holds the target most closely.
    QTreeWidgetItem* best = nullptr;
    int bestLength = -1;
    QList<QTreeWidgetItem*> starts{desktop_, documents_, home_};
    for (int i = 0; i < computer_->childCount(); ++i) starts.append(computer_->child(i));
    for (QTreeWidgetItem* s : starts) {
        const QString p = getItemPath(s);
        if (!p.isEmpty() && target.startsWith(p) && p.size() > bestLength) {
            best = s;
            bestLength = int(p.size());
        }
    }
    if (!best) return false;
    QTreeWidgetItem* item = best;
    const QStringList rest = target.mid(bestLength).split('/', Qt::SkipEmptyParts);
    bool reached = true;
    for (const QString& name : rest) {
        refreshChildren(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == name && kindOf(item->child(i)) == kFolder)
                next = item->child(i);
        if (!next) {
            reached = false;  // a hidden folder, or one that is gone
            break;
        }
        expandItem(item);
        item = next;
    }
    setCurrentItem(item);
    scrollToItem(item);
    return reached;
}

void CExpView::refresh() {
    refreshChildren(currentItem());
}

void CExpView::newFolder() {
    QTreeWidgetItem* item = currentItem();
    if (!item) return;
    const QString path = getItemPath(item);
    if (path.isEmpty() || path == kMyComputerPath) return;
    std::vector<std::string> existing;
    for (const std::string& s : listSubdirectories(toLocalPath(path)))
        existing.push_back(displayName(s));
    const std::string name = newFolderName(existing);
    std::string why;
    if (!createFolder(toLocalPath(path) + name, &why))
        showMessage_(QString("The folder \"%1\" could not be created in %2: %3.")
                         .arg(fromLocalPath(name), path, fromLocalPath(why)));
    refresh();
}

bool CExpView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    QTreeWidgetItem* item = itemFromIndex(index);
    if (!item || kindOf(item) != kFolder) return false;  // only folders can be renamed
    const bool started = QTreeWidget::edit(index, trigger, event);
    if (started) oldPath_ = withoutSlash(getItemPath(item));
    return started;
}

void CExpView::finishLabelEdit(QTreeWidgetItem* item, const QString& text) {
    const QString itemPath = getItemPath(item);
    const QString oldPath = oldPath_;
    oldPath_.clear();
    if (text.isEmpty() || itemPath.isEmpty() || oldPath.isEmpty()) return;
    if (text == item->text(0)) return;  // renamed to its own name
    std::string why;
    if (!renameFolder(toLocalPath(oldPath), toLocalPath(text), &why)) {
        showMessage_(QString("The folder \"%1\" could not be renamed to \"%2\": %3")
                         .arg(item->text(0), text, fromLocalPath(why)));
        // Show what is on disk now, whatever the failure left.
        refreshChildren(item->parent());
        return;
    }
    item->setText(0, text);
    // The input folder moved with it when it was this folder or one inside it.
    for (QTreeWidgetItem* it = currentItem(); it; it = it->parent())
        if (it == item) {
            emit inputDirectoryChanged(getItemPath(currentItem()));
            break;
        }
}

void CExpView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // On an item: select it, then offer the menu; on empty space no menu.
        if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) {
            setCurrentItem(item);
            menu_->popup(event->globalPosition().toPoint());
        }
    }
    QTreeWidget::mousePressEvent(event);
}

void CExpView::contextMenuEvent(QContextMenuEvent* event) {
    // The mouse's menu opens on the press; the keyboard's menu key opens it at the item.
    if (event->reason() == QContextMenuEvent::Keyboard && currentItem())
        menu_->popup(viewport()->mapToGlobal(visualItemRect(currentItem()).center()));
    event->accept();
}
