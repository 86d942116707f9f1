// "Verifica Censimento": the census check, its failures shown in a window where the person may choose
// a structure to mend.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/Session.h"

namespace exchange {

// The window of "Verifica Censimento": `entry` is the entry shown current when it opens, then the one
// chosen; `chosen` the identifier of the structure the person chose to mend, or nothing.
struct Verification {
    std::size_t entry = 0;
    std::optional<int> chosen;
};

// "Verifica Censimento": the same check, its failures shown in a window where the person may choose a
// structure to mend; with none, a message says that the census is ready to be sent. Done when the
// census passed.
ui::Outcome VerifyCensus(app::Session& session, Verification& verification);

// The message of a census that passed the check.
std::string ReadyToSendMessage();

}  // namespace exchange
