#pragma once

#include "core/Seams.h"

#include <QString>
#include <QWidget>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;

namespace fiscora {

class Session;

// The drive, folder and file lists of the upload windows: the drive list (`Drive1`) holds the
// mounted volumes and sets the folder list (`dir`), the folder list sets the file list (`file`), a
// click on a file chooses it. Every browser starts where the last one was left, in this run or an
// earlier one (the user's preferences keep it); the very first starts in the user's home folder.
class FileBrowser final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileBrowser)

public:
    // The session keeps the folder the browsers were left in for the rest of the run.
    FileBrowser(Session& session, const Seams& seams, QWidget* parent = nullptr);

    QString folder() const { return m_folder; }
    // Shows that folder's subfolders and files. False, with nothing changed, when it cannot be read.
    bool setFolder(const QString& path);
    // The folder of the file list joined with a file name.
    QString filePath(const QString& name) const;

Q_SIGNALS:
    // The user clicked a file (or pressed Enter on it).
    void fileClicked(const QString& path, const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillDrives();
    void showDriveOf(const QString& path);
    void driveChosen(int index);
    void fillFolders();
    void fillFiles();
    void folderActivated(QTreeWidgetItem* item);
    void fileItemClicked(QListWidgetItem* item);

    void remember(const QString& path);

    Session& m_session;
    const Seams m_seams;
    QComboBox* m_Drive1;
    QTreeWidget* m_dir;
    QListWidget* m_file;
    QString m_folder;
};

} // namespace fiscora
