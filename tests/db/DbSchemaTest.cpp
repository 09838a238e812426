#include "db/DbSchema.h"
#include "db/Sqlite3DB.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DbSchemaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        db.openThrow(dir.filePath(QStringLiteral("s.db")), Sqlite3DB::ReadWriteCreate);
        db.executeThrow("CREATE TABLE Foo(Bar VARCHAR, n INT)");
        db.executeThrow("CREATE INDEX Foo_Bar_Idx ON Foo(Bar)");
    }

    QTemporaryDir dir;
    Sqlite3DB db;
};

} // namespace

TEST_F(DbSchemaTest, LookupsIgnoreCase)
{
    const DbSchema schema = DbSchema::read(db);
    EXPECT_TRUE(schema.hasTable(QStringLiteral("foo")));
    EXPECT_TRUE(schema.hasTable(QStringLiteral("FOO")));
    EXPECT_FALSE(schema.hasTable(QStringLiteral("bar")));
    const DbSchemaTable foo = schema.table(QStringLiteral("fOo"));
    EXPECT_EQ(foo.name, QStringLiteral("Foo"));
    EXPECT_TRUE(foo.sql.startsWith(QStringLiteral("CREATE TABLE Foo")));
    EXPECT_TRUE(DbSchema::hasColumn(foo, QStringLiteral("BAR")));
    EXPECT_EQ(DbSchema::column(foo, QStringLiteral("bar")).type, QStringLiteral("VARCHAR"));
    EXPECT_FALSE(DbSchema::hasColumn(foo, QStringLiteral("baz")));
    EXPECT_TRUE(DbSchema::column(foo, QStringLiteral("baz")).name.isEmpty());
    EXPECT_TRUE(schema.hasIndex(QStringLiteral("foo_bar_idx")));
    EXPECT_TRUE(schema.indexSql(QStringLiteral("FOO_BAR_IDX")).contains(QStringLiteral("ON Foo")));
    EXPECT_TRUE(schema.tableSql(QStringLiteral("missing")).isEmpty());
    EXPECT_TRUE(schema.table(QStringLiteral("missing")).columns.isEmpty());
}

TEST_F(DbSchemaTest, AddColumnAddsOnlyWhatIsMissing)
{
    DbSchema schema = DbSchema::read(db);
    addColumn(schema, db, QStringLiteral("Foo"), QStringLiteral("is_big_emoji"), QStringLiteral("BOOLEAN"));
    schema = DbSchema::read(db);
    EXPECT_EQ(DbSchema::column(schema.table(QStringLiteral("foo")), QStringLiteral("is_big_emoji")).type,
              QStringLiteral("BOOLEAN"));

    // An existing column, in any case, runs nothing: a real ALTER would fail
    // with "duplicate column name".
    EXPECT_NO_THROW(
        addColumn(schema, db, QStringLiteral("foo"), QStringLiteral("BAR"), QStringLiteral("VARCHAR")));

    // The schema is a snapshot: a column added behind its back is attempted
    // and SQLite's refusal comes back in the error text.
    db.executeThrow("ALTER TABLE Foo ADD COLUMN late INT");
    try {
        addColumn(schema, db, QStringLiteral("Foo"), QStringLiteral("late"), QStringLiteral("INT"));
        FAIL() << "expected an error";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()),
                  "error:duplicate column name: late, ALTER TABLE Foo ADD COLUMN late INT");
    }
}

TEST_F(DbSchemaTest, AddColumnToMissingTableFails)
{
    const DbSchema schema = DbSchema::read(db);
    try {
        addColumn(schema, db, QStringLiteral("nothere"), QStringLiteral("x"), QStringLiteral("INT"));
        FAIL() << "expected an error";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "error:no table, ALTER TABLE nothere ADD COLUMN x INT");
    }
}
