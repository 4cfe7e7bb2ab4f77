#include "ui/dialogs/DirList.h"

#include "forms/ReasonText.h"
#include "ui/dialogs/FolderListing.h"
#include "ui/dialogs/MessageBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndent = 12;

// Shifts each row right by its depth, which draws the path as a staircase.
class DepthDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + index.data(kDepthRole).toInt() * kIndent);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += index.data(kDepthRole).toInt() * kIndent;
        return size;
    }
};

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray child(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}
} // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new DepthDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::openRow);
}

QListWidgetItem* DirList::addRow(bool open, const QString& text, const QByteArray& path, int depth) {
    auto* item = new QListWidgetItem(
        style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon), text, this);
    item->setData(kPathRole, path);
    item->setData(kDepthRole, depth);
    return item;
}

bool DirList::setFolder(const QByteArray& path) {
    const QByteArray folder = path.size() > 1 && path.endsWith('/') ? path.chopped(1) : path;
    if (std::error_code error = enterError(folder)) {
        m_enterError = error;
        return false;
    }
    clear();
    // The path from the root down to the folder itself, then its visible subfolders.
    QByteArray prefix("/");
    QListWidgetItem* current = addRow(true, QStringLiteral("/"), prefix, 0);
    int depth = 0;
    for (const QByteArray& part : folder.split('/')) {
        if (part.isEmpty())
            continue;
        prefix = child(prefix, part);
        current = addRow(true, shownPath(part), prefix, ++depth);
    }
    for (const ListedName& sub : listFolder(folder, EntryKind::Folders))
        addRow(false, sub.shown, child(folder, sub.name), depth + 1);
    setCurrentItem(current);
    scrollToItem(current);

    const bool changed = folder != m_folder;
    m_folder = folder;
    if (changed)
        emit folderChanged(m_folder);
    return true;
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirList::openRow(QListWidgetItem* item) {
    if (!item)
        return;
    // A folder that cannot be opened (no permission, renamed or removed since the list was
    // drawn) says why; the lists stay where they were.
    const QByteArray path = item->data(kPathRole).toByteArray();
    if (!setFolder(path))
        MessageBox::show(this, QStringLiteral(":)"),
                         QStringLiteral("无法打开文件夹“%1”：%2")
                             .arg(shownPath(path), QString::fromStdString(chineseSystemError(m_enterError))),
                         MessageBox::Icon::Information);
}

void DirList::setFolderOrNearest(const QByteArray& path) {
    QByteArray candidate = path;
    while (!setFolder(candidate) && candidate != "/")
        candidate = parentOf(candidate);
}
