// Turns a typed statement into the prepared one by asking for each ~name~ parameter's value.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace console {

// Asks the user for one value; returns the answer, or the empty text on Cancel.
using Prompt = std::function<std::string(const std::string& text, const std::string& title,
                                         const std::string& defaultAnswer)>;

struct Parameter {
    int index = 0;     // the marker count when its opening marker was met, from 1
    std::string name;  // as typed, between the markers
    std::string value; // the answer, inserted verbatim
};

struct PreparedStatement {
    std::string text;
    // Markers met where a parameter could begin, an unpaired one included.
    int parCount = 0;
    std::vector<Parameter> parameters;
};

// The marker that stands when the settings hold none.
inline const std::string DefaultParameterMarker = "~";

// "Enter value for parameter '" + the name in upper case + "' :".
std::string parameterPrompt(const std::string& name);

// Replaces every marker-name-marker by the answer to its own prompt, left to right; a repeated
// name is asked again. An empty marker means the default one. Answers are not searched again.
PreparedStatement prepareStatement(const std::string& typed, const std::string& marker, const Prompt& prompt);

} // namespace console
