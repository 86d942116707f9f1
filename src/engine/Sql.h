// SQL text helpers of the engine.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// "name" with embedded quotes doubled.
std::string QuoteIdentifier(std::string_view name);
// 'text' with embedded apostrophes doubled.
std::string QuoteLiteral(std::string_view text);

// The callers write SQL fragments with text constants between double quotes and, where a name needs
// it, identifiers between square brackets. This turns them into SQLite's own forms: "abc" becomes the
// literal 'abc' (a doubled "" inside stands for one quote), [name] becomes "name"; text between
// apostrophes is kept as it is.
std::string TranslateSql(std::string_view sql);

}  // namespace engine

namespace engine {
// A validation rule names its field implicitly ("> 0", "Between 1 And 9", "Is Null Or > 0"): the
// field is put in front of every comparison that lacks its left side. `column` is the quoted name.
std::string ExpandFieldRule(const std::string& column, std::string_view rule);
}  // namespace engine
