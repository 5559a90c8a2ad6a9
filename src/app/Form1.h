// Form1: the main window with its lists, query box, buttons, grid and menus, and its window-level state.
#pragma once

#include "app/Layout.h"
#include "platform/ProgramFolder.h"
#include "platform/Steps.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QListWidget;
class QPushButton;

namespace platform {
class Dialogs;
class TextEditor;
} // namespace platform
namespace datagrid {
class DataSource;
class NavigationBar;
class ResultGrid;
} // namespace datagrid
namespace browser {
class Browser;
class DriveList;
class FileList;
class FolderList;
} // namespace browser

namespace app {

class FrmUpiti;
class QueryBox;

class Form1 : public QMainWindow {
    Q_OBJECT

public:
    // dialogs, editor: must outlive the window. programFolder: where the settings file and the log live.
    Form1(platform::Dialogs& dialogs, platform::TextEditor& editor, platform::ProgramFolder programFolder,
          QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: the first folder from the command line (a table file or a folder; empty for none),
    // else from the settings file. Each failing step is reported and the next one runs.
    void start(const QString& commandLine);

    // Runs the query box's statement, as Enter in the box does.
    void runQuery();

    // The window-level state other windows and commands read and write.
    std::int16_t FldCount = 0;
    QString Putanja;
    std::int16_t UUpit = 0;
    QVariant Tabela;
    QString pChar;
    QVariant SearchExp;
    QVariant FilterExp;
    QVariant SortExp;
    QVariant SortMet;
    QVariant OldSortExp;

    // Select-list items of the last select (only the first FldCount count when FldCount >= 1).
    const QStringList& fldExp() const { return FldExp; }
    // Markers met and the parameters asked for by the last run.
    int parCount() const { return ParCount; }
    const QStringList& parNames() const { return ParName; }

    // The title rule: Putanja, two blanks, a hyphen, two blanks, Tabela.
    void refreshCaption();

    // Commands of the menus, buttons and grid headers; each group lives in its own file.

    // Form1Tools.cpp: header-click sorting, Sort/Filter/Search, column auto-fit.
    void sortByColumn(int column);
    void sortCommand();
    void filterCommand();
    void searchCommand();
    void autofitColumns();

    // Form1Export.cpp: the result to a fixed-width text file and to a spreadsheet workbook.
    void exportToFile();
    void exportToSpreadsheet();

    // Form1Saved.cpp: saved queries, the Queries window, direct display, their export and import.
    void saveQuery();
    void showQueries();
    void toggleDirectDisplay();
    void exportQueries();
    void importQueries();

    // Form1Other.cpp: settings, help and About.
    void settingsCommand();
    void showHelp();
    void showAbout();

    // Form1CodePage.cpp: reads the open table's text in a code page the user picks, and remembers it.
    void codePageCommand();

    QueryBox* queryBox() const { return m_text1; }
    datagrid::DataSource* dataSource() const { return m_data1; }
    datagrid::ResultGrid* grid() const { return m_grid; }
    browser::Browser* browser() const { return m_browser; }

    // Form1Window.cpp: the status bar, and the window's size and place kept between runs.
    // Puts back the size and place the window had when it last closed.
    void restoreWindowState();

protected:
    // Lays the controls out whenever the client area changes size.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void showStatus();

private:
    void createControls();
    void createMenus();
    QAction* addEntry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key = {});
    void applyLayout();
    void place(QWidget* widget, const Box& box);
    void fitCaption(QPushButton* button);

    void showPosition();
    // What opening the result's tables found wrong (a damaged file, a missing memo file), each once.
    void showTableWarnings();
    // The grid could not read its rows: says why, and opens the result again when the table changed.
    void gridReadFailed(const QString& description, bool tableChanged);
    void queryBoxFocused(bool chosen);
    void openLog();

    platform::Dialogs& m_dialogs;
    // The handlers' steps: a failure reported by its description, and at start-up with the window named.
    platform::Steps step{m_dialogs};
    platform::Steps startStep{m_dialogs, platform::Steps::Form::StartUp, QStringLiteral("Form1")};
    platform::TextEditor& m_editor;
    platform::ProgramFolder m_programFolder;

    QStringList FldExp;
    QVariantList UpitTxt;
    int ParCount = 0;
    QStringList ParName;
    QStringList ParValue;

    browser::DriveList* m_drive1 = nullptr;
    browser::FolderList* m_dir1 = nullptr;
    browser::FileList* m_file1 = nullptr;
    QueryBox* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QListWidget* m_list1 = nullptr;
    datagrid::DataSource* m_data1 = nullptr;
    datagrid::NavigationBar* m_data1Bar = nullptr;
    datagrid::ResultGrid* m_grid = nullptr;
    browser::Browser* m_browser = nullptr;
    QWidget* m_client = nullptr;
    QList<QKeySequence> m_menuKeys;
    std::map<QString, QString> m_codePageChoices; // table file -> the code page the user chose
    Geometry m_geometry;

    // Form1Saved.cpp
    // Runs the saved query of a line of List1 (a click or Enter on it).
    void runListedQuery(int row);
    FrmUpiti* m_frmUpiti = nullptr; // created on first use, a child window of this one
    bool m_directDisplay = false;

    // Form1Window.cpp
    void createStatusBar();
    // The time the last statement took, for the status bar.
    void ranFor(double seconds);
    QString windowStateFile() const;
    QLabel* m_statusTables = nullptr;
    QLabel* m_statusCodePage = nullptr;
    QLabel* m_statusRows = nullptr;
    QLabel* m_statusTime = nullptr;
    double m_lastRunSeconds = -1;

    // Form1Tools.cpp
    // Binds a rebuilt statement to Data1 and makes its count complete with the first row current.
    void bindSource(const QString& source);
    QString m_headerSorted; // the source the last header click made
    // How many records a DELETE statement will remove, where a count can tell.
    std::optional<std::int64_t> recordsToDelete(const std::string& statement);
    // Sort, Filter and Search work on the result shown; without one they say what to do first.
    bool resultShown();
};

} // namespace app
