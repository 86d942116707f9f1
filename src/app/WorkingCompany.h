// The working company: the regional code of the company whose census the database holds, kept in
// column azienda of the settings row of master.
#pragma once

#include <optional>

#include "app/Session.h"

namespace app {

// The working company read from the settings row; nothing (after the message about a missing master
// row) when the row cannot be found.
std::optional<int> ReadWorkingCompany(Session& session);

// The working company for a command that needs one: nothing (after the message) when the settings row
// is missing or no company has been chosen yet.
std::optional<int> RequireWorkingCompany(Session& session);

// Messages shared by the commands that need the working company.
void ShowMasterMissing(ui::Port& port);
void ShowNoWorkingCompany(ui::Port& port);

}  // namespace app
