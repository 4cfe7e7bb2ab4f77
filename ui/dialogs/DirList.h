#pragma once

#include <QListWidget>
#include <QString>

// A folder list in the manner of a classic directory list box: the path of the current
// folder from the root down, one row per level, then the current folder's subfolders,
// indented one level deeper. A row is only highlighted until it is opened (double-click
// or Enter); only an opened folder becomes current.
class DirList : public QListWidget {
    Q_OBJECT
  public:
    explicit DirList(QWidget* parent = nullptr);

    QString folder() const { return m_folder; }
    // Opens path as the current folder. False, with nothing changed, when it cannot be
    // entered (missing, not a folder, not readable).
    bool setFolder(const QString& path);
    // Opens path, or the nearest folder above it that can be entered.
    void setFolderOrNearest(const QString& path);

  signals:
    void folderChanged(const QString& path);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void openRow(QListWidgetItem* item);

    QString m_folder;
};
