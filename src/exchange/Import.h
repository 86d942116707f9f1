// The observatory's communication file: read, checked, confirmed, and put in place of the census.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/Session.h"
#include "exchange/Clock.h"
#include "exchange/Comparison.h"
#include "exchange/StructureRecord.h"

namespace exchange {

enum class FileCheck {
    Valid,
    OtherCompany,  // the company line names another company
    Corrupt,       // any other rule broken
};

// Reads a whole communication file of the observatory (its bytes) for `company`. When valid, `list`
// holds the company, the date and every record in file order; otherwise it is left empty.
FileCheck ReadCommunication(std::string_view content, int company, CStructureRecordList& list);

// Deletes every structure; stops at the first failure (shown).
ui::Outcome DeleteAllStructures(db::CDbConnection& connection);
// Stores the records with identifiers 0, 1, 2 ..., then sets id_depo; `counter` grows by one per
// record tried. Stops at the first record that cannot be stored, which is shown (id_depo is then left
// alone).
ui::Outcome StoreStructures(db::CDbConnection& connection, const StructureRecords& records, int& counter);
ui::Outcome StoreStructures(db::CDbConnection& connection, const CStructureRecordList& list, int& counter);

// Done when every record of `list` can be stored in depositi as StoreStructures stores them (its
// identifier within range, each value taken by its column, no required column left null), judged by
// the table's own definition in the census. Otherwise the first record that cannot is said with the
// message its storing would show, and nothing is done.
ui::Outcome CheckStorable(db::CDbConnection& connection, const StructureRecords& records);
ui::Outcome CheckStorable(db::CDbConnection& connection, const CStructureRecordList& list);

// Reads and checks the observatory's file at `path` for the working company `company`, a piece at a
// time, its records by CheckStorable too; a file that cannot be read or is refused is said here, as the
// import says it. The records in file order.
std::optional<StructureRecords> ReadCommunicationFile(db::CDbConnection& connection,
                                                      const std::filesystem::path& path, int company);

// The census beside the observatory's file at `path`, which is read and checked as the import does.
// Nothing changes. Not done when there is no working company, the file is refused or the census
// cannot be read (each said).
ui::Outcome CompareCommunication(app::Session& session, const std::filesystem::path& path,
                                 CensusComparison& comparison);

// The copies of the census kept beside it, each made before an import replaced it:
// NAME.prima-importazione-YYYYMMDD-HHMMSS.EXT (app::kImportCopyLabel), names that sort in the order the
// copies were made. The newest five are kept.
inline constexpr int kKeptImportCopies = 5;

// "&Import Comunicazione". The confirmation offers the comparison of the census with the file as its
// details. Once confirmed, the replacement runs in one transaction, which first copies the census whole
// beside itself (a copy that cannot be made stops the import, with the census untouched; `now`, read
// then, stamps its name): when a record cannot be stored, the census stays exactly as it was and the
// copy goes again. Done when the census was replaced.
ui::Outcome ImportCommunication(app::Session& session, const std::function<LocalDateTime()>& now = Now);

}  // namespace exchange
