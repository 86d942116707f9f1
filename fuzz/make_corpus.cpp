// Writes the seed corpus of the import fuzzer: a few well-formed communication files and some that
// miss by one rule. The checksums are computed here, independently of the exchange code, so that the
// seeds also check the reader against a second reading of the format.
//
// The name of each file says what the reader must answer for company 12: valid_*, corrupt_* or
// other_*. The regression test in tests/exchange_regressions relies on it.
//
// Usage: import_fuzz_corpus OUTPUT_FOLDER

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kCompany = 12;

// Sum of the bytes as signed 8-bit values, TAB and line feed left out.
std::int32_t LineSum(const std::string& line) {
    std::int32_t sum = 0;
    for (const char c : line) {
        if (c != '\t' && c != '\n') {
            sum += static_cast<signed char>(c);
        }
    }
    return sum;
}

struct Record {
    std::string ubicaz = "Via Roma 1";
    std::string local = "Deposito centrale";
    std::string comune = "58091";
    std::string provin = "RM";
    std::string flags[7] = {"1", "0", "1", "0", "0", "0", "0"};
    std::string scoPro = "Comune";
    std::string scoSup = "12000";
    std::string scoTit = "P";
    std::string copPro = "Azienda";
    std::string copSup = "3500";
    std::string copTit = "A";
    std::string counts[36];

    Record() {
        for (int i = 0; i < 36; ++i) {
            counts[i] = std::to_string(i % 5);
        }
    }

    std::vector<std::string> Fields() const {
        std::vector<std::string> f = {ubicaz, local, comune, provin};
        f.insert(f.end(), std::begin(flags), std::end(flags));
        f.insert(f.end(), {scoPro, scoSup, scoTit, copPro, copSup, copTit});
        f.insert(f.end(), std::begin(counts), std::end(counts));
        return f;
    }

    std::string Line() const {
        std::string line;
        for (const std::string& field : Fields()) {
            line += field;
            line += '\t';
        }
        line.pop_back();  // no TAB after the last field
        return line;
    }
};

struct File {
    std::string announced;  // the number after the opening tag
    std::string companyLine = "<Azienda=" + std::to_string(kCompany) + ">";
    std::string dateLine = "<Data=15/03/2024>";
    std::vector<std::string> records;
    std::int32_t checksumAdjust = 0;  // added to the right checksum, to spoil it
    bool closing = true;
    std::string eol = "\r\n";
    bool finalEol = true;

    std::string Text() const {
        std::int64_t checksum = 0;
        const auto add = [&](const std::string& line) { checksum = (checksum + LineSum(line)) % 1000000000; };
        add(companyLine);
        add(dateLine);
        std::string out = "<ComunicazioneVelumbra>" + announced + eol + companyLine + eol + dateLine + eol;
        for (const std::string& r : records) {
            add(r);
            out += r + eol;
        }
        if (closing) {
            out += "</ComunicazioneVelumbra>" + std::to_string(checksum + checksumAdjust);
            if (finalEol) {
                out += eol;
            }
        }
        return out;
    }
};

File WithRecords(std::vector<std::string> records) {
    File f;
    f.announced = std::to_string(records.size());
    f.records = std::move(records);
    return f;
}

std::vector<std::string> ThreeRecords() {
    Record a;
    Record b;
    b.ubicaz = "Piazza Garibaldi 7";
    b.local = "Autostazione";
    b.comune = "1";
    b.provin = "VT";
    b.flags[0] = "0";
    b.flags[3] = "1";
    b.scoTit = "";
    b.copSup = "0";
    Record c;
    c.ubicaz = "Localit\xE0 Le Fornaci";  // Windows-1252: the bytes above 0x7F count as negative
    c.local = "Officina \x80 manutenzione";
    c.comune = "-3";
    c.provin = "FR";
    c.flags[2] = "1";
    c.flags[6] = "1";
    c.scoSup = "2147483647";
    c.copSup = "-2147483648";
    c.counts[35] = "32767";
    return {a.Line(), b.Line(), c.Line()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream out(folder / name, std::ios::binary);
        out << content;
    };

    write("valid_empty_census", WithRecords({}).Text());
    write("valid_three_records", WithRecords(ThreeRecords()).Text());
    {
        File f = WithRecords(ThreeRecords());
        f.eol = "\n";
        write("valid_three_records_lf", f.Text());
    }
    {
        File f = WithRecords(ThreeRecords());
        f.finalEol = false;
        write("valid_no_final_line_end", f.Text());
    }
    {
        // Texts at their longest, empty texts and titles, numbers with blanks and signs around them.
        Record r;
        r.ubicaz = std::string(63, 'U');
        r.local = std::string(63, '\xE8');
        r.provin = std::string(15, 'P');
        r.scoPro = "";
        r.copPro = std::string(63, ' ');
        r.scoTit = "";
        r.copTit = "xyz";
        r.comune = "  +42abc";
        r.scoSup = "99999999999";
        r.counts[0] = "";
        r.counts[1] = "-0";
        r.flags[1] = "10";
        r.flags[4] = "";
        write("valid_edge_fields", WithRecords({r.Line(), Record().Line()}).Text());
    }
    {
        // The checksum drops below zero when the high bytes win.
        Record r;
        r.ubicaz = std::string(63, '\x80');
        r.local = std::string(63, '\x80');
        r.scoPro = std::string(63, '\x80');
        r.copPro = std::string(63, '\xFF');
        write("valid_negative_checksum", WithRecords({r.Line()}).Text());
    }
    {
        File f = WithRecords({});
        f.announced = " 0 records";
        write("valid_count_with_text_after", f.Text());
    }

    {
        File f = WithRecords(ThreeRecords());
        f.checksumAdjust = 1;
        write("corrupt_checksum_off_by_one", f.Text());
    }
    {
        File f = WithRecords(ThreeRecords());
        f.announced = "4";
        write("corrupt_count_too_high", f.Text());
    }
    {
        File f = WithRecords(ThreeRecords());
        f.announced = "2";  // the third record is read where the closing tag should be
        write("corrupt_count_too_low", f.Text());
    }
    {
        File f = WithRecords({});
        f.dateLine = "<Data=15/03/24>";
        write("corrupt_short_date", f.Text());
    }
    {
        File f = WithRecords({});
        f.companyLine = "<Azienda=12";
        write("corrupt_company_line_unclosed", f.Text());
    }
    {
        File f = WithRecords(ThreeRecords());
        f.closing = false;
        write("corrupt_no_closing_tag", f.Text());
    }
    {
        std::string line = Record().Line();
        line.erase(line.rfind('\t'));
        write("corrupt_52_fields", WithRecords({line}).Text());
    }
    {
        write("corrupt_54_fields", WithRecords({Record().Line() + "\t0"}).Text());
    }
    {
        Record r;
        r.local = std::string(64, 'L');
        write("corrupt_text_too_long", WithRecords({r.Line()}).Text());
    }
    {
        Record r;
        r.provin = std::string(16, 'P');
        write("corrupt_province_too_long", WithRecords({r.Line()}).Text());
    }
    {
        Record r;
        r.counts[7] = std::string(1024, '7');
        write("corrupt_field_too_long", WithRecords({r.Line()}).Text());
    }
    {
        std::string text = WithRecords({}).Text();
        text.replace(0, 15, "<Comunicazione>");
        write("corrupt_opening_tag", text);
    }
    write("corrupt_empty_file", "");
    {
        File f = WithRecords(ThreeRecords());
        f.companyLine = "<Azienda=34>";
        write("other_company_34", f.Text());
    }
    return 0;
}
