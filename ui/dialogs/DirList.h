#pragma once

#include <QByteArray>
#include <QListWidget>
#include <system_error>

// A folder list in the manner of a classic directory list box: the path of the current
// folder from the root down, one row per level, then the current folder's subfolders,
// indented one level deeper. A row is only highlighted until it is opened (double-click
// or Enter); only an opened folder becomes current. Paths are kept as the file system's
// bytes; rows show them escaped as the log does.
class DirList : public QListWidget {
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    QByteArray folder() const { return m_folder; }
    // Opens path as the current folder. False, with nothing changed and the reason kept for the
    // message, when it cannot be entered (missing, not a folder, not readable).
    bool setFolder(const QByteArray& path);
    // Opens path, or the nearest folder above it that can be entered.
    void setFolderOrNearest(const QByteArray& path);

signals:
    void folderChanged(const QByteArray& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openRow(QListWidgetItem* item);
    QListWidgetItem* addRow(bool open, const QString& text, const QByteArray& path, int depth);

    QByteArray m_folder;
    std::error_code m_enterError; // why the last folder could not be entered
};
