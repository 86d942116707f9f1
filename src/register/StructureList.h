// The structure list: the census as listed in the register window, and the window's commands (new,
// modify, delete, commit and reload, withdraw and reload), all inside the window's transaction.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/Session.h"
#include "census/Structure.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"

namespace reg {

// One listed structure, as the grid shows it: the list holds tens of thousands, so a row keeps its
// numbers in their stored widths and its texts in the list's own buffer (CDepotRowList::Text).
struct CDepotRow {
    std::int16_t id = 0;
    std::uint16_t comune = 0;      // the municipality's place among the list's names (ComuneName)
    std::array<char, 2> provin{};  // the province's two letters; '\0' where shorter
    char scoTit = ' ';             // the first character of each title, a blank for none
    char copTit = ' ';
    std::uint8_t flags = 0;    // bit i: activity i is carried out there
    std::uint8_t changed = 0;  // inserted or modified in this window since the last load
    std::uint8_t deleted = 0;  // deleted in this window since the last load
    std::int32_t scoSup = 0;
    std::int32_t copSup = 0;
    std::uint32_t texts = 0;  // where the row's texts begin in the list's buffer
    std::array<std::int16_t, census::kCountCount> counts{};

    bool Flag(std::size_t i) const { return (flags >> i) & 1U; }
    std::string Provin() const { return std::string(provin.data(), provin[1] ? 2 : provin[0] ? 1 : 0); }
};

// The listed structures and what their rows refer to: their texts, one after another, and the names of
// their municipalities.
class CDepotRowList {
  public:
    enum class Field { Ubicaz, Local, ScoPro, CopPro };

    // Appends a structure, its municipality's name and the window's marks.
    void Add(const census::Structure& s, std::string_view comuneName, std::uint8_t changed = 0);
    // Replaces row `index` with a structure (its old texts stay in the buffer, unused).
    void Replace(std::size_t index, const census::Structure& s, std::string_view comuneName,
                 std::uint8_t changed);
    // Appends the structure in the current row of a selection whose columns are its identifier, its
    // municipality's name and the 53 of census::ColumnList(), read as schema::ReadStructure reads them
    // (failures latched in the selection) but straight into the listed form, without a structure.
    // Gives the identifier.
    int AddSelected(db::CDbSelect& s);
    void Reserve(std::size_t rows);

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    const CDepotRow& operator[](std::size_t i) const { return rows_[i]; }
    CDepotRow& operator[](std::size_t i) { return rows_[i]; }
    std::vector<CDepotRow>::const_iterator begin() const { return rows_.begin(); }
    std::vector<CDepotRow>::const_iterator end() const { return rows_.end(); }

    // The row of the structure with identifier `id`, in a list loaded in identifier order; nothing
    // when it is not listed.
    std::optional<std::size_t> Find(int id) const;

    std::string_view Text(const CDepotRow& row, Field field) const;
    const std::string& ComuneName(const CDepotRow& row) const { return comuni_[row.comune]; }

    // Which list this is: every list made is another, and within one a row that is replaced has its
    // texts elsewhere (CDepotRow::texts). What was made of a row's texts stays valid while both agree.
    std::uint64_t Generation() const { return generation_; }

  private:
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };

    CDepotRow Compact(const census::Structure& s, std::string_view comuneName, std::uint8_t changed);
    std::uint16_t ComuneIndex(std::string_view comuneName);
    void AddText(std::string_view text);

    std::vector<CDepotRow> rows_;
    std::string texts_;  // each row's four texts, each ended by '\0'
    std::vector<std::string> comuni_;
    // a name's place in comuni_
    std::unordered_map<std::string, std::uint16_t, NameHash, std::equal_to<>> comuneIndex_;
    std::uint64_t generation_ = NextGeneration();

    static std::uint64_t NextGeneration();
};

// "Proprietà", "Affitto", "Comodato", or a single blank.
std::string TitleWord(char title);
// The municipality's name, or "*** Inesistente ***".
std::string ComuneName(db::CDbConnection& connection, int code);
// Every structure whose municipality is listed, in identifier order; nothing when the census cannot be
// read whole (the failure is shown).
std::optional<CDepotRowList> LoadRows(db::CDbConnection& connection);

// Reads the rows LoadRows lists a part at a time, into a list of its own, through one selection kept open
// between the parts.
class CDepotRowReader {
  public:
    explicit CDepotRowReader(db::CDbConnection& connection);
    ~CDepotRowReader();
    CDepotRowReader(const CDepotRowReader&) = delete;
    CDepotRowReader& operator=(const CDepotRowReader&) = delete;

    // Appends to `rows` up to `count` more rows, and then as many as needed to reach the structure with
    // identifier `through`. False when the census could not be read (shown).
    [[nodiscard]] bool Read(CDepotRowList& rows, std::size_t count,
                            std::optional<int> through = std::nullopt);
    // Whether the last row has been read.
    bool Done() const { return done_; }

  private:
    db::CDbConnection& connection_;
    std::unique_ptr<db::CDbSelect> select_;
    int lastId_ = -1;  // the identifier of the last row read
    bool started_ = false;
    bool done_ = false;
};

class StructureList {
  public:
    explicit StructureList(app::Session& session);
    ~StructureList();
    StructureList(const StructureList&) = delete;
    StructureList& operator=(const StructureList&) = delete;

    // Opens the cursor on depositi, begins the window's transaction and loads the rows (with
    // `firstRows`, only that many: ReadMore reads the others). Not done (and nothing held) when any of
    // them fails: the window then does not open.
    ui::Outcome Open(std::optional<std::size_t> firstRows = std::nullopt);
    // Reads up to `count` more rows (and on to the structure with identifier `through`), or all the
    // others, in the busy state; done at once when they are all read. A failure (shown) ends the
    // window's transaction, as a failure reading the rows at opening does: the list is then no longer
    // open.
    ui::Outcome ReadMore(std::size_t count, std::optional<int> through = std::nullopt);
    ui::Outcome ReadRest();
    // The same outside the busy state: a part read between passes of the event loop.
    ui::Outcome ReadPart(std::size_t count);
    // Whether every row is read.
    bool IsComplete() const { return !reader_; }
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
    std::optional<census::Structure> ReadStructure(int id);

  private:
    ui::Outcome ReadRows(std::size_t count, std::optional<int> through);
    ui::Outcome Reload();
    ui::Outcome Restart(bool keepChanges);
    ui::Outcome AfterFailure();

    app::Session& session_;
    std::unique_ptr<db::CDbTable> cursor_;
    std::unique_ptr<db::CDbTransaction> transaction_;
    std::unique_ptr<CDepotRowReader> reader_;  // while rows are still to be read
    CDepotRowList rows_;
    std::optional<std::size_t> selected_;
};

}  // namespace reg
