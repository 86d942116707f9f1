// The exchange commands on the largest census (32 767 structures), each next to the sqlite3 shell
// doing the same input and output on a copy of the same database:
//   import      ImportCommunication (read, check, replace the census)  vs  BEGIN; DELETE; .import TSV; COMMIT
//   export      ExportCommunication (validation, file)                 vs  .once file + SELECT of the 53
//   columns validation  ValidateCensus                                         vs  .once file + SELECT of the
//   18 checked
//                                                                          columns (and of the 53, for
//                                                                          reference)
// The census is built once per run: a new database, company 12, a communication file written from
// generated records and imported through the command itself. At the end the ratios ours/shell are
// printed (medians when the benchmarks are repeated).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/DbSelect.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/StructureRecord.h"
#include "exchange/TextFile.h"
#include "exchange/Validation.h"
#include "register/Company.h"
#include "schema/Creation.h"
#include "schema/Session.h"
#include "text/Text.h"
#include "ui/ScriptedPort.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStructures = 32767;  // IDs 0 .. 32766, the most an Integer key holds
constexpr int kCompany = 12;
constexpr const char* kShellPragmas = "-cmd 'PRAGMA journal_mode=WAL' -cmd 'PRAGMA synchronous=NORMAL'";
const exchange::LocalDateTime kNow{15, 3, 2026, 10, 30};

// ---------------------------------------------------------------------------------------------------
// Generated contents: every validation rule passes, texts are Windows-1252 with accented letters.

const char* const kStreetKinds[] = {"Via",         "Viale",  "Piazza", "Largo", "Strada Provinciale",
                                    "Localit\xE0", "Via di", "Borgo"};
const char* const kStreetNames[] = {
    "Garibaldi",       "Cavour",       "della Libert\xE0",  "Roma",
    "dei Mille",       "XX Settembre", "Fratelli Rosselli", "San Jacopo",
    "delle Industrie", "Aurelia",      "del Porto",         "Pisana",
    "Fiorentina",      "Senese",       "dell'Artigianato",  "Nicol\xF2 Machiavelli",
    "Carducci",        "Leopardi",     "Sant'Andrea",       "del Ciliegio",
    "Bonistallo",      "Pratese",      "Lucchese",          "Mazzini"};
const char* const kPlaces[] = {"Capoluogo",   "Zona Industriale", "Le Fornaci",  "Santa Croce",   "Pont\xE0",
                               "San Martino", "La Rotta",         "Stazione FS", "Ponte a Egola", "Il Piano",
                               "Caldine",     "Querceto",         "Badia",       "Perignano",     "Ceccano"};
const char* const kProvinces[] = {"AR", "FI", "PT", "PO", "LU", "MS", "PI", "LI", "GR", "SI"};
const char* const kOwners[] = {"Comune di Pontedera",    "Propriet\xE0 aziendale",
                               "Provincia di Arezzo",    "Immobiliare Trasporti S.r.l.",
                               "Demanio dello Stato",    "Ferrovie Regionali S.p.A.",
                               "Consorzio Autostazioni", "Privato in locazione",
                               "Regione Orvania",        "Comune di San Miniato"};

