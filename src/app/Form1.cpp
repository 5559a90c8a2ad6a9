// Form1: the main window's controls, menus, layout, start-up and record-position display.
#include "app/Form1.h"

#include "app/QueryAssist.h"
#include "app/QueryBox.h"
#include "browser/Browser.h"
#include "browser/CodePageChoices.h"
#include "browser/DriveList.h"
#include "browser/FileList.h"
#include "browser/FolderList.h"
#include "browser/Settings.h"
#include "console/QueryLog.h"
#include "datagrid/DataSource.h"
#include "datagrid/NavigationBar.h"
#include "datagrid/ResultGrid.h"
#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "platform/Dialogs.h"
#include "platform/TextEditor.h"
#include "platform/TextFile.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <cmath>
#include <stdexcept>

namespace app {

namespace {} // namespace

Form1::Form1(platform::Dialogs& dialogs, platform::TextEditor& editor, platform::ProgramFolder programFolder,
             QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_editor(editor), m_programFolder(std::move(programFolder)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Select"));
    createControls();
    createMenus();
    // The menu's keys win over the uses the query box, the grid and its editors have for them.
    qApp->installEventFilter(this);

    browser::WindowState state;
    state.defaultFolder = [this] { return Putanja; };
    state.parameterChar = [this] { return pChar; };
    state.setTable = [this](const QString& table) { Tabela = table; };
    state.clearSelectList = [this] {
        FldExp.clear();
        FldCount = 0;
    };
    state.setWindowTitle = [this](const QString& title) { setWindowTitle(title); };
    m_data1->setCodePagesOf([this](const QString& folder) {
        return browser::CodePageChoices::inFolder(m_codePageChoices, folder);
    });
    m_browser = new browser::Browser(*m_drive1, *m_dir1, *m_file1, m_dialogs, *m_data1, m_programFolder,
                                     std::move(state), this);
    createStatusBar();

    connect(m_text1, &QueryBox::enterPressed, this, &Form1::runQuery);
    // Colours for the parts of a statement, and the folder's names on Ctrl+Space.
    new SqlHighlighter(m_text1->document(), [this] { return pChar; });
    m_text1->setCompletions([this] { return folderNames(m_dir1->path()); });
    // Ctrl+Up and Ctrl+Down bring back the statements of the query log.
    m_text1->setHistory([this] {
        try {
            return console::loggedStatements(platform::TextFile::read(m_programFolder.queryLog()));
        } catch (const engine::Error&) {
            return QStringList(); // no log yet
        }
    });
    connect(m_text1, &QueryBox::otherKeyPressed, this, &Form1::refreshCaption);
    connect(m_text1, &QueryBox::focusEntered, this, &Form1::queryBoxFocused);
    connect(m_command1, &QPushButton::clicked, this, &Form1::openLog);
    connect(m_command2, &QPushButton::clicked, this, &Form1::showQueries);
    connect(m_command3, &QPushButton::clicked, this, &Form1::saveQuery);
    // A click or Enter on a line of the saved-query list runs it; moving with the arrow keys does not.
    connect(m_list1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { runListedQuery(m_list1->row(item)); });
    for (const int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), m_list1, nullptr, nullptr, Qt::WidgetShortcut),
                &QShortcut::activated, this, [this] {
                    // The line Qt makes current when the list takes the focus is not picked: only a
                    // selected line runs.
                    const QList<QListWidgetItem*> picked = m_list1->selectedItems();
                    if (!picked.isEmpty()) runListedQuery(m_list1->row(picked.first()));
                });
    connect(m_grid, &datagrid::ResultGrid::headerClicked, this, &Form1::sortByColumn);
    // F6 and Shift+F6 go round the folder list, the file list, the query box and the grid.
    for (const bool back : {false, true}) {
        auto* cycle =
            new QShortcut(QKeySequence(back ? Qt::SHIFT | Qt::Key_F6 : QKeyCombination(Qt::Key_F6)), this);
        connect(cycle, &QShortcut::activated, this, [this, back] {
            const QList<QWidget*> stops{m_dir1, m_file1, m_text1, m_grid};
            qsizetype at = stops.indexOf(QApplication::focusWidget());
            at = at < 0 ? (back ? 0 : stops.size() - 1) : at;
            stops[(at + (back ? stops.size() - 1 : 1)) % stops.size()]->setFocus(Qt::ShortcutFocusReason);
        });
    }
    // The position is shown at once at every move, so the bare count a run sets stays until the
    // current row next changes.
    connect(m_data1, &datagrid::DataSource::currentChanged, this, &Form1::showPosition, Qt::DirectConnection);
    // A new result shows its position at once: 0/0 when it is empty, where no move follows.
    connect(m_data1, &datagrid::DataSource::refreshed, this, &Form1::showPosition, Qt::DirectConnection);
    connect(m_data1, &datagrid::DataSource::refreshed, this, &Form1::showTableWarnings, Qt::DirectConnection);
    // Not while the grid paints: the message and the new result wait for the event loop.
    connect(m_grid, &datagrid::ResultGrid::readFailed, this, &Form1::gridReadFailed, Qt::QueuedConnection);
    const auto report = [this](const QString& text) { m_dialogs.message(text); };
    connect(m_grid, &datagrid::ResultGrid::editFailed, this, report);
    connect(m_grid, &datagrid::ResultGrid::moveFailed, this, report);
    connect(m_data1Bar, &datagrid::NavigationBar::moveFailed, this, report);

