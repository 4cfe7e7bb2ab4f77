#include "ui/dialogs/FileBro.h"

#include "core/Mod.h"
#include "forms/Wording.h"
#include "platform/qt/PickerPlaces.h"
#include "ui/dialogs/DirList.h"
#include "ui/dialogs/FolderListing.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/FormControls.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

namespace {

constexpr int kRootRole = Qt::UserRole;
constexpr int kMostRows = 20;

// The longest root path that holds folder: the file system the folder lives on.
int volumeIndexOf(const QComboBox* drives, const QByteArray& folder) {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < drives->count(); ++i) {
        const QByteArray root = drives->itemData(i, kRootRole).toByteArray();
        const bool holds =
            root == "/" || folder == root || folder.startsWith(root.endsWith('/') ? root : root + '/');
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

// Natural order: runs of digits compare by their value, so a file system named 10 comes after 9.
bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i, sj = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const QString x = a.mid(si, i - si), y = b.mid(sj, j - sj);
            if (x.size() != y.size() || x != y)
                return x.size() != y.size() ? x.size() < y.size() : x < y;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i, ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

void fillDrives(QComboBox* drives, QStringList roots) {
    // The root always holds everything, even when the system lists no volume for it.
    roots.append(QStringLiteral("/"));
    std::sort(roots.begin(), roots.end(), naturalLess);
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    for (const QString& root : roots) {
        const QByteArray bytes = QFile::encodeName(root);
        drives->addItem(shownPath(bytes), bytes);
    }
    // A pop-up of a few rows with a scroll bar, however many file systems are mounted; the
    // style's menu-like pop-up would show every row and ignore the limit.
    drives->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    drives->setMaxVisibleItems(kMostRows);
}
} // namespace

FileBro::FileBro(Mod& mod, const VolumeList& volumes, QWidget* parent) : QWidget(parent), m_mod(mod) {
    setUpToolWindow(this, "FileBro", toQString(layout::kFileBro.caption));
    resize(clientSize(layout::kFileBro));

    const FormControls controls(this, layout::kFileBro, [](const layout::Control& row, QWidget* parent) {
        return row.kind == layout::Kind::DirList ? new DirList(parent) : nullptr;
    });
    Drive1 = controls.get<QComboBox>("Drive1");
    Drive1->setAccessibleName(toQString(layout::kDrivesName));
    File1 = controls.get<QListWidget>("File1");
    File1->setAccessibleName(toQString(layout::kFilesName));
    Dir1 = controls.get<DirList>("Dir1");
    Dir1->setAccessibleName(toQString(layout::kFoldersName));
    Check1 = controls.get<QCheckBox>("Check1");
    // It shows what the next run does: the last confirmed choice, and a change counts at once.
    Check1->setChecked(m_mod.recursive);
    connect(Check1, &QCheckBox::toggled, this, [this](bool on) { m_mod.recursive = on; });
    clickFocusedButtonsOnEnter(this);
    showFocusCue(Dir1);
    showFocusCue(File1);

    fillDrives(Drive1, volumes ? volumes() : QStringList());
    connect(Dir1, &DirList::folderChanged, this, &FileBro::dir1Change);
    // Every fresh picker starts at the process's current folder, or as near to it as it can.
    Dir1->setFolderOrNearest(platform::startFolder());
    if (Dir1->folder().isEmpty())
        Dir1->setFolderOrNearest(QFile::encodeName(QDir::homePath()));
    connect(Drive1, &QComboBox::currentIndexChanged, this, &FileBro::drive1Change);
    connect(controls.get<QPushButton>("Command1"), &QPushButton::clicked, this, &FileBro::command1Click);
}

QString FileBro::currentFolder() const { return QFile::decodeName(Dir1->folder()); }

void FileBro::showDriveOf(const QByteArray& folder) {
    const int index = volumeIndexOf(Drive1, folder);
    if (index >= 0) {
        const QSignalBlocker quiet(Drive1);
        Drive1->setCurrentIndex(index);
    }
}

void FileBro::drive1Change(int index) {
    if (index < 0)
        return;
    // A drive that cannot be entered leaves Dir1 and File1 where they were; Drive1
    // keeps showing the drive the user picked.
    if (!Dir1->setFolder(Drive1->itemData(index, kRootRole).toByteArray()))
        MessageBox::show(this, toQString(layout::kMessageTitle), toQString(layout::kDriveUnavailable),
                         MessageBox::Icon::Information);
}

void FileBro::dir1Change(const QByteArray& folder) {
    showDriveOf(folder);
    File1->clear();
    // Hidden files stay out, as in any file list; display only.
    for (const ListedName& file : listFolder(folder, EntryKind::Files))
        File1->addItem(file.shown);
}

void FileBro::command1Click() { close(); }

void FileBro::closeEvent(QCloseEvent* event) {
    // Any close confirms, once: the confirm button's close and a second close while
    // the window goes away store the same folder again, which would change nothing.
    // With no folder shown there is nothing the user could have meant to confirm.
    if (!m_confirmed && !Dir1->folder().isEmpty()) {
        // The folder lists show and take POSIX paths.
        confirmFolder(m_mod, Dir1->folder().toStdString(), platform::kPosixPaths);
        m_mod.recursive = Check1->isChecked();
        m_confirmed = true;
    }
    event->accept();
}
