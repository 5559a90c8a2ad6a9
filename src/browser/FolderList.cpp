// Dir1: the folder list, showing the current folder's ancestors and then its subfolders.
#include "browser/FolderList.h"

#include "engine/Error.h"
#include "platform/FileError.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

namespace browser {

namespace {

constexpr int PathRole = Qt::UserRole;

QString nativeAbsolute(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
}

// The name an entry shows: the last part of its path, or the whole path for a root folder.
QString entryName(const QDir& dir) {
    return dir.isRoot() ? QDir::toNativeSeparators(dir.absolutePath()) : dir.dirName();
}

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setObjectName("Dir1");
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { openInteractively(); });
}

void FolderList::setPath(const QString& folder) {
    const QString path = nativeAbsolute(folder.isEmpty() ? QDir::currentPath() : folder);
    const QFileInfo info(path);
    if (!info.isDir())
        throw platform::fileError(engine::PathNotFound, "Cannot open", path, "the folder does not exist");
    if (!info.isReadable() || !info.isExecutable())
        throw platform::fileError(engine::PathFileAccess, "Cannot open", path, "permission denied");
    const bool changed = path != m_path;
    fill(path);
    if (changed) emit pathChanged(m_path);
}

void FolderList::reload() {
    if (!m_path.isEmpty()) fill(m_path);
}

void FolderList::fill(const QString& folder) {
    QList<QDir> ancestors;
    for (QDir dir(folder);;) {
        ancestors.prepend(dir);
        if (dir.isRoot() || !dir.cdUp()) break;
    }
    const QStringList children = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                        QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // Indentation shows the depth, as a tree would, without the tree's expanding.
    int depth = 0;
    for (const QDir& dir : ancestors) {
        auto* item = new QListWidgetItem(open, QString(depth * 2, ' ') + entryName(dir), this);
        item->setData(PathRole, nativeAbsolute(dir.absolutePath()));
        ++depth;
    }
    QListWidgetItem* current = item(count() - 1);
    for (const QString& name : children) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, ' ') + name, this);
        item->setData(PathRole, nativeAbsolute(QDir(folder).filePath(name)));
    }
    m_path = folder;
    setCurrentItem(current);
    scrollToItem(current);
}

QString FolderList::highlightedPath() const {
    const QListWidgetItem* item = currentItem();
    return item ? item->data(PathRole).toString() : m_path;
}

void FolderList::openHighlighted() {
    setPath(highlightedPath());
}

void FolderList::openInteractively() {
    try {
        openHighlighted();
    } catch (const engine::Error& error) {
        emit openFailed(QString::fromStdString(error.description()));
    }
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openInteractively();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace browser
