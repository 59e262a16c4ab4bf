#include "gui/FileBrowser.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Session.h"
#include "core/UserPreferences.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>

namespace fiscora {

namespace {

constexpr int kPathRole = Qt::UserRole;

// The mount point a folder lies on; "/" when the system does not say.
QString volumeRootOf(const QString& path) {
    const QStorageInfo volume(path);
    const QString root = volume.isValid() ? volume.rootPath() : QString();
    return root.isEmpty() ? QDir::rootPath() : QDir::cleanPath(root);
}

bool readableFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

} // namespace

FileBrowser::FileBrowser(Session& session, const Seams& seams, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_seams(seams)
    , m_Drive1(new QComboBox(this))
    , m_dir(new QTreeWidget(this))
    , m_file(new QListWidget(this)) {
    setObjectName(QStringLiteral("FileBrowser"));
    m_Drive1->setObjectName(QStringLiteral("Drive1"));
    m_dir->setObjectName(QStringLiteral("dir"));
    m_file->setObjectName(QStringLiteral("file"));

    m_dir->setHeaderHidden(true);
    m_dir->setColumnCount(1);
    m_dir->setRootIsDecorated(false);
    m_dir->setIndentation(12);
    m_dir->setUniformRowHeights(true);
    m_dir->setItemsExpandable(false);
    m_dir->setExpandsOnDoubleClick(false);
    // The chain is always open: no expand arrows.
    m_dir->setStyleSheet(QStringLiteral("QTreeView::branch { image: none; }"));
    m_file->setUniformItemSizes(true);
    // The two columns share the width evenly, whatever the names in them.
    m_Drive1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_Drive1->setMinimumContentsLength(6);
    m_dir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    m_file->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    m_file->installEventFilter(this);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_Drive1, 0, 0);
    layout->addWidget(m_dir, 1, 0);
    layout->addWidget(m_file, 0, 1, 2, 1);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);

    fillDrives();
    connect(m_Drive1, &QComboBox::activated, this, &FileBrowser::driveChosen);
    connect(m_dir, &QTreeWidget::itemActivated, this, &FileBrowser::folderActivated);
    connect(m_file, &QListWidget::itemClicked, this, &FileBrowser::fileItemClicked);

    // The run's own memory stands even when the user's preferences cannot be written.
    const QString remembered =
        m_session.uploadFolder().isEmpty() ? UserPreferences::uploadFolder() : m_session.uploadFolder();
    if ((remembered.isEmpty() || !setFolder(remembered)) && !setFolder(QDir::homePath()))
        setFolder(QDir::rootPath());
}

void FileBrowser::remember(const QString& path) {
    m_session.setUploadFolder(path);
    UserPreferences::setUploadFolder(path);
}

QString FileBrowser::filePath(const QString& name) const {
    return QDir(m_folder).filePath(name);
}

bool FileBrowser::setFolder(const QString& path) {
    if (path.isEmpty() || !readableFolder(path))
        return false;
    m_folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (m_folder != m_session.uploadFolder())
        remember(m_folder);
    showDriveOf(m_folder);
    fillFolders();
    fillFiles();
    return true;
}

void FileBrowser::fillDrives() {
    m_Drive1->clear();
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::cleanPath(volume.rootPath());
        // Files bind-mounted into containers are volumes too; only folders can be browsed.
        if (!volume.isValid() || !volume.isReady() || roots.contains(root) || !QFileInfo(root).isDir())
            continue;
        roots.append(root);
    }
    if (!roots.contains(QDir::rootPath()))
        roots.append(QDir::rootPath());
    roots.sort();
    for (const QString& root : roots) {
        const QString name = QStorageInfo(root).displayName();
        const QString text =
            name.isEmpty() || name == root ? root : root + QStringLiteral("  [") + name + QLatin1Char(']');
        m_Drive1->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), text, root);
    }
}

void FileBrowser::showDriveOf(const QString& path) {
    int index = m_Drive1->findData(volumeRootOf(path));
    if (index < 0) {
        // Mounted since the list was made.
        fillDrives();
        index = m_Drive1->findData(volumeRootOf(path));
    }
    if (index >= 0)
        m_Drive1->setCurrentIndex(index);
}

void FileBrowser::driveChosen(int index) {
    const QString root = m_Drive1->itemData(index, kPathRole).toString();
    if (root.isEmpty() || volumeRootOf(m_folder) == root)
        return;
    if (!setFolder(root)) {
        m_seams.messages.show(AppTexts::programTitle,
                              QStringLiteral("A unidade %1 não está disponível para leitura.").arg(root),
                              MessageIcon::Warning);
        showDriveOf(m_folder);
    }
}

// The chain of folders from the volume's root down to the current one, and the current one's
// subfolders below it.
void FileBrowser::fillFolders() {
    m_dir->clear();
    const QString root = volumeRootOf(m_folder);
    QStringList chain{root};
    if (m_folder != root) {
        const QString rest = m_folder.mid(root.endsWith(QLatin1Char('/')) ? root.size() : root.size() + 1);
        QString path = root;
        for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            path = QDir(path).filePath(part);
            chain.append(path);
        }
    }

    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* parent = nullptr;
    for (const QString& path : chain) {
        const QString text = parent ? QFileInfo(path).fileName() : path;
        auto* item = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(m_dir, {text});
        item->setIcon(0, open);
        item->setData(0, kPathRole, path);
        item->setToolTip(0, path);
        item->setExpanded(true);
        parent = item;
    }
    const QFileInfoList children =
        QDir(m_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& child : children) {
        auto* item = new QTreeWidgetItem(parent, {child.fileName()});
        item->setIcon(0, closed);
        item->setData(0, kPathRole, child.absoluteFilePath());
        item->setToolTip(0, child.absoluteFilePath());
    }
    parent->setExpanded(true);
    m_dir->setCurrentItem(parent);
    m_dir->scrollToItem(parent);
}

void FileBrowser::fillFiles() {
    m_file->clear();
    const QFileInfoList files =
        QDir(m_folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : files)
        m_file->addItem(info.fileName());
}

void FileBrowser::folderActivated(QTreeWidgetItem* item) {
    const QString path = item ? item->data(0, kPathRole).toString() : QString();
    if (path.isEmpty() || path == m_folder)
        return;
    if (!setFolder(path))
        m_seams.messages.show(AppTexts::programTitle,
                              QStringLiteral("Não foi possível abrir a pasta %1.").arg(path),
                              MessageIcon::Warning);
}

void FileBrowser::fileItemClicked(QListWidgetItem* item) {
    if (item)
        Q_EMIT fileClicked(filePath(item->text()), item->text());
}

bool FileBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_file && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_file->currentItem()) {
            fileItemClicked(m_file->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace fiscora