std::string ClipTo(std::string s, std::size_t size) {
    if (s.size() > size) {
        s.resize(size);
    }
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

std::vector<exchange::CStructureRecord> GenerateRecords() {
    std::mt19937 random(20260315);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto choose = [&](const auto& list) {
        return std::string(list[pick(static_cast<int>(std::size(list)))]);
    };
    std::vector<exchange::CStructureRecord> records;
    records.reserve(kStructures);
    for (int i = 0; i < kStructures; ++i) {
        exchange::CStructureRecord r;
        // Built by appending: GCC 12 warns falsely (-Wrestrict) on " " + std::string&&.
        std::string ubicaz = choose(kStreetKinds);
        ubicaz += ' ';
        ubicaz += choose(kStreetNames);
        ubicaz += ' ';
        ubicaz += text::FormatInt(1 + pick(240));
        r.ubicaz = ClipTo(ubicaz, 40);
        std::string local = choose(kPlaces);
        if (pick(3) == 0) {
            local += ' ';
            local += text::FormatInt(1 + pick(30));
        }
        r.local = ClipTo(local, 30);
        r.comune = 1 + pick(300);
        r.provin = choose(kProvinces);
        bool any = false;
        for (bool& flag : r.flags) {
            flag = pick(3) == 0;
            any = any || flag;
        }
        if (!any) {
            r.flags[static_cast<std::size_t>(pick(exchange::kFlagCount))] = true;
        }
        const auto area = [&](std::string& owner, std::int64_t& surface, std::string& title) {
            if (pick(4) == 0) {  // absent: no owner, no surface, a blank title
                owner.clear();
                surface = 0;
                title.assign(1, ' ');
                return;
            }
            owner = ClipTo(choose(kOwners), 40);
            surface = 50 + pick(120000);
            title = std::string(1, "ABC"[pick(3)]);
        };
        area(r.scoPro, r.scoSup, r.scoTit);
        area(r.copPro, r.copSup, r.copTit);
        // Buses: a depot has many, a ticket office none; most classes are empty.
        const int scale = r.flags[0] ? 40 : (r.flags[2] ? 12 : 3);
        for (int& count : r.counts) {
            count = pick(3) == 0 ? pick(scale + 1) : 0;
        }
        records.push_back(std::move(r));
    }
    return records;
}

// ---------------------------------------------------------------------------------------------------
// The census, built once per run.

std::string Quoted(const fs::path& p) {
    std::string quoted = "'";  // built by appending: GCC 12 warns falsely (-Wrestrict) on "'" + std::string&&
    quoted += p.string();
    quoted += '\'';
    return quoted;
}

bool RunShell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string content;
    for (const std::string& line : lines) {
        content += line;
        content += "\r\n";
    }
    return content;
}

std::string ChecksColumns() {
    return "ID, ubicaz, local, comune, provin, deposito, rifornim, manutenz, autostaz, capoattr, agenzia, "
           "direzle, "
           "sco_pro, sco_sup, sco_tit, cop_pro, cop_sup, cop_tit";
}

class Census {
  public:
    static Census& Get() {
        static Census census;
        return census;
    }

    const std::string& error() const { return error_; }
    ui::ScriptedPort& port() { return port_; }
    schema::Session& session() { return *session_; }
    const fs::path& folder() const { return folder_; }
    fs::path communication() const { return folder_ / "ComunicazioneVelumbra_12.txt"; }
    fs::path exported() const { return folder_ / "VariazioniVelumbra_12.txt"; }
    fs::path report() const { return folder_ / "ERRORI_VELUMBRA.txt"; }
    fs::path shellImportDatabase() const { return folder_ / "shell-import.mdb"; }
    fs::path shellReadDatabase() const { return folder_ / "shell-read.mdb"; }
    fs::path rowsTsv() const { return folder_ / "depositi.tsv"; }
    fs::path importScript() const { return folder_ / "import.sql"; }
    const std::string& expectedRecordLines() const { return expectedRecordLines_; }

    // The record lines of a communication file: everything between the date line and the closing tag.
    static std::string RecordLines(const std::string& content) {
        std::size_t begin = 0;
        for (int line = 0; line < 3 && begin != std::string::npos; ++line) {
            begin = content.find('\n', begin);
            begin = begin == std::string::npos ? begin : begin + 1;
        }
        const std::size_t end = content.rfind("</");
        if (begin == std::string::npos || end == std::string::npos || end < begin) {
            return {};
        }
        return content.substr(begin, end - begin);
    }

  private:
    Census() {
        try {
            Build();
        } catch (const std::exception& e) {
            error_ = e.what();
        }
    }

    void Fail(const std::string& what) { throw std::runtime_error(what); }

