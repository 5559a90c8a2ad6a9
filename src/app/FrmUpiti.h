// frmUpiti: the Queries window, which lists the saved queries and shows, edits, deletes and loads them.
#pragma once

#include "platform/ProgramFolder.h"
#include "platform/Steps.h"

#include <QString>
#include <QWidget>

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace platform {
class Dialogs;
}
namespace datagrid {
class DataSource;
class NavigationBar;
} // namespace datagrid

namespace app {

class Form1;

// A second window, not modal, with its own data source over the row set of the saved-query table.
// Every action concerns the query of the chosen list entry: its row, and no other row of that name.
class FrmUpiti : public QWidget {
    Q_OBJECT

public:
    // form1: the main window; it owns this window, and Load fills and runs its query box.
    FrmUpiti(Form1& form1, platform::Dialogs& dialogs, platform::ProgramFolder programFolder);
    ~FrmUpiti() override;

    // Shows the window. One that is not open yet first reads the table again; an open one only comes
    // to the front. A missing or unreadable table is reported and the window stays closed.
    void showWindow();

    // The buttons Load, Exit and Delete.
    void load();
    void exitWindow();
    void deleteQuery();

    // The name of the query in use: the list entry chosen last.
    QString uNaziv;

    // Whether the query in use was edited since it was chosen or saved; its list position (-1: none).
    bool queryChanged() const { return QueryChanged; }
    int curIndex() const { return CurIndex; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void opening();
    // The list entry chosen (selected), or -1.
    int chosenRow() const;
    void choose(int row);
    // Asks about an edited text (Yes saves it, No drops it); false when the user cancelled or the save
    // failed, and the text stays.
    bool settleChanges();
    void saveChanges();
    void dataMoved();
    void textChanged();
    void showRowText();
    void showPosition();
    void setBoxText(const QString& text, bool editable);
    QString savePrompt() const;

    Form1& m_form1;
    platform::Dialogs& m_dialogs;
    // Handlers without a rule of their own: the first failure is reported (its description) and ends them.
    platform::Steps m_steps{m_dialogs};
    platform::ProgramFolder m_programFolder;

    QListWidget* m_list1 = nullptr;
    datagrid::DataSource* m_data1 = nullptr;
    datagrid::NavigationBar* m_data1Bar = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QPlainTextEdit* m_text1 = nullptr;

    bool QueryChanged = false;
    int CurIndex = -1;
    // The window itself is changing the list, the row or the text: no choice and no edit.
    bool m_quiet = false;
    // Choose is moving the data source to the chosen row.
    bool m_choosing = false;
};

} // namespace app
