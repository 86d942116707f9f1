#include <gtest/gtest.h>
#ifdef __linux__
#include <sys/mount.h>
#include <sys/statvfs.h>
#endif

#include <sqlite3.h>

#include <csignal>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "Process.h"
#include "exchange/Export.h"
#include "support/Communication.h"
#include "support/TempDir.h"
#include "text/Text.h"

namespace {

using testing_support::Outcome;
using testing_support::ReadFile;

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

census::Structure Record(const char* ubicaz, const char* localUtf8, int comune, const char* provin, int flag,
                         const char* scoPro, int scoSup, const char* scoTit) {
    census::Structure r;
    r.ubicaz = ubicaz;
    r.local = text::Utf8ToCp1252Lossy(localUtf8);
    r.comune = comune;
    r.provin = provin;
    if (flag >= 0) {
        r.flags[static_cast<std::size_t>(flag)] = true;
    }
    r.scoPro = scoPro;
    r.scoSup = scoSup;
    r.scoTit = scoTit;
    r.copTit = " ";
    for (std::size_t i = 0; i < r.counts.size(); ++i) {
        r.counts[i] = static_cast<int>(i % 7);
    }
    return r;
}

// Two structures that pass the check, one with an accented place name.
const std::vector<census::Structure> kGood = {
    Record("Via Roma 1", "Città della Pieve", 106, "FI", 0, "Comune", 1200, "A"),
    Record("Piazza Garibaldi", "Empoli", 98, "FI", 6, "", 0, " ")};
// A structure with neither a province nor an activity.
const std::vector<census::Structure> kBad = {Record("Via Nuova", "Siena", 5, "XX", -1, "", 0, " ")};

#ifdef __linux__
// A memory file system mounted on `at` (made for it) while it lives, where the process may mount one.
class MemoryDisk {
  public:
    MemoryDisk(const std::filesystem::path& at, const char* options) : at_(at) {
        std::filesystem::create_directory(at_);
        mounted_ = ::mount("velumbra-test", at_.c_str(), "tmpfs", 0, options) == 0;
    }
    ~MemoryDisk() {
        if (mounted_) {
            ::umount(at_.c_str());
        }
    }
    MemoryDisk(const MemoryDisk&) = delete;
    MemoryDisk& operator=(const MemoryDisk&) = delete;
    explicit operator bool() const { return mounted_; }
    // As a medium nobody can write to.
    [[nodiscard]] bool MakeReadOnly() const {
        return ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    std::filesystem::path at_;
    bool mounted_ = false;
};
#endif

class CliTest : public ::testing::Test {
  protected:
    std::string P(const std::string& name) const { return (dir.path() / name).string(); }

    // Runs velumbra-cli under `locale`, its output and messages caught in files.
    Outcome Run(std::vector<std::string> args, const char* locale = "C.UTF-8",
                std::optional<int> fileSizeLimitKiB = std::nullopt,
                const std::vector<std::string>& runner = {}) const {
        args.insert(args.begin(), VELUMBRA_CLI_PATH);
        args.insert(args.begin(), runner.begin(), runner.end());
        if (fileSizeLimitKiB) {
            // As on a full disk: a write past the limit fails, and the program goes on.
            args.insert(args.begin(), {"/bin/sh", "-c",
                                       "trap '' XFSZ; ulimit -f " + std::to_string(*fileSizeLimitKiB) +
                                           "; exec \"$0\" \"$@\""});
        }
        return testing_support::RunProgram(args, dir.path(), locale);
    }

    // The runner that traces `calls` (strace's list) into .trace; leaks are not looked for under it.
    std::vector<std::string> Tracer(const std::string& calls) const {
        return {"/usr/bin/strace", "-f", "-qq",           "-E", "ASAN_OPTIONS=detect_leaks=0", "-o",
                P(".trace"),       "-e", "trace=" + calls};
    }
    // The calls .trace holds, in the order made.
    std::vector<std::string> TracedCalls() const {
        std::vector<std::string> made;
        std::istringstream trace(ReadFile(P(".trace")));
        for (std::string line; std::getline(trace, line);) {
            // "PID  call(arguments) = result": the identifier is padded with blanks.
            const std::size_t name = line.find_first_not_of(' ', line.find(' ')), open = line.find('(');
            if (name != std::string::npos && open != std::string::npos && open > name) {
                made.push_back(line.substr(name, open - name));
            }
        }
        return made;
    }

    // A new census for company 12 in db.mdb, holding `records`.
    void NewCensus(const std::vector<census::Structure>& records) {
        ASSERT_EQ(Run({"create", P("db.mdb")}).status, 0);
        ASSERT_EQ(Run({"company", P("db.mdb"), "12"}).status, 0);
        WriteFile(P("in.txt"), Communication(records));
        ASSERT_EQ(Run({"import", P("db.mdb"), P("in.txt"), "--yes"}).status, 0);
    }

