// Form1: what the window adds around the Parts' controls: a status bar (the folder's tables, the table's
// code page, its rows, how long the last statement took) and its size and place kept between runs.
#include "app/Form1.h"
#include "browser/FileList.h"
#include "datagrid/DataSource.h"
#include "engine/Recordset.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QSettings>
#include <QStatusBar>

namespace app {

namespace {

QLabel* addPart(QStatusBar* bar, const char* name) {
    auto* label = new QLabel(bar);
    label->setObjectName(QString::fromLatin1(name));
    bar->addPermanentWidget(label);
    return label;
}

} // namespace

void Form1::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    m_statusTables = addPart(bar, "StatusTables");
    m_statusCodePage = addPart(bar, "StatusCodePage");
    m_statusRows = addPart(bar, "StatusRows");
    m_statusTime = addPart(bar, "StatusTime");
    for (const char* signal : {SIGNAL(refreshed()), SIGNAL(aboutToClose()), SIGNAL(currentChanged())})
        connect(m_data1, signal, this, SLOT(showStatus()), Qt::QueuedConnection);
    QAbstractItemModel* files = m_file1->model();
    connect(files, &QAbstractItemModel::rowsInserted, this, &Form1::showStatus);
    connect(files, &QAbstractItemModel::rowsRemoved, this, &Form1::showStatus);
    connect(files, &QAbstractItemModel::modelReset, this, &Form1::showStatus);
    showStatus();
}

void Form1::showStatus() {
    const QLocale locale;
    const int tables = m_file1->count();
    m_statusTables->setText(tables == 1 ? QStringLiteral("1 table") : locale.toString(tables) + " tables");
    const QString codePage = m_data1->codePage();
    m_statusCodePage->setText(codePage);
    m_statusCodePage->setVisible(!codePage.isEmpty());
    engine::Recordset* rows = m_data1->recordset();
    const std::int64_t count = rows ? rows->recordCount() : 0;
    m_statusRows->setText(!rows        ? QString()
                          : count == 1 ? QStringLiteral("1 row")
                                       : locale.toString(qlonglong(count)) + " rows");
    m_statusRows->setVisible(rows != nullptr);
    m_statusTime->setText(m_lastRunSeconds < 0
                              ? QString()
                              : "last statement " + locale.toString(m_lastRunSeconds, 'f', 2) + " s");
    m_statusTime->setVisible(m_lastRunSeconds >= 0);
}

void Form1::ranFor(double seconds) {
    m_lastRunSeconds = seconds;
    showStatus();
}

QString Form1::windowStateFile() const {
    return m_programFolder.file(QStringLiteral("window.ini"));
}

void Form1::restoreWindowState() {
    const QByteArray geometry =
        QSettings(windowStateFile(), QSettings::IniFormat).value("geometry").toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
}

void Form1::closeEvent(QCloseEvent* event) {
    // The size and place the window had, for the next run; a folder that cannot be written keeps none.
    QSettings(windowStateFile(), QSettings::IniFormat).setValue("geometry", saveGeometry());
    QMainWindow::closeEvent(event);
}

} // namespace app
