#include "WindowTestSupport.h"
#include "core/Mod.h"
#include "ui/dialogs/DirList.h"
#include "ui/dialogs/FileBro.h"
#include "ui/widgets/FontSubstitutions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace windowtest;

namespace {

void highlight(QListWidget* list, const char* text) {
    list->setCurrentItem(list->findItems(QLatin1String(text), Qt::MatchExactly).first());
}

// The picker's folder list, its drive list and the rows of its file list.
DirList* dirs(QWidget* picker) { return child<DirList>(picker, "Dir1"); }
QComboBox* drives(QWidget* picker) { return child<QComboBox>(picker, "Drive1"); }
QStringList files(QWidget* picker) { return rows(child<QListWidget>(picker, "File1")); }

// root/{alpha/{deep/}, beta/, .hidden/} with files in root and alpha; the state pickers confirm into.
struct Tree {
    QTemporaryDir dir;
    Mod mod;
    Tree() {
        for (const char* folder : {"alpha/deep", "beta", ".hidden"})
            QDir().mkpath(dir.filePath(QLatin1String(folder)));
        for (const char* file : {"top.txt", ".secret", "alpha/a1.htm", "alpha/A2.txt"})
            writeFile(dir.filePath(QLatin1String(file)), "");
    }
    QString path(const char* relative = "") const { return *relative ? dir.filePath(relative) : dir.path(); }
    // A picker shown as the program shows it: destroyed by its own close.
    QPointer<FileBro> open(FileBro::VolumeList volumes = &platform::mountedVolumes) {
        auto* picker = new FileBro(mod, std::move(volumes));
        picker->setAttribute(Qt::WA_DeleteOnClose);
        picker->show();
        if (!QTest::qWaitForWindowExposed(picker))
            qWarning("picker not exposed");
        return picker;
    }
};

} // namespace

