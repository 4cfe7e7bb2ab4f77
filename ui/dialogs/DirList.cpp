#include "ui/dialogs/DirList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
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

bool canEnter(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}
} // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new DepthDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::openRow);
}

bool DirList::setFolder(const QString& path) {
    const QString folder = QDir::cleanPath(QDir(path).absolutePath());
    if (!canEnter(folder))
        return false;

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    clear();
    // The path from the root down to the folder itself.
    QStringList parts = folder.split(u'/', Qt::SkipEmptyParts);
    QString prefix = QStringLiteral("/");
    auto addRow = [this](const QIcon& icon, const QString& text, const QString& rowPath, int depth) {
        auto* item = new QListWidgetItem(icon, text, this);
        item->setData(kPathRole, rowPath);
        item->setData(kDepthRole, depth);
        return item;
    };
    QListWidgetItem* current = addRow(openIcon, prefix, prefix, 0);
    int depth = 0;
    for (const QString& part : parts) {
        prefix = prefix.endsWith(u'/') ? prefix + part : prefix + u'/' + part;
        current = addRow(openIcon, part, prefix, ++depth);
    }
    // Its subfolders; hidden ones stay out of the way, as in the file list.
    const QStringList children =
        QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& child : children) {
        const QString childPath = folder.endsWith(u'/') ? folder + child : folder + u'/' + child;
        addRow(closedIcon, child, childPath, depth + 1);
    }
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
    // A folder that vanished or became unreadable since the list was drawn stays
    // unopened; the list is redrawn from what is there now.
    if (!setFolder(item->data(kPathRole).toString()))
        setFolderOrNearest(m_folder);
}

void DirList::setFolderOrNearest(const QString& path) {
    QString candidate = QDir::cleanPath(QDir(path).absolutePath());
    while (!setFolder(candidate)) {
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate)
            return;
        candidate = parent;
    }
}
