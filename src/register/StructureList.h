// The structure list: the census as listed in the register window, and the window's commands (new,
// modify, delete, commit and reload, withdraw and reload), all inside the window's transaction.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "census/Structure.h"
#include "db/DbTable.h"
#include "app/Session.h"

namespace reg {

// One listed structure: the census record, its municipality's name and the window's marks.
struct CDepotRow : census::Structure {
    std::string comuneName;
    int changed = 0;  // inserted or modified in this window since the last load
    int deleted = 0;  // deleted in this window since the last load
};
using CDepotRowList = std::vector<CDepotRow>;

// "Proprietà", "Affitto", "Comodato", or a single blank.
std::string TitleWord(char title);
// The municipality's name, or "*** Inesistente ***".
std::string ComuneName(db::CDbConnection& connection, int code);
// Every structure whose municipality is listed, in identifier order; nothing when the census cannot be
// read whole (the failure is shown).
std::optional<CDepotRowList> LoadRows(db::CDbConnection& connection);

class StructureList {
  public:
    explicit StructureList(app::Session& session);
    ~StructureList();
    StructureList(const StructureList&) = delete;
    StructureList& operator=(const StructureList&) = delete;

    // Opens the cursor on depositi, begins the window's transaction and loads the rows. Not done
    // (and nothing held) when any of them fails: the window then does not open.
    ui::Outcome Open();
    // Commits the window's transaction (whatever way the window is closed).
    ui::Outcome Close();
    // Whether the window's transaction is in progress: without it the window must close.
    bool IsOpen() const;

    const CDepotRowList& Rows() const { return rows_; }
    // The selected row (the grid's current row when it is on show), or none.
    void Select(std::optional<std::size_t> row) { selected_ = row; }
    std::optional<std::size_t> Selected() const { return selected_; }
    // The texts of the selection box: the identifier, and "street - locality".
    std::string SelectionId() const;
    std::string SelectionText() const;
    // Whether a command on the selected row applies (a row is selected and not deleted).
    bool CanChangeSelected() const;

    // The commands; each shows its own failures. Done when something was stored.
    ui::Outcome CreateStructure();
    ui::Outcome ModifyStructure();
    ui::Outcome DeleteStructure();
    // Commit (or withdraw) the changes, begin again and reload the list. When the new transaction
    // cannot begin, the list is no longer open.
    ui::Outcome RefreshView();
    ui::Outcome RevertChanges();

    // The editor's values of a stored structure, read through the cursor; nothing when not found.
    std::optional<ui::StructureValues> ReadStructure(int id);

  private:
    CDepotRow RowFrom(const ui::StructureValues& values, int id);
    ui::Outcome Reload();
    ui::Outcome Restart(bool keepChanges);
    ui::Outcome AfterFailure();

    app::Session& session_;
    std::unique_ptr<db::CDbTable> cursor_;
    std::unique_ptr<db::CDbTransaction> transaction_;
    CDepotRowList rows_;
    std::optional<std::size_t> selected_;
};

// Whether a new structure can take identifier `id`; otherwise says why it cannot be stored.
[[nodiscard]] bool IdentifierFits(ui::Port& port, int id);

}  // namespace reg
