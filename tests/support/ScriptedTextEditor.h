// Text editor for tests: records the files the program asked to show.
#pragma once

#include "platform/TextEditor.h"

#include <QStringList>

namespace testsupport {

class ScriptedTextEditor : public platform::TextEditor {
public:
    void open(const QString& path) override { m_opened.append(path); }
    const QStringList& opened() const { return m_opened; }

private:
    QStringList m_opened;
};

} // namespace testsupport
