// brindle-sql at a terminal: a prompt with line editing and history.
#pragma once

#include "Session.h"

namespace brindlesql {

// Reads statements at the prompt "brindle> " ("   ...> " while one continues) until .quit or the end of
// input, running each once it ends with ';'. Dot commands at the start of a statement: .tables,
// .schema TABLE, .mode FORMAT, .header on|off, .help, .quit. A failure is reported and the prompt goes
// on. Returns the exit code: 0.
int runInteractive(Session& session);

} // namespace brindlesql