    void Build() {
        folder_ = fs::temp_directory_path() / "velumbra-exchange-bench";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        const fs::path database = folder_ / "census.mdb";
        {
            ui::ScriptedPort creationPort;
            if (!schema::CreateCensusDatabase(creationPort, database.string(), "")) {
                Fail("the census database could not be created");
            }
        }
        session_ = std::make_unique<schema::Session>(port_);
        session_->SetPath(database.string());
        if (!session_->OpenAssociatedDatabase()) {
            Fail("the census database could not be opened");
        }
        port_.AnswerNextDialog(text::FormatIntZeroPadded(kCompany, 4));
        if (!reg::SelectCompany(*session_)) {
            Fail("company 12 could not be chosen");
        }

        exchange::CStructureRecordList list{kCompany, "15/03/2026", GenerateRecords()};
        const std::string content = JoinLines(exchange::CommunicationLines(list, "ComunicazioneVelumbra"));
        WriteFile(communication(), content);
        expectedRecordLines_ = RecordLines(content);

        port_.Clear();
        port_.AnswerNextFileDialog(communication().string());
        if (!exchange::ImportCommunication(*session_)) {
            Fail("the communication file could not be imported");
        }
        // The exported records must be the imported ones, byte for byte.
        port_.Clear();
        port_.AnswerNextDialog("15/03/2026");
        port_.AnswerNextFileDialog(exported().string());
        if (!exchange::ExportCommunication(*session_, kNow) ||
            RecordLines(ReadFile(exported())) != expectedRecordLines_) {
            Fail("the exported census differs from the imported one");
        }

        // The shell's copies: the database as it is now, and the rows as the shell itself reads them.
        session_->CloseConnection();
        fs::copy_file(database, shellReadDatabase());
        fs::copy_file(database, shellImportDatabase());
        if (!RunShell("sqlite3 " + Quoted(database) +
                      " -cmd '.mode tabs' 'SELECT * FROM depositi ORDER BY ID' > " + Quoted(rowsTsv()))) {
            Fail("the sqlite3 shell is not installed or failed");
        }
        WriteFile(importScript(), ".mode tabs\nBEGIN;\nDELETE FROM depositi;\n.import " + Quoted(rowsTsv()) +
                                      " depositi\nCOMMIT;\n");
        if (!session_->OpenAssociatedDatabase()) {
            Fail("the census database could not be reopened");
        }
    }

    fs::path folder_;
    ui::ScriptedPort port_;
    std::unique_ptr<schema::Session> session_;
    std::string expectedRecordLines_;
    std::string error_;
};

Census* CensusOrSkip(benchmark::State& state) {
    Census& census = Census::Get();
    if (!census.error().empty()) {
        state.SkipWithError(census.error().c_str());
        return nullptr;
    }
    return &census;
}

double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The shell's own processor time (user and system) is reported as the counter shell_cpu_ms, since the
// CPU column only counts this process.
void RunShellTimed(benchmark::State& state, const std::string& command) {
    const double before = ChildrenCpuMs();
    for (auto _ : state) {
        if (!RunShell(command)) {
            state.SkipWithError("the sqlite3 shell failed");
            return;
        }
    }
    state.counters["shell_cpu_ms"] =
        benchmark::Counter(ChildrenCpuMs() - before, benchmark::Counter::kAvgIterations);
}

// ---------------------------------------------------------------------------------------------------
// Import

