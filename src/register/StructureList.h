// The structure list: the census as listed in the register window, and the window's commands (new,
// modify, delete, commit and reload, withdraw and reload), all inside the window's transaction.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/DbTable.h"
#include "schema/Session.h"

namespace reg {

struct CDepotRow {
    int id = 0;
    std::string ubicaz;
    std::string local;
    std::string comune;  // the municipality's name
    std::string provin;
    std::array<int, 7> flags{};
    int changed = 0;  // inserted or modified in this window since the last load
    int deleted = 0;  // deleted in this window since the last load
    std::string scoPro;
    std::int32_t scoSup = 0;
    std::string scoTit;  // the title's word
    std::string copPro;
    std::int32_t copSup = 0;
    std::string copTit;
    std::array<int, 36> counts{};
};
using CDepotRowList = std::vector<CDepotRow>;

// "Proprietà", "Affitto", "Comodato", or a single blank.
std::string TitleWord(char title);
// The municipality's name, or "*** Inesistente ***".
std::string ComuneName(db::CDbConnection& connection, int code);
// Every structure whose municipality is listed, in identifier order.
CDepotRowList LoadRows(db::CDbConnection& connection);

class StructureList {
  public:
    explicit StructureList(schema::Session& session);
    ~StructureList();
    StructureList(const StructureList&) = delete;
    StructureList& operator=(const StructureList&) = delete;

    // Opens the cursor on depositi, begins the window's transaction and loads the rows.
    bool Open();
    // Commits the window's transaction (whatever way the window is closed).
    void Close();

    const CDepotRowList& Rows() const { return rows_; }
    // The selected row (the grid's current row when it is on show), or none.
    void Select(std::optional<std::size_t> row) { selected_ = row; }
    std::optional<std::size_t> Selected() const { return selected_; }
    // The texts of the selection box: the identifier, and "street - locality".
    std::string SelectionId() const;
    std::string SelectionText() const;
    // Whether a command on the selected row applies (a row is selected and not deleted).
    bool CanChangeSelected() const;

    // The commands; each reports its own failures. True when something was stored.
    bool CreateStructure();
    bool ModifyStructure();
    bool DeleteStructure();
    void RefreshView();
    void RevertChanges();

    // The editor's values of a stored structure, read through the cursor; nothing when not found.
    std::optional<ui::StructureValues> ReadStructure(int id);

  private:
    bool Store(const ui::StructureValues& values);
    CDepotRow RowFrom(const ui::StructureValues& values, int id);
    void Reload();

    schema::Session& session_;
    std::unique_ptr<db::CDbTable> cursor_;
    CDepotRowList rows_;
    std::optional<std::size_t> selected_;
    bool open_ = false;
};

}  // namespace reg
