// frmUpiti: the Queries window's controls, its opening, and the handlers of its list and buttons.
#include "app/FrmUpiti.h"

#include "app/Form1.h"
#include "app/QueryBox.h"
#include "datagrid/DataSource.h"
#include "datagrid/NavigationBar.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "platform/Dialogs.h"
#include "platform/Twips.h"
#include "saved/QueryRows.h"
#include "saved/SavedQueries.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <functional>
#include <stdexcept>

namespace app {

namespace {

// The saved texts keep CR LF; the text boxes work with LF.
QString forBox(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString fromBox(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

engine::Error gone(const QString& name) {
    return engine::Error(engine::NoCurrentRecord, "The query '" + name.toStdString() +
                                                      "' is no longer in the table of saved queries.");
}

} // namespace

FrmUpiti::FrmUpiti(Form1& form1, platform::Dialogs& dialogs, platform::ProgramFolder programFolder)
    : QWidget(&form1, Qt::Window), m_form1(form1), m_dialogs(dialogs),
      m_programFolder(std::move(programFolder)) {
    setObjectName(QStringLiteral("frmUpiti"));
    setWindowTitle(QStringLiteral("Queries"));
    createControls();

    // Only a real choice (a click, the arrow keys) chooses: the row Qt makes current when the list takes
    // the focus is not selected, and chooses nothing.
    connect(m_list1, &QListWidget::itemSelectionChanged, this, [this] { choose(chosenRow()); });
    // A click on the entry already in use chooses it again, which is how its edit is saved (or, with
    // No, dropped) without leaving it. A click that changed the entry has chosen it already.
    connect(m_list1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (QueryChanged && m_list1->row(item) == CurIndex) choose(CurIndex);
    });
    connect(m_list1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        uNaziv = item->text();
        load();
    });
    m_list1->installEventFilter(this); // Enter in the list loads
    connect(m_command1, &QPushButton::clicked, this, &FrmUpiti::load);
    connect(m_command2, &QPushButton::clicked, this, &FrmUpiti::exitWindow);
    connect(m_command3, &QPushButton::clicked, this, &FrmUpiti::deleteQuery);
    connect(m_text1, &QPlainTextEdit::textChanged, this, &FrmUpiti::textChanged);
    connect(m_data1, &datagrid::DataSource::currentChanged, this, &FrmUpiti::dataMoved);
    connect(m_data1Bar, &datagrid::NavigationBar::moveFailed, this,
            [this](const QString& description) { m_dialogs.message(description); });
}

FrmUpiti::~FrmUpiti() {
    // The controls go after this object's own part: they must not call back into it meanwhile.
    m_list1->disconnect(this);
    m_text1->disconnect(this);
    m_data1->disconnect(this);
}

void FrmUpiti::createControls() {
    const platform::Twips twips = platform::Twips::of(m_form1);
    const auto place = [&](QWidget* widget, int left, int top, int width, int height) {
        widget->setGeometry(twips.twipsToPixels(left), twips.twipsToPixels(top), twips.twipsToPixels(width),
                            twips.twipsToPixels(height));
    };
    setFixedSize(twips.twipsToPixels(9675), twips.twipsToPixels(5910));

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    place(m_list1, 120, 120, 9495, 2595);
    m_data1 = new datagrid::DataSource(this);
    m_data1->setCaption(QStringLiteral("Data1"));
    m_data1Bar = new datagrid::NavigationBar(m_data1, this);
    m_data1Bar->setCodePageShown(false); // the position alone fills this narrow bar
    place(m_data1Bar, 120, 2880, 2220, 300);
    m_command1 = new QPushButton(QStringLiteral("Load"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    place(m_command1, 4560, 2880, 1700, 320);
    m_command3 = new QPushButton(QStringLiteral("Delete"), this);
    m_command3->setObjectName(QStringLiteral("Command3"));
    place(m_command3, 6240, 2880, 1700, 320);
    m_command2 = new QPushButton(QStringLiteral("Exit"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    place(m_command2, 7920, 2880, 1700, 320);
    m_text1 = new QPlainTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setTabChangesFocus(true);
    m_text1->setReadOnly(true);
    place(m_text1, 120, 3360, 9495, 2415);

    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_list1);
    setTabOrder(m_list1, m_command3);
    setTabOrder(m_command3, m_text1);
}

void FrmUpiti::showWindow() {
    if (isVisible()) {
        // A minimized window would stay out of sight behind a mere raise.
        if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
        raise();
        activateWindow();
        return;
    }
    // Opening has no rule of its own for failures: the first is reported and the window stays closed.
    if (!m_steps([&] { opening(); })) {
        m_data1->close();
        return;
    }
    // Centred on the main window's screen, level with the main window's top. A move before the first
    // show places the frame (the window manager puts its decoration inside the position given), while a
    // move right after it would place the inside, as the frame is not known yet.
    const QRect screen = (m_form1.screen() ? m_form1.screen() : QGuiApplication::primaryScreen())->geometry();
    // Its frame is taken to be as wide as the main window's.
    const int frameWidth = width() + m_form1.frameGeometry().width() - m_form1.width();
    move(screen.left() + (screen.width() - frameWidth) / 2, m_form1.frameGeometry().top());
    show();
    raise();
    activateWindow();
}

void FrmUpiti::opening() {
    QScopedValueRollback<bool> quiet(m_quiet, true);
    m_list1->clear();
    QueryChanged = false;
    CurIndex = -1;
    setBoxText(QString(), false);
    // The table is looked for first, so that a missing one is named as the file to put back.
    saved::openDatabase(m_programFolder);
    m_data1->setDatabaseName(m_programFolder.path());
    m_data1->setRecordSource(QString::fromLatin1(saved::windowRowSet));
    m_data1->refresh();
    // The list is read from the data source's own rows, so that list entry k is row k of the row set.
    m_list1->addItems(saved::readNames(*m_data1->recordset()));
    showPosition();
}

bool FrmUpiti::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            load();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int FrmUpiti::chosenRow() const {
    const QList<QListWidgetItem*> chosen = m_list1->selectedItems();
    return chosen.isEmpty() ? -1 : m_list1->row(chosen.first());
}

bool FrmUpiti::settleChanges() {
    if (!QueryChanged) return true;
    bool settled = false;
    // A text that could not be saved stays on screen, so that nothing is lost.
    m_steps([&] {
        const std::optional<bool> save = m_dialogs.questionOrCancel(savePrompt());
        if (!save) return;
        if (*save) saveChanges();
        QueryChanged = false;
        settled = true;
    });
    return settled;
}

void FrmUpiti::closeEvent(QCloseEvent* event) {
    if (!settleChanges()) {
        event->ignore();
        return;
    }
    // The table is not held while the window is closed; opening reads it again anyway.
    m_data1->close();
    QWidget::closeEvent(event);
}

QString FrmUpiti::savePrompt() const {
    return "Query '" + uNaziv.toUpper() + "' has been changed. Do you want to save changes?";
}

void FrmUpiti::choose(int row) {
    if (m_quiet) return;
    // Each step that fails shows the error's number and description, and the next step runs.
    const platform::Steps trap(m_dialogs, platform::Steps::Form::Numbered);
    // The edited text still shows, and uNaziv and CurIndex still name the query it belongs to.
    if (QueryChanged) {
        trap([&] {
            if (m_dialogs.question(savePrompt())) saveChanges();
        });
        QueryChanged = false;
    }
    if (row >= 0) {
        trap([&] {
            engine::Recordset* rows = m_data1->recordset();
            if (!rows || !saved::rowExists(*rows, row)) {
                setBoxText(QString(), false);
                throw gone(m_list1->item(row)->text());
            }
            QScopedValueRollback<bool> choosing(m_choosing, true);
            m_data1->setAbsolutePosition(row);
        });
    }
    uNaziv = row >= 0 ? m_list1->item(row)->text() : QString();
    CurIndex = row;
    m_text1->setReadOnly(row < 0);
}

void FrmUpiti::saveChanges() {
    engine::Recordset* rows = m_data1->recordset();
    if (!rows || !saved::rowExists(*rows, CurIndex)) throw gone(uNaziv);
    saved::setRowText(*rows, CurIndex, fromBox(m_text1->toPlainText()));
}

void FrmUpiti::dataMoved() {
    if (m_quiet) return;
    engine::Recordset* rows = m_data1->recordset();
    const int at = rows ? int(rows->absolutePosition()) : -1;
    if (!m_choosing && at >= 0 && at < m_list1->count() && at != chosenRow()) {
        // The bar's own moves choose the entry of the row they reach, as a click on it would, so
        // that the list, the text shown and the query in use agree.
        m_list1->setCurrentRow(at);
        return;
    }
    // A move onto the query in use keeps its edited text.
    if (m_choosing || at != CurIndex) showRowText();
    showPosition();
}

void FrmUpiti::showRowText() {
    QString text;
    if (engine::Recordset* rows = m_data1->recordset(); rows && rows->absolutePosition() >= 0) {
        try {
            text = saved::textOf(rows->value("u_txt"));
        } catch (const engine::Error&) {
            // A row that cannot be read shows nothing; choosing it reports why.
        }
    }
    setBoxText(forBox(text), chosenRow() >= 0);
}

void FrmUpiti::showPosition() {
    m_data1->setCaption(QString::number(chosenRow() + 1) + QLatin1Char('/') +
                        QString::number(m_list1->count()));
}

void FrmUpiti::setBoxText(const QString& text, bool editable) {
    QScopedValueRollback<bool> quiet(m_quiet, true);
    m_text1->setPlainText(text);
    m_text1->setReadOnly(!editable);
}

void FrmUpiti::textChanged() {
    if (m_quiet) return;
    if (CurIndex >= 0 && CurIndex == chosenRow()) QueryChanged = true;
}

void FrmUpiti::load() {
    // Load has no rule of its own for failures: the first is reported and Load ends there.
    m_steps([&] {
        const int row = chosenRow();
        if (row < 0) {
            m_dialogs.message(QStringLiteral("No query is chosen. Choose one in the list, then Load."));
            return;
        }
        // Load closes the window: an edited text is saved, dropped, or (Cancel) nothing runs.
        if (!settleChanges()) return;
        engine::Recordset* rows = m_data1->recordset();
        if (!rows || !saved::rowExists(*rows, row)) throw gone(m_list1->item(row)->text());
        // The text comes from the table, not from the box: unsaved edits are not run.
        const QString text = saved::rowText(*rows, row);

        m_form1.UUpit = -1;
        QueryBox* box = m_form1.queryBox();
        box->setPlainText(forBox(text));
        close();
        m_form1.activateWindow();
        box->setFocus(Qt::OtherFocusReason);
        box->moveCursor(QTextCursor::End);
        // The Enter goes to the main window's query box itself, whatever has the focus when it arrives.
        QCoreApplication::postEvent(
            box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
    });
}

void FrmUpiti::exitWindow() {
    if (QueryChanged) {
        // A text that could not be saved stays on screen, so that nothing is lost.
        if (!m_steps([&] {
                if (m_dialogs.question(savePrompt())) saveChanges();
            }))
            return;
        QueryChanged = false;
    }
    m_form1.UUpit = -1;
    close();
}

void FrmUpiti::deleteQuery() {
    const int row = chosenRow();
    if (row < 0) return;
    // Delete has no rule of its own for failures: the first is reported and Delete ends there.
    m_steps([&] {
        const QString name = m_list1->item(row)->text();
        engine::Recordset* rows = m_data1->recordset();
        if (!rows || !saved::rowExists(*rows, row)) throw gone(name);
        const QString text = saved::rowText(*rows, row);
        if (!m_dialogs.question(
                "Are you sure you want to delete query " + name.toUpper() + "\r\n [" + text + "]", {}, false))
            return;
        saved::deleteRow(*rows, row);
        {
            QScopedValueRollback<bool> quiet(m_quiet, true);
            delete m_list1->takeItem(row);
            m_list1->clearSelection();
            m_list1->setCurrentRow(-1);
        }
        setBoxText(QStringLiteral("#deleted query#"), false);
        // The query in use is gone with its edits; a later one keeps its row as the list moves up.
        if (CurIndex == row) {
            CurIndex = -1;
            QueryChanged = false;
        } else if (CurIndex > row) {
            --CurIndex;
        }
        showPosition();
    });
}

} // namespace app
