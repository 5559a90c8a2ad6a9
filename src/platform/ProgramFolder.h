// The program folder and the files the program keeps there, passed around as a value so that
// tests can point it at a temporary folder.
#pragma once

#include <QString>

namespace platform {

class ProgramFolder {
public:
    // folder: any path; kept absolute and clean, with the platform's separators.
    explicit ProgramFolder(const QString& folder);

    // The folder of the running executable. Needs a QCoreApplication.
    static ProgramFolder ofExecutable();
    // Where this program keeps its files: the executable's folder when the saved-query table is there or
    // nothing is installed beside it (a build), else the user's data folder (an installed program), made
    // on first start and given the empty saved-query table from `installed` (the program's shared data
    // folder), where the help text is also taken from whenever the installed one changed. Needs a
    // QCoreApplication.
    static ProgramFolder forThisProgram();
    static ProgramFolder forInstalledProgram(const QString& installed, const QString& userData);

    const QString& path() const { return m_path; }
    QString settingsFile() const { return file("brindle.ini"); }
    QString queryLog() const { return file("sql.txt"); }
    QString savedQueries() const { return file("upiti.dbf"); }
    QString helpText() const { return file("brHelp.txt"); }
    QString codePageChoices() const { return file("codepages.txt"); }

    // A file of this name in the program folder.
    QString file(const QString& name) const;

    bool operator==(const ProgramFolder&) const = default;

private:
    QString m_path;
};

} // namespace platform
