// Dir1: the folder list, showing the current folder's ancestors and then its subfolders.
#pragma once

#include <QListWidget>

namespace browser {

class FolderList : public QListWidget {
    Q_OBJECT

public:
    explicit FolderList(QWidget* parent = nullptr);

    // The folder shown, absolute, with the platform's separators; empty before the first setPath.
    QString path() const { return m_path; }
    // Shows `folder` (made absolute) and raises pathChanged when it differs from the folder shown.
    // Throws engine::Error, leaving the list as it was, when the folder does not exist or cannot
    // be read.
    void setPath(const QString& folder);

    // The folder of the highlighted entry; the folder shown when none is highlighted.
    QString highlightedPath() const;
    // Shows the highlighted folder, as Enter and a double-click do. Throws as setPath.
    void openHighlighted();

    // Reads the folder's subfolders again, keeping the folder shown.
    void reload();

signals:
    void pathChanged(const QString& path);
    // Enter or a double-click could not open a folder: the error's description, for the window to
    // report (the list itself shows no messages).
    void openFailed(const QString& description);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill(const QString& folder);
    void openInteractively();

    QString m_path;
};

} // namespace browser
