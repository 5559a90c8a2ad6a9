// The visible part of Data1: first, previous, next and last buttons around the data source's caption.
#pragma once

#include <QFrame>

class QLabel;
class QToolButton;

namespace datagrid {

class DataSource;

// Buttons "Data1First", "Data1Previous", "Data1Next", "Data1Last", the label "Data1Caption" and, at its
// right, "Data1CodePage": the code page the open table's text is read in. Next on
// the last record stays there, as Previous on the first does. The buttons are disabled while nothing
// is open; the bar never shows a message, a failed move is reported through moveFailed.
class NavigationBar : public QFrame {
    Q_OBJECT

public:
    explicit NavigationBar(DataSource* source, QWidget* parent = nullptr);
    // Whether the bar names the table's code page beside the position (a bar too narrow for both does not).
    void setCodePageShown(bool shown);
    DataSource* dataSource() const { return m_source; }

signals:
    void moveFailed(const QString& description);

private:
    enum class Move { First, Previous, Next, Last };
    QToolButton* addButton(const QString& name, const QString& tip, int icon, Move move);
    void move(Move move);
    void setOpen(bool open);

    DataSource* m_source;
    QLabel* m_caption;
    QLabel* m_codePage;
    QList<QToolButton*> m_buttons;
};

} // namespace datagrid
