// The SQLite layer: what its users rely on beyond the engine itself.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "SqlConnection.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

using namespace kt64::sql;

class SqlConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Connection db = Connection::open(file_, Connection::Mode::Create, 0);
        db.execute("CREATE TABLE t(v)");
    }
    TempDir folder_;
    std::filesystem::path dir_ = folder_.path();
    std::filesystem::path file_ = dir_ / "t.db";
};

TEST_F(SqlConnectionTest, FailuresCarryTheExtendedCodeTheEngineTextAndTheFile) {
    Connection reader = Connection::open(file_, Connection::Mode::ReadOnly, 0);
    try {
        reader.execute("INSERT INTO t VALUES(1)");
        FAIL() << "a read-only connection wrote";
    } catch (const SqlError& e) {
        EXPECT_EQ(e.code(), SQLITE_READONLY);
        EXPECT_STREQ(e.what(), "attempt to write a readonly database");
        EXPECT_EQ(std::filesystem::path(e.file()), std::filesystem::canonical(file_));
    }
    try {
        (void)Connection::open(dir_ / "missing.db", Connection::Mode::ReadWrite, 0);
        FAIL() << "a missing file opened";
    } catch (const SqlError& e) {
        EXPECT_EQ(e.code() & 0xFF, SQLITE_CANTOPEN);
        EXPECT_EQ(e.systemErrno(), ENOENT);
    }
    Connection db = Connection::open(file_, Connection::Mode::ReadWrite, 0);
    EXPECT_THROW(Statement(db, "   "), SqlError);  // no statement at all
}

TEST_F(SqlConnectionTest, EmptyTextIsTextAndAnUncommittedTransactionIsRolledBack) {
    Connection db = Connection::open(file_, Connection::Mode::ReadWrite, 0);
    Statement insert(db, "INSERT INTO t VALUES(?1)");
    insert.bind(1, std::string_view()).run();
    Statement kind(db, "SELECT typeof(v) FROM t");
    ASSERT_TRUE(kind.step());
    EXPECT_EQ(kind.text(0), "text");
    {
        WriteTransaction tx(db);
        insert.reset();
        insert.bind(1, std::int64_t{7}).run();
    }
    Statement count(db, "SELECT count(*) FROM t");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.integer(0), 1);
    // The write lock is taken at BEGIN: a second writer waits, then fails.
    Connection other = Connection::open(file_, Connection::Mode::ReadWrite, 0);
    WriteTransaction first(db);
    try {
        WriteTransaction second(other);
        FAIL() << "two write transactions at once";
    } catch (const SqlError& e) {
        EXPECT_EQ(e.code() & 0xFF, SQLITE_BUSY);
    }
}

}  // namespace
}  // namespace kt64::test
