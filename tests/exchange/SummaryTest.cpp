#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>

#include "exchange/Summary.h"
#include "support/Census.h"

namespace {

using census::Columns;
using census::kCountCount;
using census::kFlagCount;

// A census of structures whose activities, surfaces, titles and counts are drawn at random.
std::vector<census::Structure> RandomCensus(unsigned seed, int structures) {
    std::mt19937 random(seed);
    const auto draw = [&random](int highest) {
        return std::uniform_int_distribution<int>(0, highest)(random);
    };
    const char* const titles[] = {"A", "B", "C", " "};
    std::vector<census::Structure> census;
    for (int i = 0; i < structures; ++i) {
        census::Structure s = testing_support::Census::ValidRecord(i);
        for (bool& flag : s.flags) {
            flag = draw(2) == 0;
        }
        s.scoSup = draw(90000);
        s.copSup = draw(20000);
        s.scoTit = titles[draw(3)];
        s.copTit = titles[draw(3)];
        for (int& count : s.counts) {
            count = draw(4) == 0 ? draw(300) : 0;
        }
        census.push_back(s);
    }
    return census;
}

// The census's own sums, asked of SQLite on a connection of their own.
class SqlSums {
  public:
    explicit SqlSums(const std::string& path) { EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK); }
    ~SqlSums() { sqlite3_close(db_); }
    SqlSums(const SqlSums&) = delete;
    SqlSums& operator=(const SqlSums&) = delete;

    std::int64_t Value(const std::string& query) {
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, query.c_str(), -1, &statement, nullptr), SQLITE_OK) << query;
        EXPECT_EQ(sqlite3_step(statement), SQLITE_ROW) << query;
        const std::int64_t value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return value;
    }
    // The sum of a column over the structures whose title column holds `title` (or, for none, any other).
    std::int64_t SumByTitle(const std::string& column, const std::string& titleColumn, std::size_t kind) {
        const std::string title =
            kind == exchange::kNoTitle ? "" : std::string(1, static_cast<char>('A' + kind));
        const std::string where = kind == exchange::kNoTitle
                                      ? "coalesce(trim(" + titleColumn + "), '') NOT IN ('A', 'B', 'C')"
                                      : titleColumn + " = '" + title + "'";
        return Value("SELECT coalesce(sum(" + column + "), 0) FROM depositi WHERE " + where);
    }

  private:
    sqlite3* db_ = nullptr;
};

TEST(SummaryTest, EveryFigureIsTheCensusOwnSum) {
    testing_support::Census census;
    census.Store(RandomCensus(2026, 150));
    exchange::CensusSummary summary;
    ASSERT_TRUE(exchange::SummariseCensus(*census.session.Connection(), summary));

    SqlSums sql(census.path);
    EXPECT_EQ(summary.structures, sql.Value("SELECT count(*) FROM depositi"));
    EXPECT_EQ(summary.structures, 150);
    for (std::size_t i = 0; i < kFlagCount; ++i) {
        const std::string& column = Columns()[census::kFirstFlag + i].name;
        EXPECT_EQ(summary.byActivity[i], sql.Value("SELECT count(*) FROM depositi WHERE " + column + " <> 0"))
            << column;
    }
    // The surfaces: the uncovered ones after the activities, then the covered ones.
    const auto& area = [](std::size_t offset) {
        return Columns()[census::kFirstFlag + kFlagCount + offset].name;
    };
    std::int64_t uncovered = 0;
    for (std::size_t kind = 0; kind < exchange::kTitleKinds; ++kind) {
        EXPECT_EQ(summary.uncovered[kind], sql.SumByTitle(area(1), area(2), kind)) << kind;
        EXPECT_EQ(summary.covered[kind], sql.SumByTitle(area(4), area(5), kind)) << kind;
        uncovered += summary.uncovered[kind];
    }
    EXPECT_EQ(uncovered, sql.Value("SELECT sum(" + area(1) + ") FROM depositi"));
    std::int64_t inService = 0;
    for (std::size_t i = 0; i < kCountCount; ++i) {
        const std::string& column = Columns()[census::kFirstCount + i].name;
        EXPECT_EQ(summary.buses[i], sql.Value("SELECT sum(" + column + ") FROM depositi")) << column;
        inService += i % 2 == 0 ? summary.buses[i] : 0;
    }
    EXPECT_EQ(summary.AllBuses(false), inService);

    // The bus tables' last row and column are the totals.
    const auto tables = exchange::SummaryTables(summary);
    EXPECT_EQ(tables[3].rows.back().back(), std::to_string(summary.AllBuses(true)));
    EXPECT_EQ(tables[2].rows[1].back(), std::to_string(summary.ServiceBuses(1, false)));
}

}  // namespace