    const platform::Twips twips = platform::Twips::of(*this);
    // The smallest pixel sizes that still measure at least the minimum in twips once converted back.
    const auto atLeast = [&twips](float minimum) {
        const int wanted = int(std::ceil(minimum));
        int pixels = twips.twipsToPixels(wanted);
        while (twips.pixelsToTwips(pixels) < wanted)
            ++pixels;
        return pixels;
    };
    m_client->setMinimumSize(atLeast(app::minimumWidth(m_geometry)), atLeast(app::minimumHeight(m_geometry)));
    m_client->installEventFilter(this);
    resize(twips.twipsToPixels(int(designWidth)),
           twips.twipsToPixels(int(designHeight)) + menuBar()->sizeHint().height());
    applyLayout();
}

Form1::~Form1() {
    qApp->removeEventFilter(this);
    // The controls go after this object's own part: they must not call back into it meanwhile.
    m_file1->model()->disconnect(this);
    m_data1->disconnect(this);
    // The grid lets go of the recordset before the data source closes it.
    delete m_grid;
    m_grid = nullptr;
}

void Form1::createControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(m_client);

    m_dir1 = new browser::FolderList(m_client);
    m_drive1 = new browser::DriveList(m_client);
    m_file1 = new browser::FileList(m_client);
    m_text1 = new QueryBox(m_client);
    m_command1 = new QPushButton(QStringLiteral("Load SQL query from log file"), m_client);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command2 = new QPushButton(QStringLiteral("Load query"), m_client);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_command3 = new QPushButton(QStringLiteral("Save query"), m_client);
    m_command3->setObjectName(QStringLiteral("Command3"));
    m_list1 = new QListWidget(m_client);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->hide();

    m_data1 = new datagrid::DataSource(this);
    m_grid = new datagrid::ResultGrid(m_data1, m_client);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setAllowUpdate(true);
    m_data1Bar = new datagrid::NavigationBar(m_data1, m_client);
    m_data1Bar->setObjectName(QStringLiteral("Data1Bar"));

    setTabOrder(m_drive1, m_dir1);
    setTabOrder(m_dir1, m_file1);
    setTabOrder(m_file1, m_text1);
    setTabOrder(m_text1, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_command3);
    setTabOrder(m_command3, m_grid);
    setTabOrder(m_grid, m_list1);
}

QAction* Form1::addEntry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) {
        action->setShortcut(key);
        m_menuKeys.append(key);
    }
    return action;
}

