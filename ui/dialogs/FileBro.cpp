#include "ui/dialogs/FileBro.h"

#include "core/Mod.h"
#include "ui/dialogs/DirList.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/widgets/DesignUnits.h"
#include "ui/widgets/WindowSetup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <algorithm>

namespace {

// The longest root path that holds folder: the file system the folder lives on.
int volumeIndexOf(const QComboBox* drives, const QString& folder) {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < drives->count(); ++i) {
        const QString root = drives->itemText(i);
        const bool holds = root == QLatin1String("/") || folder == root ||
                           folder.startsWith(root.endsWith(u'/') ? root : root + u'/');
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

// The process's current folder; when it was deleted, the path it had, so that the picker can
// start at the nearest folder above it.
QString startFolder() {
    const QString current = QDir::currentPath();
    if (!current.isEmpty())
        return current;
    QString was = QFileInfo(QStringLiteral("/proc/self/cwd")).symLinkTarget();
    const QString deleted = QStringLiteral(" (deleted)");
    if (was.endsWith(deleted))
        was.chop(deleted.size());
    return was.startsWith(u'/') ? was : QDir::homePath();
}
} // namespace

QStringList FileBro::mountedVolumes() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Files bind-mounted over files (containers do that to /etc/hosts) are no drives.
        const QFileInfo root(volume.rootPath());
        if (volume.isValid() && !(root.exists() && !root.isDir()))
            roots.append(volume.rootPath());
    }
    return roots;
}

FileBro::FileBro(Mod& mod, VolumeList volumes, QWidget* parent) : QWidget(parent), m_mod(mod) {
    setUpToolWindow(this, "FileBro", QStringLiteral("文件浏览器"));
    resize(twipsSize(5670, 6825));

    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(twips(240, 240, 2535, 300));

    File1 = new QListWidget(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(twips(3000, 240, 2535, 5850));

    Dir1 = new DirList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twips(240, 720, 2535, 5340));

    Command1 = new QPushButton(QStringLiteral("确认并返回"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(4080, 6240, 1455, 495));

    Check1 = new QCheckBox(QStringLiteral("包括子文件夹"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(twips(240, 6360, 3615, 255));
    Check1->setFont(songFont(9));

    setTabOrder(Drive1, File1);
    setTabOrder(File1, Dir1);
    setTabOrder(Dir1, Command1);
    setTabOrder(Command1, Check1);
    clickFocusedButtonsOnEnter(this);
    showFocusCue(Dir1);
    showFocusCue(File1);

    QStringList roots = volumes ? volumes() : QStringList();
    // The root always holds everything, even when the system lists no volume for it.
    roots.append(QStringLiteral("/"));
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    Drive1->addItems(roots);

    connect(Dir1, &DirList::folderChanged, this, &FileBro::dir1Change);
    // Every fresh picker starts at the process's current folder, or as near to it as it can.
    Dir1->setFolderOrNearest(startFolder());
    if (Dir1->folder().isEmpty())
        Dir1->setFolderOrNearest(QDir::homePath());
    connect(Drive1, &QComboBox::currentIndexChanged, this, &FileBro::drive1Change);
    connect(Command1, &QPushButton::clicked, this, &FileBro::command1Click);
}

QString FileBro::currentFolder() const {
    return Dir1->folder();
}

void FileBro::showDriveOf(const QString& folder) {
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
    if (!Dir1->setFolder(Drive1->itemText(index)))
        MessageBox::show(this, QStringLiteral(":)"),
                         QStringLiteral("当前设备不可用,请插入软盘或者光盘，或者其他可移动存储器。"),
                         MessageBox::Icon::Information);
}

void FileBro::dir1Change(const QString& folder) {
    showDriveOf(folder);
    File1->clear();
    // Hidden and system files stay out, as in any file list; display only.
    File1->addItems(QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void FileBro::command1Click() {
    close();
}

void FileBro::closeEvent(QCloseEvent* event) {
    // Any close confirms, once: the confirm button's close and a second close while
    // the window goes away store the same folder again, which would change nothing.
    // With no folder shown there is nothing the user could have meant to confirm.
    if (!m_confirmed && !Dir1->folder().isEmpty()) {
        confirmFolder(m_mod, QFile::encodeName(Dir1->folder()).toStdString());
        m_mod.Recursive = Check1->isChecked();
        m_confirmed = true;
    }
    event->accept();
}
