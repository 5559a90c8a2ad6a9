// The function library of the SQL dialect, installed on an SQLite connection.
#pragma once

#include <sqlite3.h>

namespace engine {

// Installs on db everything the translated dialect calls:
// - the DBTEXT collation (case-insensitive, folding Latin, Greek and Cyrillic letters);
// - scalar functions dlg_<name> (len, left, ..., format, dateadd, cat, mod, idiv, pow, div, like)
//   with the classic semantics; values follow the engine's conventions: dates are ISO text
//   'YYYY-MM-DD' or 'YYYY-MM-DD HH:MM:SS', logical values are -1 and 0; functions that pass Null
//   through have a form dlg_<name>_s (Left$, Str$ ...) that refuses it instead;
// - aggregates dlg_first, dlg_last, dlg_stdev, dlg_stdevp, dlg_var, dlg_varp;
// - like() with two and three arguments, so that SQLite's own LIKE follows the classic patterns.
// Errors inside a function reach SQLite as result errors with the classic wording ("Overflow in
// function CInt"). Throws engine::Error when SQLite refuses a registration.
void registerDialect(sqlite3* db);

} // namespace engine
