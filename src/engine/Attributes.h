// Internal to the engine: the table in which a census file keeps the attributes of its fields and
// indexes that SQLite's own description of the tables cannot say (an index's primary, clustered,
// ignore-nulls and required flags, a field's validation rule as it was given), with the rest of the
// fields' definitions alongside. One row per field or index:
//
//   CREATE TABLE velumbra_attributi (
//     tabella     TEXT NOT NULL COLLATE NOCASE,  -- the table
//     genere      TEXT NOT NULL,                 -- 'campo' (a field) or 'indice' (an index)
//     nome        TEXT NOT NULL COLLATE NOCASE,  -- the field or the index
//     obbligatorio BOOLEAN NOT NULL,             -- required (field and index)
//     testo_vuoto BOOLEAN,                       -- field: the empty text is allowed
//     regola      TEXT,                          -- field: the validation rule as given, '' for none
//     messaggio   TEXT,                          -- field: the validation text
//     primario    BOOLEAN,                       -- index: the primary key
//     cluster     BOOLEAN,                       -- index: clustered
//     ignora_null BOOLEAN,                       -- index: ignores nulls
//     PRIMARY KEY (tabella, genere, nome))
//
// The columns of the other kind of object are NULL. A row is written when its field's table or its
// index is created. A field or index without a row (in a table not made by the engine, or a file
// without this table) has the attributes SQLite's own description gives it (see Fields() and
// Indexes()).
//
// The table has ten columns, as no census table has: a repair that finds rows without their table,
// and places them by their number of values, never takes one for the other.
#pragma once

#include <sqlite3.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Database.h"
#include "engine/Status.h"

namespace engine::detail {

inline constexpr std::string_view kAttributesTable = "velumbra_attributi";

// True for the name of the engine's own table (in any case): it is no table of the census.
bool IsAttributesTable(std::string_view name);

// Records the attributes of the fields of the new table `table` (Windows-1252), creating the table of
// attributes when the file has none yet. Rows that an earlier table of that name left go first.
Status WriteFieldAttributes(sqlite3* db, std::string_view table, const std::vector<FieldDef>& fields);
// Records the attributes of the new index `index` of `table`, in the same way.
Status WriteIndexAttributes(sqlite3* db, std::string_view table, const IndexDef& index);

// The attributes recorded for the fields, or the indexes, of `table`, by their names with the ASCII
// letters lowered: required, allowZeroLength, validationRule and validationText of a field; primary,
// clustered, ignoreNulls and required of an index. Empty when the file has no table of attributes; a
// failure to read them (a full disk, a damaged page) is returned.
Result<std::map<std::string, FieldDef>> RecordedFieldAttributes(sqlite3* db, std::string_view table);
Result<std::map<std::string, IndexDef>> RecordedIndexAttributes(sqlite3* db, std::string_view table);

// True when `out` records every attribute that `blank` records, alike (or `blank` records none): a
// repair rebuilds a damaged census into the blank one when its own attributes were not read back whole.
bool HoldsAttributesOf(sqlite3* out, sqlite3* blank);

}  // namespace engine::detail
