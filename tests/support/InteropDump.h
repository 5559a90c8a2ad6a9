// The canonical form the scripts in tests/interop print (canon.py describes it), read back into
// fields, records and counts.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

struct Cell {
    std::string kind; // null text int real bool date datetime bytes; "error" when our reader threw
    std::string text;
};

struct Dump {
    std::vector<std::string> fields;
    std::vector<std::vector<Cell>> records; // live records only
    long deleted = -1;                      // deleted records; -1 when the reader does not say
    long count = -1;                        // ogrinfo's feature count, which includes deleted records
};

inline std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> parts(1);
    for (char c : line) {
        if (c == '\t')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

inline Dump parseDump(const std::string& out) {
    Dump d;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto p = splitTabs(line);
        if (p[0] == "field")
            d.fields.push_back(p.at(1));
        else if (p[0] == "record")
            d.records.emplace_back();
        else if (p[0] == "value" && !d.records.empty())
            d.records.back().push_back({p.at(2), p.size() > 3 ? p[3] : ""});
        else if (p[0] == "deleted")
            d.deleted = std::stol(p.at(1));
        else if (p[0] == "count")
            d.count = std::stol(p.at(1));
        else if (!line.empty())
            throw std::runtime_error("unexpected line from an interop script: " + line);
    }
    return d;
}

} // namespace testsupport