class TestFileBro : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void init() { MessageBox::takeShown(); }

    void startsAtCurrentFolderAndOnlyAnOpenedFolderIsCurrent() {
        Tree tree;
        CurrentFolder here(tree.path("alpha"));
        // The folder's own file system is offered as the drive it is on.
        QPointer<FileBro> picker = tree.open([&] { return QStringList{tree.path(), QStringLiteral("/")}; });
        QCOMPARE(drives(picker)->currentText(), tree.path());
        QCOMPARE(files(picker), (QStringList{"a1.htm", "A2.txt"}));
        // The folder list: the path from the root down, then the subfolders.
        QStringList expected{QStringLiteral("/")};
        expected += tree.path("alpha").split(u'/', Qt::SkipEmptyParts);
        QCOMPARE(rows(dirs(picker)), expected << QStringLiteral("deep"));
        QCOMPARE(dirs(picker)->currentItem()->text(), QStringLiteral("alpha"));

        // Opening the parent row goes up; hidden folders and files are left out, a link to a folder is one.
        QVERIFY(QFile::link(tree.path("beta"), tree.path("link")));
        openRow(dirs(picker), QFileInfo(tree.path()).fileName());
        QCOMPARE(picker->currentFolder(), tree.path());
        QCOMPARE(files(picker), QStringList{"top.txt"});
        QCOMPARE(rows(dirs(picker)).mid(rows(dirs(picker)).size() - 4),
                 (QStringList{QFileInfo(tree.path()).fileName(), "alpha", "beta", "link"}));

        // Highlighted only: nothing changes; Enter opens.
        highlight(dirs(picker), "beta");
        QCOMPARE(picker->currentFolder(), tree.path());
        QCOMPARE(files(picker), QStringList{"top.txt"});
        highlight(dirs(picker), "alpha");
        QTest::keyClick(dirs(picker), Qt::Key_Return);
        QCOMPARE(picker->currentFolder(), tree.path("alpha"));
        QCOMPARE(files(picker), (QStringList{"a1.htm", "A2.txt"}));

        // A highlighted subfolder at confirmation is not the folder stored.
        highlight(dirs(picker), "deep");
        QTest::mouseClick(child<QPushButton>(picker, "Command1"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(tree.mod.TargetDir), tree.path("alpha/"));

        // A folder that vanished after it was listed is not opened, the user told why, the lists kept.
        CurrentFolder there(tree.path());
        QPointer<FileBro> second = tree.open();
        const QStringList folders = rows(dirs(second));
        QVERIFY(QDir(tree.path("beta")).removeRecursively());
        openRow(dirs(second), QStringLiteral("beta"));
        QCOMPARE(oneBox(),
                 box(":)", MessageBox::Icon::Information,
                     QStringLiteral("无法打开文件夹“%1”：没有那个文件或目录").arg(tree.path("beta"))));
        QCOMPARE(second->currentFolder(), tree.path());
        QCOMPARE(rows(dirs(second)), folders);
        second->close();
    }

    void layoutAsDesignedAndEveryWayOutConfirmsWithOneSlash() {
        Tree tree;
        CurrentFolder here(tree.path());
        QPointer<FileBro> picker = tree.open();
        QCOMPARE(designFaults(picker, true), QStringList());
        QVERIFY(staysPut(picker, {QSize(200, 150), QSize(900, 700), QSize(378, 455)}));
        QCOMPARE(rowFaults(picker, layout::kFileBro).join(u'|'), QString());
        QVERIFY(showsFocus(dirs(picker)) && showsFocus(child<QListWidget>(picker, "File1")));
        QVERIFY(!tree.mod.DirChosen); // showing confirms nothing
        // The title bar's close confirms just like the button: there is no cancelling.
        highlight(dirs(picker), "beta");
        QTest::keyClick(dirs(picker), Qt::Key_Enter,
                        Qt::KeypadModifier); // the keypad's Enter opens too
        QVERIFY(picker->close());
        QVERIFY(tree.mod.DirChosen);
        QCOMPARE(QString::fromStdString(tree.mod.TargetDir), tree.path("beta/"));
        QTRY_COMPARE(windowCount("FileBro"), 0);

        // The root is stored as a single slash; Enter on the button confirms and closes.
        picker = tree.open();
        openRow(dirs(picker), QStringLiteral("/"));
        QCOMPARE(files(picker),
                 QDir(QStringLiteral("/")).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
        QCOMPARE(clicksByEnter(child<QPushButton>(picker, "Command1")), 2);
        QVERIFY(!picker || !picker->isVisible());
        QCOMPARE(tree.mod.TargetDir, std::string("/"));

        // A start folder deleted meanwhile gives way to the nearest folder above, and that is stored.
        CurrentFolder gone(tree.path("alpha/deep"));
        QVERIFY(QDir(tree.path("alpha")).removeRecursively());
        picker = tree.open();
        QCOMPARE(picker->currentFolder(), tree.path());
        QCOMPARE(files(picker), QStringList{"top.txt"});
        picker->close();
        QCOMPARE(QString::fromStdString(tree.mod.TargetDir), tree.path() + u'/');
        // The system's note of the deletion is no part of the name: a folder named with it is not taken.
        QVERIFY(QDir().mkpath(tree.path("alpha/deep (deleted)")));
        picker = tree.open();
        QCOMPARE(picker->currentFolder(), tree.path("alpha"));
        picker->close();
    }

    void driveChangeMovesToItsRootOrLeavesListsAlone() {
        Tree tree;
        CurrentFolder here(QStringLiteral("/"));
        const QString volume = tree.path("alpha");
        const QString missing = tree.path("no-such-volume");
        QPointer<FileBro> picker = tree.open([&] {
            return QStringList{volume, QStringLiteral("/"), missing};
        });
        QCOMPARE(drives(picker)->currentText(), QStringLiteral("/"));
        QCOMPARE(picker->currentFolder(), QStringLiteral("/"));
        // A folder whose name only begins with a drive's is not on that drive.
        QVERIFY(QDir().mkpath(volume + QStringLiteral("-backup")));
        QVERIFY(dirs(picker)->setFolder(QFile::encodeName(volume + QStringLiteral("-backup"))));
        QCOMPARE(drives(picker)->currentText(), QStringLiteral("/"));

        drives(picker)->setCurrentIndex(drives(picker)->findText(volume));
        QVERIFY(MessageBox::takeShown().isEmpty());
        QCOMPARE(picker->currentFolder(), volume);
        QCOMPARE(files(picker), (QStringList{"a1.htm", "A2.txt"}));

        // Going up out of that file system shows the drive that holds the folder now.
        openRow(dirs(picker), QStringLiteral("/"));
        QCOMPARE(drives(picker)->currentText(), QStringLiteral("/"));

        // Going into a file system below its root shows its drive and stays in the folder gone into.
        QVERIFY(dirs(picker)->setFolder(QFile::encodeName(volume + QStringLiteral("/deep"))));
        QCOMPARE(drives(picker)->currentText(), volume);
        // A drive that cannot be entered: the user is told, the lists stay and stay what confirming stores.
        const QStringList folders = rows(dirs(picker)), listed = files(picker);
        drives(picker)->setCurrentIndex(drives(picker)->findText(missing));
        QCOMPARE(oneBox(), box(":)", MessageBox::Icon::Information,
                               QStringLiteral("当前设备不可用,请插入软盘或者光盘，或者其他可移动存储器。")));
        QCOMPARE(drives(picker)->currentText(), missing);
        QCOMPARE(rows(dirs(picker)), folders);
        QCOMPARE(files(picker), listed);
        QTest::mouseClick(child<QPushButton>(picker, "Command1"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(tree.mod.TargetDir), volume + QStringLiteral("/deep/"));
    }

    void oddNamesListedEscapedOpenedAndStored() {
        Tree tree;
        const QByteArray root = QFile::encodeName(tree.path());
        for (const char* folder : {"/\xff\xfe", "/a\nb"})
            QCOMPARE(::mkdir(root + folder, 0755), 0);
        for (const char* file : {"/\xff\xfe/\xff.txt", "/\xff\xfe/x\ty.txt"})
            QCOMPARE(::close(::creat(root + file, 0644)), 0);
        CurrentFolder here(tree.path());
        // Mounts in natural order, control characters escaped; a long list scrolls.
        QStringList volumes{QStringLiteral("/mnt/a\nb")};
        for (int i = 1; i <= 30; ++i)
            volumes << QStringLiteral("/mnt/%1").arg(i);
        QPointer<FileBro> picker = tree.open([&] { return volumes; });
        QCOMPARE(drives(picker)->itemText(9), QStringLiteral("/mnt/9"));
        QCOMPARE(drives(picker)->itemText(10), QStringLiteral("/mnt/10"));
        QCOMPARE(drives(picker)->itemText(31), QStringLiteral("/mnt/a\\nb"));
        drives(picker)->showPopup();
        QVERIFY(drives(picker)->view()->height() <= 21 * drives(picker)->view()->sizeHintForRow(0));
        drives(picker)->hidePopup();

        QVERIFY(rows(dirs(picker)).contains(QStringLiteral("a\\nb")));
        openRow(dirs(picker), QStringLiteral("\\377\\376"));
        QVERIFY(MessageBox::takeShown().isEmpty());
        QCOMPARE(files(picker), (QStringList{"\\377.txt", "x\\ty.txt"}));
        picker->close();
        QCOMPARE(QByteArray::fromStdString(tree.mod.TargetDir), root + "/\xff\xfe/");
    }

private:
    MessageBox::Recording m_boxes;
};

QTEST_MAIN(TestFileBro)
#include "test_filebro.moc"
