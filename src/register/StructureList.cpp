#include "register/StructureList.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <type_traits>
#include <variant>

#include "app/WorkingCompany.h"
#include "db/DbSelect.h"
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
    // A municipality missing, or one that could not be read (shown), has the name of a missing one.
    if (regcom.SelectIndex("codice") && regcom.Seek({text::FormatInt(code)}).found()) {
        regcom.GetField("denom", name).Ignore("a failure, shown, leaves the name of a missing one");
    }
    return text::TrimRight(name);
}

std::uint64_t CDepotRowList::NextGeneration() {
    static std::atomic<std::uint64_t> made{0};
    return ++made;
}

void CDepotRowList::Reserve(std::size_t rows) {
    rows_.reserve(rows);
    // The four texts of a structure take some 70 bytes: room enough that the buffer never has to move.
    texts_.reserve(rows * 80);
}

namespace {

void SetProvin(CDepotRow& r, std::string_view provin) {
    for (std::size_t i = 0; i < r.provin.size() && i < provin.size(); ++i) {
        r.provin[i] = provin[i];
    }
}

// Where each of the 53 columns goes in a listed row: the texts follow one another in the columns' order,
// which is that of CDepotRowList::Field; the municipality's code is not kept.
struct Slot {
    enum class Kind : std::uint8_t { None, Text, Provin, ScoTit, CopTit, Flag, Count, ScoSup, CopSup };
    Kind kind = Kind::None;
    std::uint8_t index = 0;  // the flag's or the count's
};

const std::array<Slot, census::kRecordFields>& Slots() {
    static const auto slots = [] {
        using census::Structure;
        using Kind = Slot::Kind;
        std::array<Slot, census::kRecordFields> r{};
        for (std::size_t i = 0; i < r.size(); ++i) {
            std::visit(
                [&r, i](const auto& member) {
                    using Member = std::decay_t<decltype(member)>;
                    if constexpr (std::is_same_v<Member, census::FlagAt>) {
                        r[i] = {Kind::Flag, static_cast<std::uint8_t>(member.index)};
                    } else if constexpr (std::is_same_v<Member, census::CountAt>) {
                        r[i] = {Kind::Count, static_cast<std::uint8_t>(member.index)};
                    } else if constexpr (std::is_same_v<Member, std::string Structure::*>) {
                        r[i].kind = member == &Structure::provin   ? Kind::Provin
                                    : member == &Structure::scoTit ? Kind::ScoTit
                                    : member == &Structure::copTit ? Kind::CopTit
                                                                   : Kind::Text;
                    } else if constexpr (std::is_same_v<Member, std::int64_t Structure::*>) {
                        r[i].kind = member == &Structure::scoSup ? Kind::ScoSup : Kind::CopSup;
                    }
                },
                census::Columns()[i].member);
        }
        return r;
    }();
    return slots;
}

}  // namespace

std::uint16_t CDepotRowList::ComuneIndex(std::string_view comuneName) {
    // The few municipalities are named once each.
    if (const auto named = comuneIndex_.find(comuneName); named != comuneIndex_.end()) {
        return named->second;
    }
    const auto index = static_cast<std::uint16_t>(comuni_.size());
    comuneIndex_.emplace(std::string(comuneName), index);
    comuni_.emplace_back(comuneName);
    return index;
}

void CDepotRowList::AddText(std::string_view text) {
    texts_ += text;
    texts_ += '\0';
}

CDepotRow CDepotRowList::Compact(const census::Structure& s, std::string_view comuneName,
                                 std::uint8_t changed) {
    CDepotRow r;
    r.id = static_cast<std::int16_t>(s.id);
    r.comune = ComuneIndex(comuneName);
    SetProvin(r, s.provin);
    r.scoTit = census::TitleChar(s.scoTit);
    r.copTit = census::TitleChar(s.copTit);
    for (std::size_t i = 0; i < s.flags.size(); ++i) {
        r.flags = static_cast<std::uint8_t>(r.flags | (s.flags[i] ? 1U << i : 0U));
    }
    r.changed = changed;
    r.scoSup = static_cast<std::int32_t>(s.scoSup);
    r.copSup = static_cast<std::int32_t>(s.copSup);
    for (std::size_t i = 0; i < r.counts.size(); ++i) {
        r.counts[i] = static_cast<std::int16_t>(s.counts[i]);
    }
    r.texts = static_cast<std::uint32_t>(texts_.size());
    for (const std::string* t : {&s.ubicaz, &s.local, &s.scoPro, &s.copPro}) {
        AddText(*t);
    }
    return r;
}

void CDepotRowList::Add(const census::Structure& s, std::string_view comuneName, std::uint8_t changed) {
    rows_.push_back(Compact(s, comuneName, changed));
}

void CDepotRowList::Replace(std::size_t index, const census::Structure& s, std::string_view comuneName,
                            std::uint8_t changed) {
    rows_[index] = Compact(s, comuneName, changed);
}

