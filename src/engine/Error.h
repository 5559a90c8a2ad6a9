// The one error type of the database engine: a number, as the classic engine numbered its errors,
// and a description a user understands.
#pragma once

#include "xbase/Error.h"

#include <stdexcept>
#include <string>

namespace engine {

// Every error number the engine raises, in one table.
enum ErrorNumber : int {
    FileAlreadyOpen = 55,          // a file is already open (text files of the program)
    FileNotFound = 53,             // a file to read does not exist
    PathFileAccess = 75,           // a file or folder cannot be opened, written or replaced
    PathNotFound = 76,             // the folder of a file does not exist
    NoCurrentRecord = 3021,        // no current record (empty set, before first / after last)
    NotUpdatable = 3027,           // cannot update: database or object is read-only
    TableExclusivelyLocked = 3008, // the table is in use and cannot be opened exclusively
    FolderInUse = 3045,            // the folder is in use; an exclusive open was refused
    TableAlreadyExists = 3010,
    InvalidArgument = 3001,
    InvalidOperation = 3219, // e.g. Execute given a select, Update without Edit/AddNew
    SyntaxErrorInExpression = 3075,
    TableNotFound = 3078,
    UndefinedFunction = 3085,
    SyntaxErrorInFrom = 3131,
    SyntaxErrorInInsert = 3134,
    CharactersAfterEnd = 3142,
    SyntaxErrorInUpdate = 3144,
    FieldTooSmall = 3163, // a value does not fit its field
    DataTypeMismatch = 3464,
    ItemNotFound = 3265,        // no field of that name or index
    InvalidSqlStatement = 3129, // not a statement the engine knows
    SyntaxErrorInCreateTable = 3290,
    SyntaxErrorInAlterTable = 3293,
    NotSupported = 3251, // a construct of the dialect that this engine does not support
    AmbiguousTableName = 3266,
    BadTableFile = 3343,     // unrecognised or damaged table file
    CannotWriteTable = 3051, // the file system refused a write, or an index would go stale
    TooFewParameters = 3061,
    SyntaxErrorInQuery = 3000,  // generic syntax error
    UpdateWithoutEdit = 3020,   // Update or CancelUpdate without AddNew or Edit
    CannotExecuteSelect = 3065, // Execute given a select
    DiskIo = 3043,              // the file system refused a read or write
    InvalidName = 3125,         // a field or table name that dBASE cannot hold
    InvalidBracketing = 3126,   // an unclosed or nested [name]
    DeleteNeedsTable = 3128,    // DELETE without FROM table
    SyntaxErrorInJoin = 3135,
    SyntaxErrorInOrderBy = 3138,
    SyntaxErrorInSelect = 3141, // a reserved word or argument missing or misspelt in a SELECT
    FieldDefinedTwice = 3191,
    SyntaxErrorInDropTable = 3295,
    ValueCountMismatch = 3346, // INSERT: number of values and destination fields differ
    QueryTooComplex = 3360,    // nesting deeper than the translator follows
    CouldNotReadLocked = 3187, // a writer of another program holds the table longer than a reader waits
    DataChanged = 3197,        // the table was replaced, cut or restructured by another program
    CouldNotUpdateLocked =
        3218, // another program is changing (or reading) the table longer than a writer waits
};

class Error : public std::runtime_error {
public:
    Error(int number, const std::string& description) : std::runtime_error(description), m_number(number) {}
    int number() const { return m_number; }
    std::string description() const { return what(); }

private:
    int m_number;
};

// The engine's number for each kind of error of the file layer: the one table every caller uses.
int numberFor(xbase::ErrorKind kind);
// The engine error for an error of the file layer.
Error fromFileError(const xbase::Error& e);

} // namespace engine
