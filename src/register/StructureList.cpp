#include "register/StructureList.h"

#include "db/DbSelect.h"
#include "register/Company.h"
#include "register/StructureEditor.h"
#include "schema/CensusRow.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace reg {
std::string TitleWord(char title) {
    switch (title) {
        case 'A':
            return text::Utf8ToCp1252Lossy("Proprietà");
        case 'B':
            return "Affitto";
        case 'C':
            return "Comodato";
        default:
            return " ";
    }
}

std::string ComuneName(db::CDbConnection& connection, int code) {
    db::CDbTable regcom(&connection, "regcom");
    std::string name = "*** Inesistente ***";
    if (regcom.SelectIndex("codice") && regcom.Seek({text::FormatInt(code)})) {
        regcom.GetField("denom", name).Ignore("a failure, shown, leaves the name of a missing one");
    }
    return text::TrimRight(name);
}

std::optional<CDepotRowList> LoadRows(db::CDbConnection& connection) {
    connection.Port().BeginBusy(true);
    CDepotRowList rows;
    {
        // Room for every row at once: a list that grew by doubling would hold half as much again,
        // for a moment, at its largest.
        db::CDbSelect count(&connection);
        count.SetColumns("count(*)");
        count.SetFrom("depositi");
        std::int32_t n = 0;
        if (count.Execute() == 1 && count.GetLong(0, n) == 1 && n > 0) {
            rows.reserve(static_cast<std::size_t>(n));
        }
        if (count.Failed()) {
            return std::nullopt;
        }
    }
    db::CDbSelect s(&connection);
    s.SetColumns("depositi.ID, regcom.denom, " + census::ColumnList());
    s.SetFrom("depositi, regcom");
    s.SetWhere("regcom.codice = depositi.comune");
    s.SetOrderBy("depositi.ID");
    for (int row = s.Execute(); row == 1; row = s.Next()) {
        CDepotRow& r = rows.emplace_back();
        std::int16_t id = 0;
        // A failure is latched and checked once the loop is over.
        (void)s.GetShort(0, id);
        r.id = id;
        (void)s.GetDateOrText(1, r.comuneName);
        text::TrimRightInPlace(r.comuneName);
        schema::ReadStructure(s, 2, r);
        connection.Port().KeepResponsive();
    }
    if (s.Failed()) {
        return std::nullopt;  // a list read in part would hide structures
    }
    return rows;
}

StructureList::StructureList(app::Session& session) : session_(session) {}

StructureList::~StructureList() {
    if (transaction_) {
        // The window is gone: its changes are kept, as when it is closed. A failure is shown, and
        // nobody is left to tell.
        Close().Ignore("shown, and the window is already gone");
    }
}

ui::Outcome StructureList::Open() {
    db::CDbConnection* connection = session_.Connection();
    if (!connection) {
        return ui::Outcome::Failed();
    }
    auto cursor = std::make_unique<db::CDbTable>(connection, "depositi");
    if (!cursor->IsOpen() || !cursor->SelectIndex("codice")) {
        return ui::Outcome::Failed();
    }
    // Without its transaction the window would store every change at once, and withdrawing them
    // would be impossible: it does not open.
    auto transaction = std::make_unique<db::CDbTransaction>(*connection);
    if (!transaction->IsActive()) {
        return ui::Outcome::Failed();
    }
    auto rows = LoadRows(*connection);
    if (!rows) {
        return ui::Outcome::Failed();  // the transaction is rolled back: nothing was changed
    }
    cursor_ = std::move(cursor);
    transaction_ = std::move(transaction);
    rows_ = std::move(*rows);
    selected_.reset();
    return ui::Outcome::Done();
}

ui::Outcome StructureList::Close() {
    cursor_.reset();
    if (!transaction_) {
        return ui::Outcome::Failed();
    }
    auto transaction = std::move(transaction_);
    return transaction->Commit();
}

bool StructureList::IsOpen() const {
    return transaction_ && transaction_->IsActive();
}

std::string StructureList::SelectionId() const {
    return selected_ ? text::FormatInt(rows_[*selected_].id) : std::string();
}

std::string StructureList::SelectionText() const {
    return selected_ ? rows_[*selected_].ubicaz + " - " + rows_[*selected_].local : std::string();
}

bool StructureList::CanChangeSelected() const {
    return selected_ && *selected_ < rows_.size() && !rows_[*selected_].deleted;
}

CDepotRow StructureList::RowFrom(const ui::StructureValues& v, int id) {
    CDepotRow r;
    static_cast<census::Structure&>(r) = v;
    r.id = id;
    r.comuneName = ComuneName(*session_.Connection(), v.comune);
    r.changed = 1;
    return r;
}

