// Form1: the result to a fixed-width text file and to a spreadsheet workbook.
#include "app/Form1.h"

namespace app {

void Form1::exportToFile() {}
void Form1::exportToSpreadsheet() {}
void Form1::setSpreadsheetFactory(SpreadsheetFactory factory) {
    m_newSpreadsheet = std::move(factory);
}

} // namespace app
