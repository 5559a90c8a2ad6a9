// brindle-sql as a separate process, run with these arguments.
#pragma once

#include "support/Outside.h"

#include <string>
#include <vector>

inline testsupport::RunResult brindleSql(const std::vector<std::string>& args) {
    std::vector<std::string> argv{BRINDLE_SQL};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run(argv);
}