int CDepotRowList::AddSelected(db::CDbSelect& s) {
    static const std::string kId = "ID";
    static const std::string kDenom = "denom";
    CDepotRow r;
    std::int16_t id = 0;
    s.CheckFieldRead(s.GetShort(0, id), 0, kId);
    r.id = id;
    std::string_view comuneName;
    s.CheckFieldRead(s.GetDateOrText(1, comuneName), 1, kDenom);
    r.comune = ComuneIndex(text::TrimRightView(comuneName));
    r.texts = static_cast<std::uint32_t>(texts_.size());
    const auto& slots = Slots();
    schema::ReadStructureFields(s, 2, [&](std::size_t column, auto value) {
        using Kind = Slot::Kind;
        const Slot slot = slots[column];
        if constexpr (std::is_same_v<decltype(value), std::string_view>) {
            switch (slot.kind) {
                case Kind::Text:
                    AddText(value);
                    break;
                case Kind::Provin:
                    SetProvin(r, value);
                    break;
                case Kind::ScoTit:
                    r.scoTit = census::TitleChar(value);
                    break;
                case Kind::CopTit:
                    r.copTit = census::TitleChar(value);
                    break;
                default:
                    break;
            }
        } else {
            switch (slot.kind) {
                case Kind::Flag:
                    r.flags = static_cast<std::uint8_t>(r.flags | (value != 0 ? 1U << slot.index : 0U));
                    break;
                case Kind::Count:
                    r.counts[slot.index] = static_cast<std::int16_t>(value);
                    break;
                case Kind::ScoSup:
                    r.scoSup = static_cast<std::int32_t>(value);
                    break;
                case Kind::CopSup:
                    r.copSup = static_cast<std::int32_t>(value);
                    break;
                default:
                    break;
            }
        }
    });
    rows_.push_back(r);
    return id;
}

std::string_view CDepotRowList::Text(const CDepotRow& row, Field field) const {
    std::size_t at = row.texts;
    for (int skip = static_cast<int>(field); skip > 0; --skip) {
        at = texts_.find('\0', at) + 1;
    }
    return std::string_view(texts_.data() + at, texts_.find('\0', at) - at);
}

std::optional<std::size_t> CDepotRowList::Find(int id) const {
    const auto found = std::lower_bound(rows_.begin(), rows_.end(), id,
                                        [](const CDepotRow& row, int value) { return row.id < value; });
    if (found == rows_.end() || found->id != id) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - rows_.begin());
}

CDepotRowReader::CDepotRowReader(db::CDbConnection& connection) : connection_(connection) {}

CDepotRowReader::~CDepotRowReader() = default;

bool CDepotRowReader::Read(CDepotRowList& rows, std::size_t count, std::optional<int> through) {
    if (!started_) {
        started_ = true;
        {
            // Room for every row at once: a list that grew by doubling would hold half as much again,
            // for a moment, at its largest.
            db::CDbSelect counted(&connection_);
            counted.SetColumns("count(*)");
            counted.SetFrom("depositi");
            std::int32_t n = 0;
            if (counted.Execute() == 1 && counted.GetLong(0, n) == 1 && n > 0) {
                rows.Reserve(static_cast<std::size_t>(n));
            }
            if (counted.Failed()) {
                return false;
            }
        }
        select_ = std::make_unique<db::CDbSelect>(&connection_);
        select_->SetColumns("depositi.ID, regcom.denom, " + census::ColumnList());
        select_->SetFrom("depositi, regcom");
        select_->SetWhere("regcom.codice = depositi.comune");
        select_->SetOrderBy("depositi.ID");
        if (select_->Execute() != 1) {
            done_ = true;
        }
    }
    db::CDbSelect& s = *select_;
    // Each row goes straight into the list. A failure is latched and checked once the part is read.
    for (std::size_t read = 0; !done_ && (read < count || (through && lastId_ < *through)); ++read) {
        lastId_ = rows.AddSelected(s);
        connection_.Port().KeepResponsive();
        done_ = s.Next() != 1;
    }
    if (s.Failed()) {
        done_ = true;
        return false;  // a list read in part would hide structures
    }
    return true;
}