void BM_Import(benchmark::State& state) {
    Census* census = CensusOrSkip(state);
    if (!census) {
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        census->port().Clear();
        census->port().AnswerNextFileDialog(census->communication().string());
        state.ResumeTiming();
        if (!exchange::ImportCommunication(census->session())) {
            state.SkipWithError("the import failed");
            return;
        }
    }
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_ShellImport(benchmark::State& state) {
    Census* census = CensusOrSkip(state);
    if (!census) {
        return;
    }
    RunShellTimed(state, std::string("sqlite3 ") + kShellPragmas + " " +
                             Quoted(census->shellImportDatabase()) + " < " + Quoted(census->importScript()) +
                             " > /dev/null");
}
BENCHMARK(BM_ShellImport)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// ---------------------------------------------------------------------------------------------------
// Export

void BM_Export(benchmark::State& state) {
    Census* census = CensusOrSkip(state);
    if (!census) {
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        census->port().Clear();
        census->port().AnswerNextDialog("15/03/2026");
        census->port().AnswerNextFileDialog(census->exported().string());
        state.ResumeTiming();
        if (!exchange::ExportCommunication(census->session(), kNow)) {
            state.SkipWithError("the export failed");
            return;
        }
    }
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

std::string ShellDump(Census& census, const std::string& columns, const char* file) {
    return std::string("sqlite3 ") + kShellPragmas + " -cmd '.mode tabs' -cmd " +
           Quoted(".once " + (census.folder() / file).string()) + " " + Quoted(census.shellReadDatabase()) +
           " 'SELECT " + columns + " FROM depositi ORDER BY ID' > /dev/null";
}

void BM_ShellDumpRecordColumns(benchmark::State& state) {
    Census* census = CensusOrSkip(state);
    if (!census) {
        return;
    }
    RunShellTimed(state, ShellDump(*census, exchange::RecordColumnList(), "shell-records.tsv"));
}
BENCHMARK(BM_ShellDumpRecordColumns)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// ---------------------------------------------------------------------------------------------------
// Validation

void BM_Validate(benchmark::State& state) {
    Census* census = CensusOrSkip(state);
    if (!census) {
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        census->port().Clear();
        state.ResumeTiming();
        if (!exchange::ValidateCensus(census->session(), kNow)) {
            state.SkipWithError("the census did not pass the validation");
            return;
        }
    }
}
BENCHMARK(BM_Validate)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_ShellDumpCheckedColumns(benchmark::State& state) {
    Census* census = CensusOrSkip(state);
    if (!census) {
        return;
    }
    RunShellTimed(state, ShellDump(*census, ChecksColumns(), "shell-checked.tsv"));
}
BENCHMARK(BM_ShellDumpCheckedColumns)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// ---------------------------------------------------------------------------------------------------
// The display reporter the flags ask for, followed by the ratios of ours to the shell's.

class RatioReporter : public benchmark::BenchmarkReporter {
  public:
    explicit RatioReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (run.error_occurred) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            const auto shellCpu = run.counters.find("shell_cpu_ms");
            const double cpu =
                shellCpu != run.counters.end() ? shellCpu->second.value : run.GetAdjustedCPUTime();
            if (run.run_type == Run::RT_Iteration) {
                times_[name].push_back(run.GetAdjustedRealTime());
                cpuTimes_[name].push_back(cpu);
            } else if (run.aggregate_name ==
                       "median") {  // all there is with --benchmark_report_aggregates_only
                medianTimes_[name] = run.GetAdjustedRealTime();
                medianCpuTimes_[name] = cpu;
            }
        }
        display_->ReportRuns(reports);
    }

    void Finalize() override {
        display_->Finalize();
        struct Pair {
            const char* what;
            const char* ours;
            const char* shell;
        };
        static const Pair kPairs[] = {
            {"import", "BM_Import", "BM_ShellImport"},
            {"export", "BM_Export", "BM_ShellDumpRecordColumns"},
            {"validation", "BM_Validate", "BM_ShellDumpCheckedColumns"},
            {"validation (53 columns)", "BM_Validate", "BM_ShellDumpRecordColumns"},
        };
        bool header = false;
        for (const Pair& p : kPairs) {
            const double ours = Median(times_, medianTimes_, p.ours);
            const double shell = Median(times_, medianTimes_, p.shell);
            if (ours <= 0 || shell <= 0) {
                continue;
            }
            if (!header) {
                std::cerr << "\nours / sqlite3 shell, medians over the repetitions (ms; target: real time "
                             "ratio at most 1.30)\n"
                             "                               real time                    processor time\n";
                header = true;
            }
            const double oursCpu = Median(cpuTimes_, medianCpuTimes_, p.ours);
            const double shellCpu = Median(cpuTimes_, medianCpuTimes_, p.shell);
            char line[200];
            std::snprintf(line, sizeof line, "  %-24s %8.1f / %8.1f = %5.2f    %8.1f / %8.1f = %5.2f%s\n",
                          p.what, ours, shell, ours / shell, oursCpu, shellCpu,
                          shellCpu > 0 ? oursCpu / shellCpu : 0.0,
                          ours / shell <= 1.3 ? "" : "  above target");
            std::cerr << line;
        }
    }

  private:
    using Samples = std::map<std::string, std::vector<double>>;

    static double Median(const Samples& samples, const std::map<std::string, double>& medians,
                         const std::string& name) {
        const auto t = samples.find(name);
        if (t == samples.end() || t->second.empty()) {
            const auto m = medians.find(name);
            return m == medians.end() ? 0 : m->second;
        }
        std::vector<double> v = t->second;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }

    std::unique_ptr<benchmark::BenchmarkReporter> display_;
    Samples times_;
    Samples cpuTimes_;
    std::map<std::string, double> medianTimes_;
    std::map<std::string, double> medianCpuTimes_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
