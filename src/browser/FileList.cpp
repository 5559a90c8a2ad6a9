// File1: the tables of a folder, the files that match a pattern without regard to case.
#include "browser/FileList.h"

#include "engine/Error.h"
#include "platform/FileError.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QRegularExpression>
#include <algorithm>

namespace browser {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setObjectName("File1");
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A single click only selects; opening takes a double-click or Enter.
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { emit openRequested(); });
}

void FileList::setFolder(const QString& folder) {
    const QString path = QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
    if (!QFileInfo(path).isDir())
        throw platform::fileError(engine::PathNotFound, "Cannot list", path, "the folder does not exist");
    if (path != m_folder) {
        // A selection belongs to its folder.
        clear();
        m_wanted.clear();
    }
    m_folder = path;
    reload();
}

void FileList::setPattern(const QString& pattern) {
    m_pattern = pattern;
    reload();
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::selectFile(const QString& name) {
    m_wanted = name;
    const QList<QListWidgetItem*> found = findItems(name, Qt::MatchFixedString); // case-insensitive
    if (found.isEmpty()) return;
    setCurrentItem(found.first());
    m_wanted.clear();
}

void FileList::reload() {
    const QString keep = m_wanted.isEmpty() ? fileName() : m_wanted;
    clear();
    if (m_folder.isEmpty()) return;
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(m_pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (const QString& name : QDir(m_folder).entryList(QDir::Files))
        if (match.match(name).hasMatch()) names << name;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), collator);
    addItems(names);
    if (!keep.isEmpty()) {
        m_wanted = keep;
        const QList<QListWidgetItem*> found = findItems(keep, Qt::MatchFixedString);
        if (!found.isEmpty()) {
            setCurrentItem(found.first());
            m_wanted.clear();
        }
    }
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!fileName().isEmpty()) emit openRequested();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace browser
