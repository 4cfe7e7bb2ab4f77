#pragma once

#include "platform/qt/PickerPlaces.h"

#include <QStringList>
#include <QWidget>
#include <functional>

struct Mod;
class DirList;
class QCheckBox;
class QComboBox;
class QListWidget;

// The folder picker. Any close confirms the folder that Dir1 shows: it becomes
// TargetDir and DirChosen is set; there is no way out without confirming.
class FileBro : public QWidget {
    Q_OBJECT
public:
    // The root paths of the mounted file systems, offered by Drive1.
    using VolumeList = std::function<QStringList()>;

    explicit FileBro(Mod& mod, const VolumeList& volumes = &platform::mountedVolumes,
                     QWidget* parent = nullptr);

    // The folder whose files File1 lists: the one a confirmation stores.
    QString currentFolder() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void drive1Change(int index);
    void dir1Change(const QByteArray& folder);
    void command1Click();
    void showDriveOf(const QByteArray& folder);

    QComboBox* Drive1 = nullptr;
    QListWidget* File1 = nullptr;
    DirList* Dir1 = nullptr;
    QCheckBox* Check1 = nullptr; // subfolders too

    Mod& m_mod;
    bool m_confirmed = false;
};