    // A census of 60 structures in db.mdb whose last page of structures is partly overwritten.
    void NewDamagedCensus() {
        std::vector<census::Structure> many;
        for (int i = 0; i < 60; ++i) {
            many.push_back(kGood[static_cast<std::size_t>(i % 2)]);
        }
        NewCensus(many);
        long long page = 0;
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(P("db.mdb").c_str(), &raw), SQLITE_OK);
        sqlite3_stmt* leaf = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(
                      raw, "SELECT max(pageno) FROM dbstat WHERE name = 'depositi' AND pagetype = 'leaf'", -1,
                      &leaf, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(leaf), SQLITE_ROW);
        page = sqlite3_column_int64(leaf, 0);
        sqlite3_finalize(leaf);
        ASSERT_EQ(sqlite3_exec(raw, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
        ASSERT_GT(page, 1);
        std::fstream file(P("db.mdb"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>((page - 1) * 4096 + 8));
        const std::string noise(600, '\x7F');
        file.write(noise.data(), static_cast<std::streamsize>(noise.size()));
    }

    static std::string Communication(const std::vector<census::Structure>& records, int company = 12) {
        return testing_support::CommunicationFile({company, "01/02/2026", records}, "ComunicazioneVelumbra");
    }

    static std::string Listing(const std::vector<census::Structure>& records) {
        std::string listing;
        for (std::size_t i = 0; i < records.size(); ++i) {
            listing +=
                std::to_string(i) + "\t" + text::Cp1252ToUtf8(exchange::FormatRecordLine(records[i])) + "\n";
        }
        return listing;
    }

    testing_support::TempDir dir;
};

TEST_F(CliTest, WrongUsageExitsTwoWithTheUsage) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "manca il comando"},
        {{"frobnicate", "db"}, "comando sconosciuto «frobnicate»"},
        {{"list"}, "argomenti mancanti per il comando list"},
        {{"duplicate", "a", "b", "c"}, "troppi argomenti"},
        {{"list", "db", "--yes"}, "non prevede l'opzione --yes"},
        {{"validate", "db", "--bogus"}, "opzione sconosciuta «--bogus»"},
        {{"export", "db"}, "richiede --output"},
        {{"export", "db", "--output"}, "manca il valore dell'opzione --output"},
        {{"export", "db", "--output", "a", "--output=b"}, "ripetuta"},
        {{"import", "db", "f", "--yes=no"}, "non prende valori"},
        {{"list", ""}, "non può essere vuoto"},
        {{"validate", "db", "--report="}, "percorso non vuoto"},
        {{"company", "db", "1\xff"}, "non rappresentabili in Windows-1252"},
        {{"company", "db", "1\u4e2d"}, "«1\u4e2d» contiene caratteri non rappresentabili"},
        {{"restore", "db", "0"}, "il numero della copia «0» non è valido"},
        {{"restore", "db", "x1"}, "«x1» non è valido"}};
    for (const auto& [args, expected] : cases) {
        const Outcome o = Run(args);
        EXPECT_EQ(o.status, 2) << expected;
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find(expected), std::string::npos) << o.err;
        EXPECT_NE(o.err.find("\nUso:\n"), std::string::npos);
    }
    for (const std::vector<std::string>& help : {std::vector<std::string>{"--help"}, {"list", "db", "-h"}}) {
        const Outcome o = Run(help);
        EXPECT_EQ(o.status, 0);
        EXPECT_TRUE(o.out.starts_with("Uso:\n")) << o.out;
        EXPECT_EQ(o.err, "");
        // Within an 80-column console.
        std::istringstream lines(o.out);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LT(text::Utf8ToCp1252Lossy(line).size(), 80u) << line;
        }
    }
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("velumbra-cli ") && version.out.ends_with("\n")) << version.out;
    EXPECT_GT(version.out.size(), std::string("velumbra-cli \n").size());
}

TEST_F(CliTest, CreateAndChooseTheCompany) {
    ASSERT_EQ(Run({"create", P("db.mdb")}).status, 0);
    EXPECT_EQ(Run({"company", P("db.mdb")}).out, "VELUMBRA - Azienda 0 *** azienda non assegnata ***\n");
    const Outcome again = Run({"create", P("db.mdb")});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err, "");

    EXPECT_EQ(Run({"company", P("db.mdb"), "12"}).status, 0);
    for (const char* refused : {"x", "12a"}) {
        const Outcome o = Run({"company", P("db.mdb"), refused});
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err.find("ATTENZIONE: Il Codice Regionale Azienda non è valido.\n"), 0u) << o.err;
    }
    // The messages follow the terminal: Windows-1252 bytes where it does not speak UTF-8.
    EXPECT_NE(Run({"company", P("db.mdb"), "x"}, "C").err.find("non \xE8 valido"), std::string::npos);
    const Outcome title = Run({"company", P("db.mdb")});
    EXPECT_EQ(title.status, 0);
    EXPECT_EQ(title.out, "VELUMBRA - Azienda 12 SOC. COOP. AUTOTRASPORTI AMIATINI\n");
}

