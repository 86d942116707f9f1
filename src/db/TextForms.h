// The text form of every field value read from the database.
#pragma once

#include <string>

#include "engine/Value.h"

namespace db {

// Integers in decimal; Booleans "1"/"0"; doubles as 20 zero-filled characters with four decimals and
// "," as separator; currency as sign, 15 integer digits, "," and 4 decimals; dates "DD/MM/YYYY" for
// the years 1601 to 2399, "00/00/0000" up to 1600 or when unreadable, "99/99/9999" from 2400; texts
// unchanged; single-precision reals, nulls and binary data as the empty text.
std::string ValueToText(const engine::Value& value);
// The same, with binary data as "BLOB [n bytes]", and trailing blanks removed (a text of blanks keeps
// its first one).
std::string ValueToTextWithBlob(const engine::Value& value);
// The text form of a date value alone.
std::string DateToText(const engine::DateTime& date);

// Written dates: the two sentinel texts stand for dates outside the readable years.
inline constexpr const char* kNoDate = "00/00/0000";
inline constexpr const char* kEndOfTime = "99/99/9999";

}  // namespace db
