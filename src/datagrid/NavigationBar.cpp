// The data source's bar: record moves with the classic data control's behaviour at both ends.
#include "datagrid/NavigationBar.h"

#include "datagrid/DataSource.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace datagrid {

NavigationBar::NavigationBar(DataSource* source, QWidget* parent) : QFrame(parent), m_source(source) {
    setObjectName(QStringLiteral("Data1Bar"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(addButton(QStringLiteral("Data1First"), tr("First record"),
                                QStyle::SP_MediaSkipBackward, Move::First));
    layout->addWidget(addButton(QStringLiteral("Data1Previous"), tr("Previous record"),
                                QStyle::SP_MediaSeekBackward, Move::Previous));
    m_caption = new QLabel(m_source->caption(), this);
    m_caption->setObjectName(QStringLiteral("Data1Caption"));
    m_caption->setIndent(4);
    m_caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_caption, 1);
    m_codePage = new QLabel(this);
    m_codePage->setObjectName(QStringLiteral("Data1CodePage"));
    m_codePage->setToolTip(tr("The code page of the table's text (Results, Code page...)"));
    m_codePage->setIndent(4);
    m_codePage->setEnabled(false); // a quiet grey beside the position
    layout->addWidget(m_codePage);
    layout->addWidget(
        addButton(QStringLiteral("Data1Next"), tr("Next record"), QStyle::SP_MediaSeekForward, Move::Next));
    layout->addWidget(
        addButton(QStringLiteral("Data1Last"), tr("Last record"), QStyle::SP_MediaSkipForward, Move::Last));

    connect(m_source, &DataSource::captionChanged, m_caption, &QLabel::setText);
    connect(m_source, &DataSource::refreshed, this, [this] {
        setOpen(true);
        m_codePage->setText(m_source->codePage());
    });
    connect(m_source, &DataSource::aboutToClose, this, [this] {
        setOpen(false);
        m_codePage->clear();
    });
    setOpen(m_source->recordset() != nullptr);
}

void NavigationBar::setCodePageShown(bool shown) {
    m_codePage->setVisible(shown);
}

QToolButton* NavigationBar::addButton(const QString& name, const QString& tip, int icon, Move move) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
    // The grid keeps the focus while the user steps through records.
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, [this, move] { this->move(move); });
    m_buttons.append(button);
    return button;
}

void NavigationBar::setOpen(bool open) {
    for (QToolButton* button : std::as_const(m_buttons))
        button->setEnabled(open);
}

void NavigationBar::move(Move move) {
    engine::Recordset* rs = m_source->recordset();
    if (!rs || (rs->bof() && rs->eof())) return; // nothing open, or no rows
    try {
        switch (move) {
        case Move::First:
            rs->moveFirst();
            break;
        case Move::Last:
            rs->moveLast();
            break;
        case Move::Next:
            if (!rs->eof()) rs->moveNext();
            if (rs->eof()) rs->moveLast();
            break;
        case Move::Previous:
            if (!rs->bof()) rs->movePrevious();
            if (rs->bof()) rs->moveFirst();
            break;
        }
    } catch (const engine::Error& e) {
        emit moveFailed(QString::fromStdString(e.description()));
    }
    m_source->notifyCurrentChanged();
}

} // namespace datagrid