void Form1::createMenus() {
    QMenu* results = menuBar()->addMenu(QStringLiteral("&Results"));
    results->setObjectName(QStringLiteral("mnuFile"));
    QMenu* commands = menuBar()->addMenu(QStringLiteral("&Commands"));
    commands->setObjectName(QStringLiteral("mnuKom"));
    QMenu* other = menuBar()->addMenu(QStringLiteral("&Other"));
    other->setObjectName(QStringLiteral("mnuOstalo"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuH"));

    const auto entry = [this](QMenu* menu, const char* name, const QString& caption, void (Form1::*command)(),
                              const QKeySequence& key = {}) {
        QAction* action = addEntry(menu, name, caption, key);
        connect(action, &QAction::triggered, this, command);
        return action;
    };
    entry(results, "mnuExport", QStringLiteral("Export to file"), &Form1::exportToFile);
    entry(results, "mnuExcel", QStringLiteral("Export to MS Excel"), &Form1::exportToSpreadsheet);
    entry(results, "mnuCodePage", QStringLiteral("Code page..."), &Form1::codePageCommand);
    entry(commands, "mnuSearch", QStringLiteral("Search"), &Form1::searchCommand,
          QKeySequence(Qt::CTRL | Qt::Key_T));
    entry(commands, "mnuFilter", QStringLiteral("Filter"), &Form1::filterCommand,
          QKeySequence(Qt::CTRL | Qt::Key_F));
    entry(commands, "mnuSort", QStringLiteral("Sort by"), &Form1::sortCommand,
          QKeySequence(Qt::CTRL | Qt::Key_S));
    // Checked while the saved queries are listed above the query box.
    entry(commands, "mnuDirUpit", QStringLiteral("Direct display of saved queries"),
          &Form1::toggleDirectDisplay, QKeySequence(Qt::CTRL | Qt::Key_D))
        ->setCheckable(true);
    entry(other, "mnuPodesavanje", QStringLiteral("Settings"), &Form1::settingsCommand);
    entry(other, "mnuExUp", QStringLiteral("Export queries to a file"), &Form1::exportQueries);
    entry(other, "mnuImpUp", QStringLiteral("Import queries from a file"), &Form1::importQueries);
    entry(other, "mnuAutofit", QStringLiteral("Automatically fit column widths"), &Form1::autofitColumns,
          QKeySequence(Qt::CTRL | Qt::Key_A));
    entry(help, "mnuHelp", QStringLiteral("Help"), &Form1::showHelp, QKeySequence(Qt::Key_F1));
    entry(help, "mnuAbout", QStringLiteral("About"), &Form1::showAbout);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) applyLayout();
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        // A shortcut runs only when the focused widget leaves its key alone.
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (m_menuKeys.contains(pressed)) {
            event->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::place(QWidget* widget, const Box& box) {
    const platform::Twips twips = platform::Twips::of(*this);
    widget->setGeometry(
        twips.twipsToPixels(int(std::lround(box.left))), twips.twipsToPixels(int(std::lround(box.top))),
        twips.twipsToPixels(int(std::lround(box.width))), twips.twipsToPixels(int(std::lround(box.height))));
}

void Form1::applyLayout() {
    // A minimized window keeps its layout; a client area below the minimum size never occurs
    // otherwise, and would leave the controls where they are.
    if (isMinimized()) return;
    const platform::Twips twips = platform::Twips::of(*this);
    const float width = float(twips.pixelsToTwips(m_client->width()));
    const float height = float(twips.pixelsToTwips(m_client->height()));
    if (largeEnough(m_geometry, width, height)) m_geometry = arrange(m_geometry, width, height);
    place(m_dir1, m_geometry.dir1);
    place(m_drive1, m_geometry.drive1);
    place(m_file1, m_geometry.file1);
    if (m_directDisplay) {
        // The list stands above the query box, in the room the box has alone.
        const SharedRoom room = shareWithList(m_geometry.text1);
        place(m_list1, room.list1);
        place(m_text1, room.text1);
    } else {
        place(m_text1, m_geometry.text1);
        place(m_list1, m_geometry.list1);
    }
    place(m_command1, m_geometry.command1);
    place(m_command2, m_geometry.command2);
    place(m_command3, m_geometry.command3);
    place(m_grid, m_geometry.grid);
    place(m_data1Bar, m_geometry.data1);
    for (QPushButton* button : {m_command1, m_command2, m_command3})
        fitCaption(button);
}

void Form1::fitCaption(QPushButton* button) {
    // The buttons keep their designed width; a caption that is wider gets a smaller font rather
    // than being cut off.
    QFont font = this->font();
    const int room = button->width() - 8;
    while (QFontMetrics(font).horizontalAdvance(button->text()) > room && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    button->setFont(font);
}

void Form1::start(const QString& commandLine) {
    UUpit = 0;
    // The system hands the path as typed; quotes are removed only when they are there.
    QString path = commandLine;
    if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"')))
        path = path.mid(1, path.size() - 2);
    QString folder;
    QString fileName;
    if (!path.isEmpty()) {
        const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
        if (info.isDir()) {
            folder = info.absoluteFilePath();
        } else {
            folder = info.absolutePath();
            fileName = info.fileName();
        }
        folder = QDir::toNativeSeparators(folder);
    }

    // The parameter character always comes from the settings file, so that a start with a path
    // does not erase it when the folder change rewrites the file. No file yet is a first start.
    startStep([&] {
        const std::optional<browser::SettingsValues> values = browser::Settings(m_programFolder).read();
        if (!values) return;
        pChar = values->parameterChar;
        if (path.isEmpty()) Putanja = values->folder;
    });
    if (pChar.isEmpty()) pChar = QStringLiteral("~");
    startStep([&] { m_codePageChoices = browser::CodePageChoices(m_programFolder).read(); });

    if (!path.isEmpty()) {
        Putanja = folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
        startStep([&] { m_dir1->setPath(folder); });
        if (!fileName.isEmpty()) startStep([&] { m_file1->selectFile(fileName); });
    } else if (!Putanja.isEmpty()) {
        startStep([&] { m_dir1->setPath(Putanja); });
    }
    // No folder yet, or one that is gone: the program's own folder.
    if (m_dir1->path().isEmpty()) startStep([&] { m_dir1->setPath(m_programFolder.path()); });
    startStep([&] { m_file1->setPattern(QStringLiteral("*.dbf")); });
}

void Form1::refreshCaption() {
    setWindowTitle(browser::Browser::windowTitle(Putanja, Tabela.toString()));
}

void Form1::showPosition() {
    // Nothing open: nothing to show.
    engine::Recordset* rows = m_data1->recordset();
    if (!rows) return;
    step([&] {
        const std::int64_t position = rows->absolutePosition();
        m_data1->setCaption(QString::number(position + 1) + QLatin1Char('/') +
                            QString::number(rows->recordCount()));
    });
}

void Form1::showTableWarnings() {
    engine::Database* database = m_data1->database();
    if (!database) return;
    const std::vector<std::string> warnings = database->takeWarnings();
    if (warnings.empty()) return;
    QStringList lines;
    for (const auto& warning : warnings)
        lines.append(QString::fromStdString(warning));
    m_dialogs.message(lines.join(QLatin1Char('\n')));
}

void Form1::gridReadFailed(const QString& description, bool tableChanged) {
    m_dialogs.message(description);
    if (!tableChanged || m_data1->recordSource().isEmpty()) return;
    // The grid goes on with the table as it is now.
    step([&] { m_data1->refresh(); });
    step([&] { m_data1->completeCount(); });
}

void Form1::queryBoxFocused(bool chosen) {
    // Right after a saved query was placed in the box, its text stays as it is.
    if (UUpit == -1) {
        UUpit = 0;
        return;
    }
    if (chosen) m_text1->selectAll();
}

void Form1::openLog() {
    m_editor.open(m_programFolder.queryLog());
}

} // namespace app
