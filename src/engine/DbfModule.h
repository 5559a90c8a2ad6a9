// The SQLite virtual-table module "dbf": a .dbf file as a live table of an SQLite connection.
#pragma once

#include <sqlite3.h>

namespace engine {

class Folder;

// Registers the module. A table is made with
//   CREATE VIRTUAL TABLE temp."name" USING dbf('/path/to/file.dbf')
// and reads and writes that file through the folder's shared Table objects. Changes of one statement
// are journaled and applied when SQLite commits (xSync), or undone (xRollback).
void registerDbfModule(sqlite3* db, Folder* folder);

} // namespace engine
