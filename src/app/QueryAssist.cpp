// Help in the query box that changes nothing it runs: colours for the parts of a statement, and the
// names of the folder's tables and fields offered on Ctrl+Space.
#include "app/QueryAssist.h"

#include "xbase/Table.h"

#include <QDir>
#include <QSet>
#include <exception>

namespace app {

namespace {

const QSet<QString>& keywords() {
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char* w :
             {"select",    "from",    "where",      "order",       "by",         "group",  "having",
              "insert",    "into",    "values",     "update",      "set",        "delete", "create",
              "table",     "drop",    "alter",      "add",         "column",     "and",    "or",
              "not",       "like",    "between",    "in",          "is",         "null",   "as",
              "top",       "percent", "distinct",   "distinctrow", "join",       "inner",  "left",
              "right",     "outer",   "on",         "union",       "all",        "asc",    "desc",
              "transform", "pivot",   "parameters", "true",        "false",      "xor",    "mod",
              "exists",    "index",   "primary",    "key",         "constraint", "unique"})
            set.insert(QString::fromLatin1(w));
        return set;
    }();
    return words;
}

bool wordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

} // namespace

QString SqlHighlighter::classify(const QString& line, const QString& parameterChar) {
    QString kinds(line.size(), QLatin1Char('.'));
    const QChar marker = parameterChar.isEmpty() ? QChar() : parameterChar.at(0);
    // What closes each kind of span, once it is open.
    const auto span = [&](qsizetype from, QChar close, QChar kind) {
        qsizetype end = line.indexOf(close, from + 1);
        end = end < 0 ? line.size() : end + 1;
        for (qsizetype k = from; k < end; ++k)
            kinds[k] = kind;
        return end;
    };
    for (qsizetype i = 0; i < line.size();) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
            i = span(i, c, QLatin1Char('s'));
        else if (c == QLatin1Char('#'))
            i = span(i, c, QLatin1Char('d'));
        else if (c == QLatin1Char('['))
            i = span(i, QLatin1Char(']'), QLatin1Char('n'));
        else if (!marker.isNull() && c == marker)
            i = span(i, marker, QLatin1Char('p'));
        else if (wordChar(c)) {
            qsizetype end = i;
            while (end < line.size() && wordChar(line.at(end)))
                ++end;
            if (keywords().contains(line.mid(i, end - i).toLower()))
                for (qsizetype k = i; k < end; ++k)
                    kinds[k] = QLatin1Char('k');
            i = end;
        } else {
            ++i;
        }
    }
    return kinds;
}

SqlHighlighter::SqlHighlighter(QTextDocument* document, std::function<QString()> parameterChar)
    : QSyntaxHighlighter(document), m_parameterChar(std::move(parameterChar)) {
    m_keyword.setForeground(QColor(0x1f, 0x4e, 0x9c));
    m_keyword.setFontWeight(QFont::Bold);
    m_text.setForeground(QColor(0xa3, 0x2c, 0x1c));
    m_date.setForeground(QColor(0x7a, 0x2e, 0x8e));
    m_name.setForeground(QColor(0x0b, 0x6e, 0x6e));
    m_parameter.setForeground(QColor(0xb3, 0x5c, 0x00));
    m_parameter.setFontItalic(true);
}

void SqlHighlighter::highlightBlock(const QString& text) {
    const QString kinds = classify(text, m_parameterChar ? m_parameterChar() : QString());
    const auto format = [this](QChar kind) -> const QTextCharFormat* {
        switch (kind.toLatin1()) {
        case 'k':
            return &m_keyword;
        case 's':
            return &m_text;
        case 'd':
            return &m_date;
        case 'n':
            return &m_name;
        case 'p':
            return &m_parameter;
        default:
            return nullptr;
        }
    };
    for (qsizetype i = 0; i < kinds.size();) {
        qsizetype end = i;
        while (end < kinds.size() && kinds.at(end) == kinds.at(i))
            ++end;
        if (const QTextCharFormat* f = format(kinds.at(i))) setFormat(int(i), int(end - i), *f);
        i = end;
    }
}

QStringList folderNames(const QString& folder) {
    QStringList names;
    QSet<QString> seen;
    const auto add = [&](const QString& name) {
        if (!name.isEmpty() && !seen.contains(name.toLower())) {
            seen.insert(name.toLower());
            names.append(name);
        }
    };
    const QDir dir(folder);
    for (const QFileInfo& file :
         dir.entryInfoList({QStringLiteral("*.dbf"), QStringLiteral("*.DBF")}, QDir::Files)) {
        add(file.completeBaseName());
        try {
            const auto table = xbase::Table::open(file.filePath().toStdString());
            for (const std::size_t i : table->visibleFields())
                add(QString::fromStdString(table->fields()[i].name));
        } catch (const std::exception&) {
            // A table that cannot be read offers its name alone.
        }
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

} // namespace app
