// Parameter substitution: one prompt per marker pair, the answer standing in for the pair.
#include "console/Parameters.h"

#include <QString>

namespace console {

std::string parameterPrompt(const std::string& name) {
    // Qt upper-cases letters beyond ASCII too, so a name typed in the user's language reads right.
    return "Enter value for parameter '" + QString::fromStdString(name).toUpper().toStdString() + "' :";
}

PreparedStatement prepareStatement(const std::string& typed, const std::string& marker,
                                   const Prompt& prompt) {
    const std::string& m = marker.empty() ? DefaultParameterMarker : marker;
    const std::size_t L = m.size();
    PreparedStatement result;
    std::size_t p = 0;
    while (p < typed.size()) {
        if (typed.compare(p, L, m) == 0) {
            ++result.parCount;
            const std::size_t q = typed.find(m, p + L);
            if (q != std::string::npos) {
                Parameter parameter{result.parCount, typed.substr(p + L, q - p - L), {}};
                parameter.value = prompt(parameterPrompt(parameter.name), std::string(), std::string());
                result.text += parameter.value;
                result.parameters.push_back(std::move(parameter));
                p = q + L;
                continue;
            }
            // Unpaired: its first character is copied and the rest walked as ordinary text.
        }
        result.text += typed[p];
        ++p;
    }
    return result;
}

} // namespace console
