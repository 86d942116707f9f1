#include "register/StructureList.h"

#include "db/DbSelect.h"
#include "register/Company.h"
#include "register/StructureEditor.h"
#include "schema/CensusColumns.h"
#include "text/Text.h"

namespace reg {
namespace {

using schema::CountColumns;
using schema::FlagColumns;

}  // namespace

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
    regcom.SelectIndex("codice");
    std::string name = "*** Inesistente ***";
    if (regcom.Seek({text::FormatInt(code)}) == 1) {
        regcom.GetField("denom", name);
    }
    return text::TrimRight(name);
}

CDepotRowList LoadRows(db::CDbConnection& connection) {
    connection.Port().BeginBusy(true);
    CDepotRowList rows;
    std::string columns = "depositi.ID, depositi.ubicaz, depositi.local, regcom.denom, depositi.provin";
    for (const char* flag : FlagColumns()) {
        columns += std::string(", depositi.") + flag;
    }
    columns +=
        ", depositi.sco_pro, depositi.sco_sup, depositi.sco_tit, depositi.cop_pro, depositi.cop_sup, "
        "depositi.cop_tit";
    for (const std::string& count : CountColumns()) {
        columns += ", depositi." + count;
    }
    db::CDbSelect s(&connection);
    s.SetColumns(columns);
    s.SetFrom("depositi, regcom");
    s.SetWhere("regcom.codice = depositi.comune");
    s.SetOrderBy("depositi.ID");
    const auto textAt = [&](int position) {
        std::string value;
        s.GetDateOrText(position, value);
        return text::TrimRight(value);
    };
    const auto shortAt = [&](int position) {
        std::int16_t value = 0;
        s.GetShort(position, value);
        return static_cast<int>(value);
    };
    for (int row = s.Execute(); row == 1; row = s.Next()) {
        CDepotRow r;
        r.id = shortAt(0);
        r.ubicaz = textAt(1);
        r.local = textAt(2);
        r.comune = textAt(3);
        r.provin = textAt(4);
        for (std::size_t i = 0; i < 7; ++i) {
            r.flags[i] = shortAt(5 + static_cast<int>(i)) != 0 ? 1 : 0;
        }
        r.scoPro = textAt(12);
        s.GetLong(13, r.scoSup);
        std::string title;
        s.GetDateOrText(14, title);
        r.scoTit = TitleWord(title.empty() ? '\0' : title[0]);
        r.copPro = textAt(15);
        s.GetLong(16, r.copSup);
        s.GetDateOrText(17, title);
        r.copTit = TitleWord(title.empty() ? '\0' : title[0]);
        for (std::size_t i = 0; i < 36; ++i) {
            r.counts[i] = shortAt(18 + static_cast<int>(i));
        }
        rows.push_back(std::move(r));
        connection.Port().KeepResponsive();
    }
    return rows;
}

StructureList::StructureList(schema::Session& session) : session_(session) {}

StructureList::~StructureList() {
    Close();
}

bool StructureList::Open() {
    db::CDbConnection* connection = session_.Connection();
    if (!connection) {
        return false;
    }
    cursor_ = std::make_unique<db::CDbTable>(connection, "depositi");
    cursor_->SelectIndex("codice");
    connection->BeginTransaction();
    open_ = true;
    rows_ = LoadRows(*connection);
    return true;
}

void StructureList::Close() {
    if (!open_) {
        return;
    }
    open_ = false;
    if (db::CDbConnection* connection = session_.Connection()) {
        connection->CommitTransaction();
    }
    cursor_.reset();
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
    r.id = id;
    r.ubicaz = v.ubicaz;
    r.local = v.local;
    r.comune = ComuneName(*session_.Connection(), v.comune);
    r.provin = v.provin;
    r.flags = v.flags;
    r.changed = 1;
    r.scoPro = v.scoPro;
    r.scoSup = v.scoSup;
    r.scoTit = TitleWord(v.scoTit);
    r.copPro = v.copPro;
    r.copSup = v.copSup;
    r.copTit = TitleWord(v.copTit);
    r.counts = v.counts;
    return r;
}

// Sets every column but the identifier from the editor's values, and stores the row begun.
bool StructureList::Store(const ui::StructureValues& v) {
    db::CDbTable& t = *cursor_;
    t.SetField("ubicaz", v.ubicaz);
    t.SetField("local", v.local);
    t.SetField("comune", text::FormatInt(v.comune));
    t.SetField("provin", v.provin);
    for (std::size_t i = 0; i < 7; ++i) {
        t.SetField(FlagColumns()[i], v.flags[i] == 1 ? "1" : "0");
    }
    t.SetField("sco_pro", v.scoPro);
    t.SetField("sco_sup", text::FormatInt(v.scoSup));
    t.SetField("sco_tit", std::string(1, v.scoTit));
    t.SetField("cop_pro", v.copPro);
    t.SetField("cop_sup", text::FormatInt(v.copSup));
    t.SetField("cop_tit", std::string(1, v.copTit));
    for (std::size_t i = 0; i < 36; ++i) {
        t.SetField(CountColumns()[i], text::FormatInt(v.counts[i]));
    }
    return t.Update() == 1;
}

