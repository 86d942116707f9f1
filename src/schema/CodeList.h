// The lists of regional codes offered in the dialogs: companies (regazi) and municipalities (regcom).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db/DbConnection.h"

namespace schema {

// The rows of a code table in order of name, each as "%04d - name"; nothing when the table cannot be
// read whole (the failure is shown).
std::optional<std::vector<std::string>> CodeListEntries(db::CDbConnection& connection,
                                                        const std::string& table);

// The companies of regazi in order of name, each as "%04d - name"; nothing when they cannot be read.
std::optional<std::vector<std::string>> FillCompanyCombo(db::CDbConnection& connection);

}  // namespace schema