TEST_F(CliTest, PathsAreTheArgumentsBytes) {
    // The bytes of an argument are the file's name, whatever the terminal's encoding.
    EXPECT_EQ(Run({"create", P("città.mdb")}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "città.mdb"));
    EXPECT_EQ(Run({"create", P("citt\xE0.mdb")}, "C").status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "citt\xE0.mdb"));
    EXPECT_EQ(Run({"company", P("citt\xE0.mdb")}, "C").status, 0);
    const Outcome missing = Run({"list", "--", P("-nessuno.mdb")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Errore in fase di apertura del database"), std::string::npos) << missing.err;
}

TEST_F(CliTest, ExportWritesTheCommunication) {
    ASSERT_EQ(Run({"create", P("db.mdb")}).status, 0);
    const Outcome noCompany = Run({"export", P("db.mdb"), "--output", P("out.txt")});
    EXPECT_EQ(noCompany.status, 1);
    EXPECT_NE(noCompany.err.find("non è stata ancora selezionata"), std::string::npos);
    ASSERT_EQ(Run({"company", P("db.mdb"), "12"}).status, 0);

    EXPECT_EQ(Run({"export", P("db.mdb"), "--output", P("out.txt"), "--date", "06/12/2026"}).status, 0);
    EXPECT_EQ(ReadFile(P("out.txt")),
              "<VariazioniVelumbra>0\r\n<Azienda=12>\r\n<Data=06/12/2026>\r\n</VariazioniVelumbra>2040\r\n");
    // The dialog's own check refuses or normalises the date; today is the default.
    const Outcome illegal = Run({"export", P("db.mdb"), "--output=" + P("bad.txt"), "--date=6/12/2026"});
    EXPECT_EQ(illegal.status, 1);
    EXPECT_NE(illegal.err.find("formato illegale"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(P("bad.txt")));
    EXPECT_EQ(Run({"export", P("db.mdb"), "--output", P("short.txt"), "--date", "06-12-26"}).status, 0);
    EXPECT_NE(ReadFile(P("short.txt")).find("<Data=06/12/2026>\r\n"), std::string::npos);
    const auto today = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return "<Data=" + text::FormatDate(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900) + ">";
    };
    const std::string before = today();
    EXPECT_EQ(Run({"export", P("db.mdb"), "--output", P("today.txt")}).status, 0);
    const std::string written = ReadFile(P("today.txt"));
    EXPECT_TRUE(written.find(before) != std::string::npos || written.find(today()) != std::string::npos);
}

TEST_F(CliTest, SummaryAndSpreadsheetCommands) {
    NewCensus(kGood);
    const Outcome text = Run({"summary", P("db.mdb")});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Strutture censite         2\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Propriet\u00e0"), std::string::npos);  // UTF-8, as the other listings
    const Outcome csv = Run({"summary", P("db.mdb"), "--csv"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_NE(csv.out.find("\nStrutture censite;2\n"), std::string::npos) << csv.out;
    EXPECT_EQ(Run({"summary", P("db.mdb"), "--output", P("x.csv")}).status, 2);
    EXPECT_EQ(Run({"summary", P("nessuno.mdb")}).status, 1);

    const Outcome missingOutput = Run({"export-csv", P("db.mdb")});
    EXPECT_EQ(missingOutput.status, 2);
    EXPECT_NE(missingOutput.err.find("il comando export-csv richiede --output FILE"), std::string::npos);
    EXPECT_EQ(Run({"export-csv", P("db.mdb"), "--csv", "--output", P("x.csv")}).status, 2);
    const Outcome written = Run({"export-csv", P("db.mdb"), "--output", P("censimento.csv")});
    EXPECT_EQ(written.status, 0);
    EXPECT_NE(written.err.find("Strutture esportate: 2"), std::string::npos);
    const std::string file = ReadFile(P("censimento.csv"));
    EXPECT_TRUE(file.starts_with("\xEF\xBB\xBFN.ro;"));
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3);
    const Outcome refused = Run({"export-csv", P("db.mdb"), "--output", P("nessuna/censimento.csv")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Impossibile creare"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(P("nessuna")));
}

TEST_F(CliTest, ImportChecksWithoutYesAndReplacesWithIt) {
    NewCensus(kBad);
    WriteFile(P("good.txt"), Communication(kGood));
    const Outcome checked = Run({"import", P("db.mdb"), P("good.txt")});
    EXPECT_EQ(checked.status, 0);
    EXPECT_NE(checked.err.find("Si intende procedere oltre?\n[Annullato"), std::string::npos) << checked.err;
    EXPECT_EQ(Run({"list", P("db.mdb")}).out, Listing(kBad));

    const Outcome replaced = Run({"import", P("db.mdb"), P("good.txt"), "--yes"});
    EXPECT_EQ(replaced.status, 0);
    EXPECT_NE(replaced.err.find("Sono state registrate 2 schede Struttura"), std::string::npos)
        << replaced.err;
    EXPECT_EQ(Run({"list", P("db.mdb")}).out, Listing(kGood));
    // Only what --find finds: a part of the locality, its accent folded; a part of the location.
    const std::string all = Listing(kGood);
    EXPECT_EQ(Run({"list", P("db.mdb"), "--find", "CITTA"}).out, all.substr(0, all.find('\n') + 1));
    EXPECT_EQ(Run({"list", P("db.mdb"), "--find=garibaldi"}).out, all.substr(all.find('\n') + 1));
    const Outcome none = Run({"list", P("db.mdb"), "--find", "nessuna"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");

    // Refused files change nothing, with or without --yes.
    std::string corrupt = Communication(kBad);
    corrupt[corrupt.rfind('>') + 1] ^= 1;  // the checksum
    WriteFile(P("corrupt.txt"), corrupt);
    WriteFile(P("other.txt"), Communication(kBad, 13));
    const std::pair<const char*, const char*> refusals[] = {{"corrupt.txt", "è corrotto"},
                                                            {"other.txt", "diversa Azienda TPL"},
                                                            {"missing.txt", "Impossibile aprire"}};
    for (const auto& [file, expected] : refusals) {
        for (const char* yes : {"--yes", "--"}) {  // "--" adds nothing: no --yes
            const Outcome o = Run({"import", P("db.mdb"), P(file), yes});
            EXPECT_EQ(o.status, 1) << file;
            EXPECT_NE(o.err.find(expected), std::string::npos) << o.err;
        }
    }
    EXPECT_EQ(Run({"list", P("db.mdb")}).out, Listing(kGood));
}

// A record that depositi cannot hold makes compare and import, with or without --yes, exit 1 with
// one and the same message; nothing changes.
TEST_F(CliTest, AnUnstorableRecordIsRefusedAlikeByCompareAndImport) {
    NewCensus(kGood);
    auto unstorable = kGood;
    unstorable[1].counts[0] = 70000;
    WriteFile(P("unstorable.txt"), Communication(unstorable));
    const Outcome compared = Run({"compare", P("db.mdb"), P("unstorable.txt")});
    EXPECT_EQ(compared.status, 1);
    EXPECT_EQ(compared.out, "");
    EXPECT_TRUE(compared.err.starts_with("Errore campo (ext_b_s) della tavola (depositi) <70000>\n\n"))
        << compared.err;
    for (const char* yes : {"--yes", "--"}) {
        const Outcome imported = Run({"import", P("db.mdb"), P("unstorable.txt"), yes});
        EXPECT_EQ(imported.status, 1) << yes;
        EXPECT_EQ(imported.err, compared.err) << yes;
    }
    EXPECT_EQ(Run({"list", P("db.mdb")}).out, Listing(kGood));
}

TEST_F(CliTest, ExportedCensusImportsBackUnchanged) {
    NewCensus(kGood);
    ASSERT_EQ(Run({"export", P("db.mdb"), "--output", P("a.txt"), "--date", "06/12/2026"}).status, 0);
    const std::string exported = ReadFile(P("a.txt"));
    EXPECT_EQ(exported, testing_support::CommunicationFile({12, "06/12/2026", kGood}, "VariazioniVelumbra"));
    std::string back = exported;
    for (std::size_t at; (at = back.find("VariazioniVelumbra")) != std::string::npos;) {
        back.replace(at, 18, "ComunicazioneVelumbra");
    }
    WriteFile(P("back.txt"), back);
    ASSERT_EQ(Run({"import", P("db.mdb"), P("back.txt"), "--yes"}).status, 0);
    ASSERT_EQ(Run({"export", P("db.mdb"), "--output", P("b.txt"), "--date", "06/12/2026"}).status, 0);
    EXPECT_EQ(ReadFile(P("b.txt")), exported);
}

TEST_F(CliTest, ValidationErrorsBlockAndAreReported) {
    NewCensus(kBad);
    const Outcome silent = Run({"validate", P("db.mdb")});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("errori bloccanti"), std::string::npos);
    // The last line counts the structures with errors (one, with two errors).
    EXPECT_TRUE(silent.err.ends_with("\n\nStrutture con errori: 1\n")) << silent.err;
    ASSERT_EQ(Run({"validate", P("db.mdb"), "--report", P("report.txt")}).status, 1);
    const Outcome blocked = Run({"export", P("db.mdb"), "--output", P("out.txt"), "--report", P("r2.txt")});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_FALSE(std::filesystem::exists(P("out.txt")));

    const std::string report = ReadFile(P("report.txt"));
    EXPECT_EQ(ReadFile(P("r2.txt")).size(), report.size());
    EXPECT_TRUE(report.starts_with(std::string(72, '=') + "\r\n")) << report;
    EXPECT_NE(report.find("\r\nDatabase: " + P("db.mdb") + "\r\n" + std::string(72, '=') + "\r\n\r\n"),
              std::string::npos);
    EXPECT_TRUE(
        report.ends_with("\r\nID=0 Manca la provincia\r\nID=0 Non \xE8 indicata neppure una attivit\xE0\r\n"))
        << report;
    for (std::size_t at = report.find('\n'); at != std::string::npos; at = report.find('\n', at + 1)) {
        EXPECT_EQ(report[at - 1], '\r');
    }

    WriteFile(P("good.txt"), Communication(kGood));
    ASSERT_EQ(Run({"import", P("db.mdb"), P("good.txt"), "--yes"}).status, 0);
    const Outcome clean = Run({"validate", P("db.mdb"), "--report", P("none.txt")});
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.err, "Strutture con errori: 0\n");
    EXPECT_FALSE(std::filesystem::exists(P("none.txt")));
}

// compare changes nothing: one line per changed, new and gone structure, then the summary; a refused
// file is said as the import says it. The import prints the same summary before it asks.
TEST_F(CliTest, CompareListsWhatAnImportWouldChange) {
    NewCensus(kGood);
    auto changed = kGood[0];
    changed.scoSup = 1500;
    changed.flags[3] = true;
    const auto added = Record("Via Pisana 5", "Pontà", 50, "PI", 1, "", 0, " ");
    WriteFile(P("new.txt"), Communication({added, changed}));
    const std::string before = Run({"list", P("db.mdb")}).out;
    const std::string expected =
        "modificata ID=0 Via Roma 1 - Città della Pieve (comune 106 FI): autostaz \"0\" -> \"1\"; sco_sup "
        "\"1200\" -> \"1500\"\n"
        "nuova Via Pisana 5 - Pontà (comune 50 PI)\n"
        "eliminata ID=1 Piazza Garibaldi - Empoli (comune 98 FI)\n"
        "invariate 0, modificate 1, nuove 1, eliminate 1\n";
    const Outcome compared = Run({"compare", P("db.mdb"), P("new.txt")});
    EXPECT_EQ(compared.status, 0);
    EXPECT_EQ(compared.out, expected);
    EXPECT_EQ(compared.err, "");
    // Whatever the terminal, the listing is UTF-8, like every listing.
    EXPECT_EQ(Run({"compare", P("db.mdb"), P("new.txt")}, "C").out, expected);
    EXPECT_EQ(Run({"list", P("db.mdb")}).out, before);

    WriteFile(P("other.txt"), Communication(kGood, 13));
    const Outcome refused = Run({"compare", P("db.mdb"), P("other.txt")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "ATTENZIONE: Il file proposto per l'importazione appartiene ad una diversa Azienda TPL.\n\n"
              "L'Acquisizione dell'Ultima Situazione Strutture Aziendali non può essere effettuata.\n");
    EXPECT_EQ(Run({"compare", P("db.mdb"), P("nessuno.txt")}).status, 1);

    const Outcome asked = Run({"import", P("db.mdb"), P("new.txt")});
    EXPECT_EQ(asked.status, 0);
    EXPECT_EQ(asked.out, "invariate 0, modificate 1, nuove 1, eliminate 1\n");
    const Outcome imported = Run({"import", P("db.mdb"), P("new.txt"), "--yes"});
    EXPECT_EQ(imported.status, 0);
    EXPECT_EQ(imported.out, "invariate 0, modificate 1, nuove 1, eliminate 1\n");
    EXPECT_EQ(Run({"compare", P("db.mdb"), P("new.txt")}).out,
              "invariate 2, modificate 0, nuove 0, eliminate 0\n");
}

TEST_F(CliTest, RepairAndDuplicate) {
    NewCensus(kGood);
    EXPECT_EQ(Run({"repair", P("db.mdb")}).status, 0);
    EXPECT_EQ(Run({"repair", P("nessuno.mdb")}).status, 1);
    EXPECT_EQ(Run({"duplicate", P("db.mdb"), P("copy.mdb")}).status, 0);
    for (const char* db : {"db.mdb", "copy.mdb"}) {
        EXPECT_EQ(Run({"list", P(db)}).out, Listing(kGood));
        EXPECT_EQ(Run({"company", P(db)}).out, "VELUMBRA - Azienda 12 SOC. COOP. AUTOTRASPORTI AMIATINI\n");
    }
    WriteFile(P("taken.mdb"), "occupato");
    const Outcome taken = Run({"duplicate", P("db.mdb"), P("taken.mdb")});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("Errore durante la duplicazione del database"), std::string::npos);
    EXPECT_EQ(ReadFile(P("taken.mdb")), "occupato");
}

// A command that has shown a failure never ends as done: a creation on a full disk leaves nothing and
// says nothing of success; a file without every census table is refused by every command.
TEST_F(CliTest, AShownFailureIsNeverAnExitOfSuccess) {
    const Outcome full = Run({"create", P("db.mdb")}, "C.UTF-8", 120);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Errore di lettura o di scrittura sul disco."), std::string::npos) << full.err;
    EXPECT_EQ(full.err.find("creato con successo"), std::string::npos) << full.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "db.mdb"));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_TRUE(entry.path().filename().string().starts_with(".out") ||
                    entry.path().filename().string().starts_with(".err"))
            << entry.path();
    }

    NewCensus(kGood);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(P("db.mdb").c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "DROP TABLE depositi", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    for (const std::vector<std::string>& command : {std::vector<std::string>{"list", P("db.mdb")},
                                                    {"company", P("db.mdb")},
                                                    {"company", P("db.mdb"), "12"},
                                                    {"validate", P("db.mdb")},
                                                    {"export", P("db.mdb"), "--output", P("out.txt")},
                                                    {"import", P("db.mdb"), P("in.txt"), "--yes"}}) {
        const Outcome o = Run(command);
        EXPECT_EQ(o.status, 1) << command[0];
        EXPECT_EQ(o.err, "Errore in fase di apertura del database\n\nIl file '" + P("db.mdb") +
                             "' non è un database del censimento completo: manca la tabella 'depositi'.\n")
            << command[0];
        EXPECT_EQ(o.out, "") << command[0];
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));

    // A census of a later version of the program is refused by every command, and left as it is.
    std::filesystem::remove(dir.path() / "db.mdb");
    NewCensus(kGood);
    ASSERT_EQ(sqlite3_open(P("db.mdb").c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "PRAGMA user_version = 2", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    for (const std::vector<std::string>& command : {std::vector<std::string>{"list", P("db.mdb")},
                                                    {"company", P("db.mdb"), "12"},
                                                    {"export", P("db.mdb"), "--output", P("out.txt")},
                                                    {"compare", P("db.mdb"), P("in.txt")}}) {
        const Outcome o = Run(command);
        EXPECT_EQ(o.status, 1) << command[0];
        EXPECT_EQ(o.err, "Errore in fase di apertura del database\n\nIl file '" + P("db.mdb") +
                             "' è di una versione più recente del programma, che questa non sa leggere: "
                             "aggiornare Velumbra per aprirlo.\n")
            << command[0];
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
    // Nor repaired (compacted) or copied.
    const std::string newer = "Il file '" + P("db.mdb") +
                              "' è di una versione più recente del programma, che questa non sa leggere: "
                              "aggiornare Velumbra per aprirlo.\n";
    const std::string before = ReadFile(P("db.mdb"));
    EXPECT_EQ(Run({"repair", P("db.mdb")}).err,
              "Errore durante la riparazione del database\n\n" + P("db.mdb") + "\n\n" + newer);
    EXPECT_EQ(Run({"duplicate", P("db.mdb"), P("copia.mdb")}).err,
              "Errore durante la duplicazione del database\n\n" + P("db.mdb") + "\n" + P("copia.mdb") +
                  "\n\n" + newer);
    EXPECT_EQ(ReadFile(P("db.mdb")), before);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "copia.mdb"));
    ASSERT_EQ(sqlite3_open(P("db.mdb").c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "PRAGMA user_version", -1, &version, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), 2);
    sqlite3_finalize(version);
    // So is one with a column this version does not know, whatever its mark says.
    ASSERT_EQ(sqlite3_exec(raw, "PRAGMA user_version = 1; ALTER TABLE depositi ADD COLUMN nuovo INTEGER",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list", P("db.mdb")}, {"import", P("db.mdb"), P("in.txt"), "--yes"}}) {
        const Outcome o = Run(command);
        EXPECT_EQ(o.status, 1) << command[0];
        EXPECT_EQ(o.err, "Errore in fase di apertura del database\n\n" + newer) << command[0];
    }
}

// A census with a damaged page of structures is not read in part: list, validate, export and compare
// refuse it, and duplicate does not pass it on.
TEST_F(CliTest, ADamagedCensusIsNeitherReadInPartNorPassedOn) {
    NewDamagedCensus();
    const std::string damaged = "Il database '" + P("db.mdb") +
                                "' è danneggiato: occorre ripararlo con il comando Ripara prima di usarlo.";
    for (const std::vector<std::string>& command : {std::vector<std::string>{"list", P("db.mdb")},
                                                    {"validate", P("db.mdb")},
                                                    {"export", P("db.mdb"), "--output", P("out.txt")},
                                                    {"compare", P("db.mdb"), P("in.txt")}}) {
        const Outcome o = Run(command);
        EXPECT_EQ(o.status, 1) << command[0];
        EXPECT_EQ(o.out, "") << command[0];
        EXPECT_EQ(o.err, "Errore in fase di apertura del database\n\n" + damaged + "\n") << command[0];
    }
    const Outcome copied = Run({"duplicate", P("db.mdb"), P("copia.mdb")});
    EXPECT_EQ(copied.status, 1);
    EXPECT_EQ(copied.err, "Errore durante la duplicazione del database\n\n" + P("db.mdb") + "\n" +
                              P("copia.mdb") + "\n\n" + damaged + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "copia.mdb"));
}

// The damage is said once the file is found good, as the census is about to be read; a file refused
// first is all that is said. Nothing is replaced and no copy is kept.
TEST_F(CliTest, ADamagedCensusIsSaidAfterTheFileWasFoundGood) {
    NewDamagedCensus();
    const auto KeptCopies = [this] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename().string().find("prima-importazione") != std::string::npos) {
                names.insert(entry.path().filename().string());
            }
        }
        return names;
    };
    const auto copies = KeptCopies();  // those the census was made with
    const std::string damaged = "Il database '" + P("db.mdb") +
                                "' è danneggiato: occorre ripararlo con il comando Ripara prima di usarlo.";
    for (const std::string command : {"import", "compare"}) {
        std::vector<std::string> arguments{command, P("db.mdb"), P("in.txt")};
        if (command == "import") {
            arguments.push_back("--yes");
        }
        const Outcome o = Run(arguments);
        EXPECT_EQ(o.status, 1) << command;
        EXPECT_EQ(o.err, "Errore in fase di apertura del database\n\n" + damaged + "\n") << command;
        WriteFile(P("vuoto.txt"), "niente\r\n");
        arguments[2] = P("vuoto.txt");
        const Outcome refused = Run(arguments);
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_NE(refused.err.find("corrotto"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.err.find("danneggiato"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(KeptCopies(), copies);
}

#ifdef __linux__
// Killed at any of its renamings and removals of files (strace kills it as it makes the call), a repair
// leaves a census at the file's name, the damaged one or the rebuilt one; the next repair leaves nothing
// of the killed one behind.
TEST_F(CliTest, ARepairKilledAtAnyRenamingLeavesACensusAtItsName) {
    if (!std::filesystem::exists("/usr/bin/strace")) {
        GTEST_SKIP() << "strace is not installed";
    }
    NewDamagedCensus();
    const std::string damaged = ReadFile(P("db.mdb"));
    const auto restore = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (!entry.path().filename().string().starts_with(".trace") &&
                entry.path().filename() != ".out" && entry.path().filename() != ".err") {
                std::filesystem::remove(entry.path());
            }
        }
        WriteFile(P("db.mdb"), damaged);
    };
    const std::string calls = "link,linkat,unlink,unlinkat,rename,renameat,renameat2";
    const std::vector<std::string> tracer = Tracer(calls);
    const Outcome traced = Run({"repair", P("db.mdb")}, "C.UTF-8", std::nullopt, tracer);
    ASSERT_EQ(traced.status, 0) << traced.err;
    const std::string rebuilt = Run({"list", P("db.mdb")}).out;
    ASSERT_FALSE(rebuilt.empty());
    const std::vector<std::string> made = TracedCalls();
    ASSERT_GT(made.size(), 10u);
    std::map<std::string, int> seen;
    int killed = 0;
    for (const std::string& call : made) {
        const int when = ++seen[call];
        SCOPED_TRACE(call + " " + std::to_string(when));
        restore();
        std::vector<std::string> kill = tracer;
        kill.insert(kill.end(), {"-e", "inject=" + call + ":signal=KILL:when=" + std::to_string(when)});
        killed += Run({"repair", P("db.mdb")}, "C.UTF-8", std::nullopt, kill).status == 128 + SIGKILL ? 1 : 0;
        ASSERT_TRUE(std::filesystem::exists(dir.path() / "db.mdb"));
        if (ReadFile(P("db.mdb")) != damaged) {
            EXPECT_EQ(Run({"list", P("db.mdb")}).out, rebuilt);
        }
        EXPECT_EQ(Run({"repair", P("db.mdb")}).status, 0);
        EXPECT_EQ(Run({"list", P("db.mdb")}).out, rebuilt);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "db.mdb" || name.starts_with("db.danneggiato") || name == ".out" ||
                        name == ".err" || name.starts_with(".trace"))
                << name;
        }
    }
    EXPECT_GT(killed, 10);
}

