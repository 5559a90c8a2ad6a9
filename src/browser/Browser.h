// The linked drive, folder and file lists: moving through folders and opening a table of the list.
#pragma once

#include "browser/Settings.h"
#include "platform/ProgramFolder.h"
#include "platform/Steps.h"

#include <QObject>
#include <QString>
#include <functional>

namespace platform {
class Dialogs;
}
namespace datagrid {
class DataSource;
}

namespace browser {

class DriveList;
class FileList;
class FolderList;

// The window-level state the lists read and write; the window owns it and supplies these.
struct WindowState {
    std::function<QString()> defaultFolder;       // Putanja: begins the window title
    std::function<QString()> parameterChar;       // pChar: written to the settings file
    std::function<void(const QString&)> setTable; // Tabela: the table just opened
    std::function<void()> clearSelectList;        // empties FldExp up to FldCount, FldCount = 0
    std::function<void(const QString&)> setWindowTitle;
};

// Connects the three lists to each other, to Data1 and to the settings file. Every handler reports
// a failing step as the error's description in a message box and goes on with the next step.
class Browser : public QObject {
    Q_OBJECT

public:
    Browser(DriveList& drives, FolderList& folders, FileList& files, platform::Dialogs& dialogs,
            datagrid::DataSource& data, const platform::ProgramFolder& programFolder, WindowState state,
            QObject* parent = nullptr);

    // A drive was picked: the folder list moves to it, unless it already shows a folder of it.
    void driveChanged(const QString& drive);
    // The folder list shows another folder: the file list and Data1 follow it, and the settings
    // file records it as the default folder.
    void folderChanged();
    // Shows the file list's selected table in the grid and makes it the current table.
    void openSelectedTable();

    // The title the window gets: the default folder, two blanks, a hyphen, two blanks, the table.
    static QString windowTitle(const QString& defaultFolder, const QString& table);

private:
    DriveList& m_drives;
    FolderList& m_folders;
    FileList& m_files;
    platform::Dialogs& m_dialogs;
    platform::Steps step{m_dialogs};
    datagrid::DataSource& m_data;
    Settings m_settings;
    WindowState m_state;
};

} // namespace browser
