#include "exchange/Verification.h"

#include <algorithm>

#include "exchange/Validation.h"
#include "text/Text.h"

namespace exchange {

std::string ReadyToSendMessage() {
    return text::Utf8ToCp1252Lossy(
        "La situazione delle strutture aziendali non contiene errori:\n"
        "la comunicazione può essere generata e inoltrata all'Osservatorio Trasporti Regionale.");
}

ui::Outcome VerifyCensus(app::Session& session, Verification& verification) {
    verification.chosen.reset();
    ui::Port& port = session.Port();
    const auto errors = FindCensusErrors(session, nullptr);
    if (!errors) {
        return ui::Outcome::Failed();
    }
    if (errors->empty()) {
        port.ShowMessage(ReadyToSendMessage(), "Verifica Censimento", ui::Icon::Information);
        return ui::Outcome::Done();
    }
    ui::CensusErrorsRequest request{*errors, std::min(verification.entry, errors->size() - 1),
                                    session.Title()};
    if (const auto entry = port.ShowCensusErrors(request); entry && *entry < errors->size()) {
        verification.entry = *entry;
        verification.chosen = (*errors)[*entry].id;
    }
    return ui::Outcome::Refused();
}

}  // namespace exchange
