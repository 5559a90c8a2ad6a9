// Form1: saving the query box, the Queries window, direct display, and the export and import of
// saved queries.
#include "app/Form1.h"

namespace app {

void Form1::saveQuery() {}
void Form1::showQueries() {}
void Form1::toggleDirectDisplay() {}
void Form1::exportQueries() {}
void Form1::importQueries() {}

} // namespace app
