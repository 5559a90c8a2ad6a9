// The layout of upiti.dbf, the table of saved queries: shared by the build tool that places the empty
// table in the program folder and by the tests. The program itself never creates the table.
#pragma once

#include "xbase/Table.h"

#include <string>
#include <vector>

namespace saved {

// u_naziv: the name as typed, up to the widest text field dBASE has; u_txt: the text, in a memo so
// that long statements of many lines are kept whole.
inline std::vector<xbase::FieldSpec> tableFields() {
    return {{"u_naziv", 'C', 254, 0}, {"u_txt", 'M', 10, 0}};
}

// Names and statements may hold any letter a user types; a .cpg file beside the table says so.
inline const char* tableCodePage() {
    return "UTF-8";
}

} // namespace saved
