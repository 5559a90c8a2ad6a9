// The linked drive, folder and file lists: moving through folders and opening a table of the list.
#include "browser/Browser.h"

#include "browser/DriveList.h"
#include "browser/FileList.h"
#include "browser/FolderList.h"
#include "datagrid/DataSource.h"
#include "engine/Error.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"

#include <QDir>
#include <stdexcept>

namespace browser {

namespace {

const QString tablePattern = QStringLiteral("*.dbf");

} // namespace

Browser::Browser(DriveList& drives, FolderList& folders, FileList& files, platform::Dialogs& dialogs,
                 datagrid::DataSource& data, const platform::ProgramFolder& programFolder, WindowState state,
                 QObject* parent)
    : QObject(parent), m_drives(drives), m_folders(folders), m_files(files), m_dialogs(dialogs), m_data(data),
      m_settings(programFolder), m_state(std::move(state)) {
    connect(&m_drives, &DriveList::driveChanged, this, &Browser::driveChanged);
    connect(&m_folders, &FolderList::pathChanged, this, [this](const QString&) { folderChanged(); });
    connect(&m_folders, &FolderList::openFailed, this,
            [this](const QString& text) { m_dialogs.message(text); });
    connect(&m_files, &FileList::openRequested, this, &Browser::openSelectedTable);
}

QString Browser::windowTitle(const QString& defaultFolder, const QString& table) {
    // The table part as a statement wrote it may end in a line break before WHERE or ORDER BY.
    return defaultFolder + "  -  " + table.trimmed();
}

void Browser::driveChanged(const QString& drive) {
    // Moving to a drive keeps the folder when it is already on that drive, as a drive's current
    // folder is kept; otherwise the drive's own folder is shown.
    const QString current = m_folders.path();
    if (!current.isEmpty() && platform::Drives::driveOf(current, m_drives.drives()) == drive) return;
    bool moved = false;
    step([&] {
        m_folders.setPath(drive);
        moved = true;
    });
    // A drive that cannot be opened leaves the folder list where it was; the drive list follows.
    if (!moved && !current.isEmpty()) m_drives.showDriveOf(current);
}

void Browser::folderChanged() {
    const QString path = m_folders.path();
    m_drives.showDriveOf(path);
    step([&] { m_files.setFolder(path); });
    step([&] { m_files.setPattern(tablePattern); });
    step([&] { m_data.setDatabaseName(path); });
    step([&] { m_settings.write({path, m_state.parameterChar()}); });
}

void Browser::openSelectedTable() {
    QString table;
    step([&] { m_data.setDatabaseName(m_folders.path()); });
    step([&] { m_data.setRecordSource(m_files.fileName()); });
    step([&] { m_state.clearSelectList(); });
    step([&] {
        const QString source = m_data.recordSource();
        table = source.left(std::max<qsizetype>(0, source.size() - 4));
        m_state.setTable(table);
    });
    step([&] { m_data.refresh(); });
    step([&] { m_data.completeCount(); });
    step([&] { m_state.setWindowTitle(windowTitle(m_state.defaultFolder(), table)); });
}

} // namespace browser