// restore lists the copies and puts one back only with --yes. Killed at any of its renamings, removals
// and flushes of files (strace kills it as it makes the call), it leaves at the census's name the old
// census or the copy restored, whole, and no log beside a copy.
TEST_F(CliTest, ARestoreKilledAtAnyStepLeavesOneOfTheTwoCensuses) {
    if (!std::filesystem::exists("/usr/bin/strace")) {
        GTEST_SKIP() << "strace is not installed";
    }
    NewCensus(kGood);
    WriteFile(P("one.txt"), Communication({kGood[1]}));
    ASSERT_EQ(Run({"import", P("db.mdb"), P("one.txt"), "--yes"}).status, 0);
    const std::string before = Run({"list", P("db.mdb")}).out;
    const std::string listed = Run({"restore", P("db.mdb")}).out;
    EXPECT_TRUE(listed.starts_with("1\t") && listed.find("\t2\t0012 - ") == 21 &&
                listed.find("\n2\t") != std::string::npos &&
                listed.ends_with("\t0\t0012 - SOC. COOP. AUTOTRASPORTI AMIATINI\n"))
        << listed;
    const Outcome asked = Run({"restore", P("db.mdb"), "1"});
    EXPECT_EQ(asked.status, 0);
    EXPECT_NE(asked.err.find("[Annullato: nessuna modifica. Per confermare usare --yes]"), std::string::npos);
    EXPECT_EQ(Run({"restore", P("db.mdb"), "3", "--yes"}).status, 1);
    std::map<std::filesystem::path, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().filename().string().starts_with("db.")) {
            files[entry.path()] = ReadFile(entry.path());
        }
    }
    const std::vector<std::string> tracer =
        Tracer("link,linkat,unlink,unlinkat,rename,renameat,renameat2,fsync,fdatasync");
    const Outcome traced = Run({"restore", P("db.mdb"), "1", "--yes"}, "C.UTF-8", std::nullopt, tracer);
    ASSERT_EQ(traced.status, 0) << traced.err;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_FALSE(entry.path().string().ends_with(".mdb-wal")) << entry.path();
    }
    const std::string restored = Run({"list", P("db.mdb")}).out;
    ASSERT_EQ(restored, Listing(kGood));
    const std::vector<std::string> made = TracedCalls();
    ASSERT_GT(made.size(), 5u);
    std::map<std::string, int> seen;
    std::set<std::string> found;
    int killed = 0;
    for (const std::string& call : made) {
        const int when = ++seen[call];
        SCOPED_TRACE(call + " " + std::to_string(when));
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name.starts_with("db.") || name.ends_with(".txt") || name == ".out" ||
                        name == ".err" || name.starts_with(".trace"))
                << name;
            if (name.starts_with("db.")) {
                std::filesystem::remove(entry.path());
            }
        }
        for (const auto& [path, content] : files) {
            WriteFile(path, content);
        }
        std::vector<std::string> kill = tracer;
        kill.insert(kill.end(), {"-e", "inject=" + call + ":signal=KILL:when=" + std::to_string(when)});
        const Outcome o = Run({"restore", P("db.mdb"), "1", "--yes"}, "C.UTF-8", std::nullopt, kill);
        killed += o.status == 128 + SIGKILL ? 1 : 0;
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open_v2(P("db.mdb").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_step(check) == SQLITE_ROW
                      ? std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)))
                      : "",
                  "ok");
        sqlite3_finalize(check);
        sqlite3_close(raw);
        const std::string listing = Run({"list", P("db.mdb")}).out;
        EXPECT_TRUE(listing == before || listing == restored) << listing;
        found.insert(listing);
    }
    EXPECT_GT(killed, 5);
    EXPECT_EQ(found.size(), 2u);
}

