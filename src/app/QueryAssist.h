// Help in the query box that changes nothing it runs: colours for the parts of a statement, and the
// names of the folder's tables and fields offered on Ctrl+Space.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <functional>

namespace app {

// Keywords, quoted text, #dates#, [names] and parameters between the parameter character, line by line.
class SqlHighlighter : public QSyntaxHighlighter {
public:
    // parameterChar: the character that encloses a parameter (asked for when a line is coloured).
    SqlHighlighter(QTextDocument* document, std::function<QString()> parameterChar);

    // The format of each character of one line, for tests: 'k' keyword, 's' quoted text, 'd' date,
    // 'n' [name], 'p' parameter, '.' anything else.
    static QString classify(const QString& line, const QString& parameterChar);

protected:
    void highlightBlock(const QString& text) override;

private:
    std::function<QString()> m_parameterChar;
    QTextCharFormat m_keyword, m_text, m_date, m_name, m_parameter;
};

// The names Ctrl+Space offers: the folder's tables (file names without .dbf) and their fields, each once.
QStringList folderNames(const QString& folder);

} // namespace app