bool StructureList::CreateStructure() {
    ui::Port& port = session_.Port();
    db::CDbConnection& connection = *session_.Connection();
    ui::StructureEditorRequest editor;
    editor.values = BlankStructure();
    editor.municipalityEntries = FillComuneCombo(connection);
    editor.accept = [&port](ui::StructureValues& values) { return CheckAndAccept(port, values); };
    if (!port.EditStructure(editor)) {
        return false;
    }
    db::CDbTable master(&connection, "master");
    master.SelectIndex("codice");
    if (master.Seek({"0"}) == 0) {
        ShowMasterMissing(port);
        return false;
    }
    std::string next;
    master.GetField("id_depo", next);
    const int id = text::ReadInt(next);
    master.Edit();
    cursor_->AddNew();
    cursor_->SetField("ID", text::FormatInt(id));
    if (!Store(editor.values)) {
        return false;  // the counter stays where it was
    }
    master.SetField("id_depo", text::FormatInt(id + 1));
    master.Update();
    rows_.push_back(RowFrom(editor.values, id));
    return true;
}

std::optional<ui::StructureValues> StructureList::ReadStructure(int id) {
    if (cursor_->Seek({text::FormatInt(id)}) == 0) {
        return std::nullopt;
    }
    const auto field = [&](const std::string& name) {
        std::string value;
        cursor_->GetField(name, value);
        return value;
    };
    const auto first = [](const std::string& s) {
        // A stored title that is empty counts as no title.
        return s.empty() ? ' ' : s[0];
    };
    ui::StructureValues v;
    v.id = text::ReadInt(field("ID"));
    v.ubicaz = field("ubicaz");
    v.local = field("local");
    v.comune = text::ReadInt(field("comune"));
    v.provin = field("provin");
    for (std::size_t i = 0; i < 7; ++i) {
        const std::string flag = field(FlagColumns()[i]);
        v.flags[i] = !flag.empty() && flag[0] != '0' ? 1 : 0;
    }
    v.scoPro = text::TrimRight(field("sco_pro"));
    v.scoSup = text::ReadInt(field("sco_sup"));
    v.scoTit = first(field("sco_tit"));
    v.copPro = text::TrimRight(field("cop_pro"));
    v.copSup = text::ReadInt(field("cop_sup"));
    v.copTit = first(field("cop_tit"));
    for (std::size_t i = 0; i < 36; ++i) {
        v.counts[i] = text::ReadInt(field(CountColumns()[i]));
    }
    return v;
}

bool StructureList::ModifyStructure() {
    if (!CanChangeSelected()) {
        return false;
    }
    const std::size_t row = *selected_;
    auto values = ReadStructure(rows_[row].id);
    if (!values) {
        return false;
    }
    ui::Port& port = session_.Port();
    ui::StructureEditorRequest editor;
    editor.values = *values;
    editor.municipalityEntries = FillComuneCombo(*session_.Connection());
    editor.accept = [&port](ui::StructureValues& v) { return CheckAndAccept(port, v); };
    if (!port.EditStructure(editor)) {
        return false;
    }
    if (cursor_->Seek({text::FormatInt(rows_[row].id)}) == 0 || cursor_->Edit() == 0 ||
        !Store(editor.values)) {
        return false;
    }
    rows_[row] = RowFrom(editor.values, rows_[row].id);
    return true;
}

bool StructureList::DeleteStructure() {
    if (!CanChangeSelected()) {
        return false;
    }
    CDepotRow& row = rows_[*selected_];
    if (cursor_->Seek({text::FormatInt(row.id)}) == 1 && cursor_->Delete() == 1) {
        row.deleted = 1;
        return true;
    }
    return false;
}

void StructureList::Reload() {
    selected_.reset();
    rows_ = LoadRows(*session_.Connection());
}

void StructureList::RefreshView() {
    db::CDbConnection& connection = *session_.Connection();
    connection.CommitTransaction();
    connection.BeginTransaction();
    Reload();
}

void StructureList::RevertChanges() {
    db::CDbConnection& connection = *session_.Connection();
    connection.RollbackTransaction();
    connection.BeginTransaction();
    Reload();
}

}  // namespace reg
