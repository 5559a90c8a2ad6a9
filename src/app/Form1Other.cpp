// Form1: the Settings command, the help text and the About message.
#include "app/Form1.h"
#include "browser/Settings.h"
#include "platform/Dialogs.h"
#include "platform/TextEditor.h"

#include <QDir>

namespace app {

void Form1::settingsCommand() {
    // Both prompts carry the window's title; a cancelled prompt falls back to the root folder and
    // the default marker, so the file always holds usable values.
    Putanja = m_dialogs.prompt(QStringLiteral("Default path: "), windowTitle(), Putanja);
    if (Putanja.isEmpty()) Putanja = QDir::toNativeSeparators(QDir::rootPath());
    pChar = m_dialogs.prompt(QStringLiteral("Parameter character: "), windowTitle(), pChar);
    if (pChar.isEmpty()) pChar = QStringLiteral("~");
    step([&] { browser::Settings(m_programFolder).write({Putanja, pChar}); });
}

void Form1::showHelp() {
    m_editor.open(m_programFolder.helpText());
}

void Form1::showAbout() {
    m_dialogs.message(QStringLiteral("BRINDLE is written by the BRINDLE authors and is completely free.\r\n"
                                     "Use it, test it, and send your suggestions to brindle@example.org."),
                      QStringLiteral("BRINDLE " BRINDLE_VERSION));
}

} // namespace app
