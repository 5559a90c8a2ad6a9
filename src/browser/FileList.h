// File1: the tables of a folder, the files that match a pattern without regard to case.
#pragma once

#include <QListWidget>

namespace browser {

class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    QString folder() const { return m_folder; }
    // Lists the matching files of `folder`. Throws engine::Error, leaving the list as it was, when
    // the folder does not exist.
    void setFolder(const QString& folder);

    QString pattern() const { return m_pattern; }
    // A wildcard pattern such as "*.dbf"; "*.dbf" matches ORDERS.DBF as well.
    void setPattern(const QString& pattern);

    // The selected file's name as the folder holds it (with its extension); empty when none.
    QString fileName() const;
    // Selects the file of that name (without regard to case) when it is listed; otherwise it is
    // kept and selected as soon as a listing holds it.
    void selectFile(const QString& name);

    // Reads the folder again, keeping the selection where the file is still there.
    void reload();

signals:
    // A double-click on a file or Enter with a file selected: the selected table is to be opened.
    void openRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_folder;
    QString m_pattern = QStringLiteral("*.*");
    QString m_wanted; // a name to select once listed
};

} // namespace browser
