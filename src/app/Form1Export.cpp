// Form1: the result to a fixed-width text file and to a spreadsheet workbook.
#include "app/Form1.h"
#include "datagrid/DataSource.h"
#include "datagrid/ResultGrid.h"
#include "output/SheetExport.h"
#include "output/TextExport.h"
#include "platform/XlsxSpreadsheet.h"

#include <QDir>

namespace app {

void Form1::exportToFile() {
    QStringList captions;
    for (int i = 0; i < m_grid->columnCount(); ++i)
        captions.append(m_grid->columnCaption(i));
    const QString suggested = QDir(m_data1->databaseName())
                                  .filePath(output::workbookName(Tabela.toString()) + QStringLiteral(".txt"));
    output::exportText({m_dialogs, *m_data1, captions,
                        [this](const QString& title) { setWindowTitle(title); }, [this] { refreshCaption(); },
                        QDir::toNativeSeparators(suggested)});
}

void Form1::exportToSpreadsheet() {
    output::exportSheet({m_dialogs,
                         m_data1->databaseName(),
                         m_data1->recordSource(),
                         output::workbookName(Tabela.toString()),
                         [] { return std::make_unique<platform::XlsxSpreadsheet>(); },
                         {},
                         [this](const QString& title) { setWindowTitle(title); },
                         [this] { refreshCaption(); }});
}

} // namespace app