std::optional<CDepotRowList> LoadRows(db::CDbConnection& connection) {
    const ui::BusyScope busy(connection.Port(), true);
    CDepotRowList rows;
    CDepotRowReader reader(connection);
    if (!reader.Read(rows, std::numeric_limits<std::size_t>::max())) {
        return std::nullopt;
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

ui::Outcome StructureList::Open(std::optional<std::size_t> firstRows) {
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
    std::unique_ptr<CDepotRowReader> reader;
    CDepotRowList rows;
    if (firstRows) {
        const ui::BusyScope busy(connection->Port(), true);
        reader = std::make_unique<CDepotRowReader>(*connection);
        if (!reader->Read(rows, *firstRows)) {
            return ui::Outcome::Failed();  // the transaction is rolled back: nothing was changed
        }
        if (reader->Done()) {
            reader.reset();
        }
    } else {
        auto all = LoadRows(*connection);
        if (!all) {
            return ui::Outcome::Failed();  // the transaction is rolled back: nothing was changed
        }
        rows = std::move(*all);
    }
    cursor_ = std::move(cursor);
    transaction_ = std::move(transaction);
    reader_ = std::move(reader);
    rows_ = std::move(rows);
    selected_.reset();
    return ui::Outcome::Done();
}

ui::Outcome StructureList::ReadRows(std::size_t count, std::optional<int> through) {
    if (!reader_) {
        return ui::Outcome::DoneIf(IsOpen());
    }
    if (!reader_->Read(rows_, count, through)) {
        // As at opening: the window does not go on with a list read in part, and nothing was changed.
        reader_.reset();
        cursor_.reset();
        transaction_.reset();
        return ui::Outcome::Failed();
    }
    if (reader_->Done()) {
        reader_.reset();
    }
    return ui::Outcome::Done();
}

ui::Outcome StructureList::ReadMore(std::size_t count, std::optional<int> through) {
    if (!reader_) {
        return ui::Outcome::DoneIf(IsOpen());
    }
    const ui::BusyScope busy(session_.Port(), true);
    return ReadRows(count, through);
}

ui::Outcome StructureList::ReadRest() {
    return ReadMore(std::numeric_limits<std::size_t>::max());
}

ui::Outcome StructureList::ReadPart(std::size_t count) {
    return ReadRows(count, std::nullopt);
}

ui::Outcome StructureList::Close() {
    reader_.reset();
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
    if (!selected_) {
        return std::string();
    }
    const CDepotRow& row = rows_[*selected_];
    return std::string(rows_.Text(row, CDepotRowList::Field::Ubicaz)) + " - " +
           std::string(rows_.Text(row, CDepotRowList::Field::Local));
}

bool StructureList::CanChangeSelected() const {
    return selected_ && *selected_ < rows_.size() && !rows_[*selected_].deleted;
}

ui::Outcome StructureList::CreateStructure() {
    // A new structure is listed after every stored one.
    if (!IsOpen() || !ReadRest()) {
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
    editor.accept = [&port](census::Structure& values) { return CheckAndAccept(port, values); };
    if (!port.EditStructure(editor)) {
        return ui::Outcome::Cancelled();
    }
    schema::SettingsRow settings(&connection);
    // A settings row that could not be read (shown) is missing as well.
    if (!settings.Seek().found()) {
        app::ShowMasterMissing(port);
        return ui::Outcome::Failed();
    }
    db::CDbTable& master = settings.master();
    std::string next;
    if (!master.GetField("id_depo", next)) {
        return AfterFailure();
    }
    const int id = text::ReadInt(next);
    if (!schema::IdentifierFits(port, id)) {
        return ui::Outcome::Failed();
    }
    // The structure and the counter's step are stored together, or neither is.
    if (!master.Edit() || !cursor_->AddNew() || !cursor_->SetField("ID", text::FormatInt(id)) ||
        !schema::SetStructureFields(*cursor_, editor.values) || !cursor_->Update() ||
        !master.SetField("id_depo", text::FormatInt(id + 1)) || !master.Update()) {
        return AfterFailure();
    }
    census::Structure stored = editor.values;
    stored.id = id;
    rows_.Add(stored, ComuneName(connection, stored.comune), 1);
    return ui::Outcome::Done();
}

std::optional<census::Structure> StructureList::ReadStructure(int id) {
    census::Structure v;
    // A field that cannot be read (shown) would be overwritten with nothing: the editor does not open.
    // So does a structure gone meanwhile, or one that could not be sought (shown).
    if (!cursor_->Seek({text::FormatInt(id)}).found() || !schema::ReadStructure(*cursor_, v)) {
        return std::nullopt;
    }
    return v;
}

ui::Outcome StructureList::ModifyStructure() {
    if (!IsOpen() || !CanChangeSelected() || !ReadRest()) {
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
    editor.accept = [&port](census::Structure& v) { return CheckAndAccept(port, v); };
    if (!port.EditStructure(editor)) {
        return ui::Outcome::Cancelled();
    }
    // A structure gone meanwhile fails the change as one that could not be sought (shown) does.
    if (!cursor_->Seek({text::FormatInt(rows_[row].id)}).found() || !cursor_->Edit() ||
        !schema::SetStructureFields(*cursor_, editor.values) || !cursor_->Update()) {
        return AfterFailure();
    }
    census::Structure stored = editor.values;
    stored.id = rows_[row].id;
    rows_.Replace(row, stored, ComuneName(*session_.Connection(), stored.comune), 1);
    return ui::Outcome::Done();
}

ui::Outcome StructureList::DeleteStructure() {
    if (!IsOpen() || !CanChangeSelected() || !ReadRest()) {
        return ui::Outcome::Failed();
    }
    CDepotRow& row = rows_[*selected_];
    // A structure gone meanwhile fails the deletion as one that could not be sought (shown) does.
    if (!cursor_->Seek({text::FormatInt(row.id)}).found() || !cursor_->Delete()) {
        return AfterFailure();
    }
    row.deleted = 1;
    return ui::Outcome::Done();
}

ui::Outcome StructureList::Reload() {
    selected_.reset();
    reader_.reset();
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

}  // namespace reg
