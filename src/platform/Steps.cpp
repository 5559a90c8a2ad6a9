// The one place where a handler's failures turn into messages.
#include "platform/Steps.h"

#include "engine/Error.h"

#include <stdexcept>

namespace platform {

bool Steps::operator()(const std::function<void()>& step) const {
    try {
        step();
        return true;
    } catch (const std::runtime_error& error) {
        report(error);
        return false;
    }
}

QString Steps::text(const std::exception& error) const {
    const QString description = QString::fromStdString(error.what());
    switch (m_form) {
    case Form::StartUp:
        return description + " (Form Load) " + m_window;
    case Form::Numbered:
        if (const auto* numbered = dynamic_cast<const engine::Error*>(&error))
            return QString::number(numbered->number()) + QLatin1Char(' ') + description;
        return description;
    case Form::Description:
        break;
    }
    return description;
}

} // namespace platform