ui::Outcome StructureList::CreateStructure() {
    if (!IsOpen()) {
        return ui::Outcome::Failed();
    }
    ui::Port& port = session_.Port();
    db::CDbConnection& connection = *session_.Connection();
    auto municipalities = FillComuneCombo(connection);
    if (!municipalities) {
        return ui::Outcome::Failed();
    }
    ui::StructureEditorRequest editor;
    editor.values = BlankStructure();
    editor.municipalityEntries = std::move(*municipalities);
    editor.accept = [&port](ui::StructureValues& values) { return CheckAndAccept(port, values); };
    if (!port.EditStructure(editor)) {
        return ui::Outcome::Failed();
    }
    db::CDbTable master(&connection, "master");
    if (!master.SelectIndex("codice") || !schema::SeekSettingsRow(master)) {
        ShowMasterMissing(port);
        return ui::Outcome::Failed();
    }
    std::string next;
    if (!master.GetField("id_depo", next)) {
        return AfterFailure();
    }
    const int id = text::ReadInt(next);
    if (!IdentifierFits(port, id)) {
        return ui::Outcome::Failed();
    }
    // The structure and the counter's step are stored together, or neither is.
    if (!master.Edit() || !cursor_->AddNew() || !cursor_->SetField("ID", text::FormatInt(id)) ||
        !schema::SetStructureFields(*cursor_, editor.values) || !cursor_->Update() ||
        !master.SetField("id_depo", text::FormatInt(id + 1)) || !master.Update()) {
        return AfterFailure();
    }
    rows_.push_back(RowFrom(editor.values, id));
    return ui::Outcome::Done();
}

std::optional<ui::StructureValues> StructureList::ReadStructure(int id) {
    ui::StructureValues v;
    // A field that cannot be read (shown) would be overwritten with nothing: the editor does not open.
    if (!cursor_->Seek({text::FormatInt(id)}) || !schema::ReadStructure(*cursor_, v)) {
        return std::nullopt;
    }
    return v;
}

ui::Outcome StructureList::ModifyStructure() {
    if (!IsOpen() || !CanChangeSelected()) {
        return ui::Outcome::Failed();
    }
    const std::size_t row = *selected_;
    auto values = ReadStructure(rows_[row].id);
    if (!values) {
        return ui::Outcome::Failed();
    }
    auto municipalities = FillComuneCombo(*session_.Connection());
    if (!municipalities) {
        return ui::Outcome::Failed();
    }
    ui::Port& port = session_.Port();
    ui::StructureEditorRequest editor;
    editor.values = *values;
    editor.municipalityEntries = std::move(*municipalities);
    editor.accept = [&port](ui::StructureValues& v) { return CheckAndAccept(port, v); };
    if (!port.EditStructure(editor)) {
        return ui::Outcome::Failed();
    }
    if (!cursor_->Seek({text::FormatInt(rows_[row].id)}) || !cursor_->Edit() ||
        !schema::SetStructureFields(*cursor_, editor.values) || !cursor_->Update()) {
        return AfterFailure();
    }
    rows_[row] = RowFrom(editor.values, rows_[row].id);
    return ui::Outcome::Done();
}

ui::Outcome StructureList::DeleteStructure() {
    if (!IsOpen() || !CanChangeSelected()) {
        return ui::Outcome::Failed();
    }
    CDepotRow& row = rows_[*selected_];
    if (!cursor_->Seek({text::FormatInt(row.id)}) || !cursor_->Delete()) {
        return AfterFailure();
    }
    row.deleted = 1;
    return ui::Outcome::Done();
}

ui::Outcome StructureList::Reload() {
    selected_.reset();
    auto rows = LoadRows(*session_.Connection());
    if (!rows) {
        return ui::Outcome::Failed();
    }
    rows_ = std::move(*rows);
    return ui::Outcome::Done();
}

ui::Outcome StructureList::Restart(bool keepChanges) {
    if (!transaction_) {
        return ui::Outcome::Failed();
    }
    const ui::Outcome ended = keepChanges ? transaction_->Commit() : transaction_->Rollback();
    if (!ended && transaction_->IsActive()) {
        return ui::Outcome::Failed();  // still in progress, the window's changes kept: it may be tried again
    }
    transaction_ = std::make_unique<db::CDbTransaction>(*session_.Connection());
    if (!transaction_->IsActive()) {
        transaction_.reset();  // the window cannot go on without one
        return ui::Outcome::Failed();
    }
    const ui::Outcome reloaded = Reload();
    return ui::Outcome::DoneIf(ended && reloaded);
}

ui::Outcome StructureList::RefreshView() {
    return Restart(true);
}

ui::Outcome StructureList::RevertChanges() {
    return Restart(false);
}

ui::Outcome StructureList::AfterFailure() {
    // A failed write may have made the engine end the whole transaction (a full disk): the window's
    // changes are then gone, and the list is read again under a new transaction so that it shows
    // what is stored.
    if (transaction_ && !transaction_->IsActive()) {
        Restart(false).Ignore("the failure that ended the transaction is the one shown");
    }
    return ui::Outcome::Failed();
}

bool IdentifierFits(ui::Port& port, int id) {
    if (id >= 0 && id <= census::kMaxStructureId) {
        return true;
    }
    port.ShowMessage(text::Utf8ToCp1252Lossy("Impossibile registrare la struttura: l'identificativo ") +
                         text::FormatInt(id) +
                         text::Utf8ToCp1252Lossy(" supera il massimo consentito (32767)."),
                     ui::kProgramCaption, ui::Icon::Stop);
    return false;
}

}  // namespace reg