// An import that meets a full disk at any point (a small memory file system, filled but for a little
// more room each time) either replaces the census or leaves it as it was, settings row included, and
// says why it failed.
// The census's folder on a 4 MiB memory file system of its own, `disk`.
class CliMemoryDiskTest : public CliTest {
  protected:
    void SetUp() override {
        if (!mounted) {
            GTEST_SKIP() << "no file system can be mounted here";
        }
    }

    const std::filesystem::path disk = dir.path() / "disco";
    const MemoryDisk mounted{disk, "size=4m"};
};

TEST_F(CliMemoryDiskTest, AnImportOnAFullDiskChangesAllOrNothing) {
    std::vector<census::Structure> before, after;
    for (int i = 0; i < 200; ++i) {
        before.push_back(kGood[static_cast<std::size_t>(i % 2)]);
        after.push_back(kGood[static_cast<std::size_t>((i + 1) % 2)]);
    }
    const std::string census = (disk / "db.mdb").string();
    NewCensus(before);
    std::filesystem::copy_file(P("db.mdb"), census);
    const auto settings = [&] {
        sqlite3* raw = nullptr;
        std::string row;
        if (sqlite3_open_v2(census.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(raw, "SELECT azienda || ' ' || id_depo FROM master WHERE codice = 0", -1,
                                   &st, nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW) {
                row = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            }
            sqlite3_finalize(st);
        }
        sqlite3_close(raw);
        return row;
    };
    const std::string listed = Run({"list", census}).out, master = settings();
    ASSERT_FALSE(master.empty());
    WriteFile(P("after.txt"), Communication(after));
    const auto size = static_cast<long long>(std::filesystem::file_size(census));
    int failed = 0, stored = 0;
    for (long long room = size; room < size + 600 * 1024 && stored == 0; room += 4 * 1024) {
        SCOPED_TRACE(room);
        struct statvfs free {};
        ASSERT_EQ(statvfs(disk.c_str(), &free), 0);
        const long long filler = static_cast<long long>(free.f_bavail * free.f_frsize) - room;
        WriteFile(disk / "pieno", std::string(static_cast<std::size_t>(std::max(filler, 0LL)), 'x'));
        const Outcome o = Run({"import", census, P("after.txt"), "--yes"});
        std::filesystem::remove(disk / "pieno");
        if (o.status == 0) {
            ++stored;
            continue;
        }
        ++failed;
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(Run({"list", census}).out, listed);
        EXPECT_EQ(settings(), master);
        EXPECT_EQ(o.err.find("non esiste"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find("Il disco è pieno"), std::string::npos) << o.err;
    }
    EXPECT_GT(failed, 5);
    EXPECT_EQ(stored, 1);
}

// A census on a medium nobody can write to is listed, checked, exported, compared and copied; what would
// change it is refused with the cause, naming the census.
TEST_F(CliMemoryDiskTest, ACensusThatCanOnlyBeReadIsReadWhole) {
    NewCensus(kGood);
    const std::string census = (disk / "db.mdb").string();
    std::filesystem::copy_file(P("db.mdb"), census);
    ASSERT_TRUE(mounted.MakeReadOnly());
    const std::string bytes = ReadFile(census);

    EXPECT_EQ(Run({"list", census}).out, Listing(kGood));
    EXPECT_EQ(Run({"validate", census}).status, 0);
    EXPECT_EQ(Run({"compare", census, P("in.txt")}).status, 0);
    EXPECT_EQ(Run({"export", census, "--output", P("out.txt"), "--date", "06/12/2026"}).status, 0);
    ASSERT_EQ(Run({"export", P("db.mdb"), "--output", P("out2.txt"), "--date", "06/12/2026"}).status, 0);
    EXPECT_EQ(ReadFile(P("out.txt")), ReadFile(P("out2.txt")));
    EXPECT_EQ(Run({"duplicate", census, P("copia.mdb")}).status, 0);
    EXPECT_EQ(Run({"list", P("copia.mdb")}).out, Listing(kGood));

    const std::string refused = "Il file '" + census +
                                "' si trova in una cartella o su un supporto in cui non si può scrivere: il "
                                "censimento si può consultare, non modificare.\n";
    EXPECT_EQ(Run({"company", census, "12"}).err, "Errore in fase di apertura del database\n\n" + refused);
    EXPECT_EQ(Run({"import", census, P("in.txt"), "--yes"}).err,
              "Errore in fase di apertura del database\n\n" + refused);
    EXPECT_EQ(Run({"repair", census}).err,
              "Errore durante la riparazione del database\n\n" + census + "\n\n" + refused);
    EXPECT_EQ(ReadFile(census), bytes);
}
#endif

}  // namespace
