#include "db/Sqlite3DB.h"
#include "app/AppError.h"
#include "db/Sqlite3RowCopier.h"
#include "db/SqliteError.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <limits>
#include <memory>
#include <stdexcept>

namespace {

class Sqlite3DBTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.filePath(QStringLiteral("test.db"));
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(_id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR, "
                        "n LONG, d DOUBLE, b BLOB)");
    }

    QTemporaryDir dir;
    QString path;
    Sqlite3DB db;
};

// The text of the failure `call` throws; failures are the program's one
// error type, so any other exception leaves it empty.
std::string errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &e) {
        return e.what();
    } catch (const std::exception &) {
    }
    return {};
}

} // namespace

TEST(SqliteQtVersion, IsSeven)
{
    EXPECT_EQ(sqlite_qt_version(), 7);
}

TEST_F(Sqlite3DBTest, ValuesRoundTripByType)
{
    const QByteArray blob("\x00\x01\xff zero", 8);
    const qint64 big = std::numeric_limits<qint64>::max();
    db.executeThrow(Sqlite3Sql("insert into t(name, n, d, b) values(?,?,?,?)")
                        .addTextParam(QStringLiteral("Zoë 😀"))
                        .addInt64Param(big)
                        .addDoubleParam(2.5)
                        .addBlobParam(blob));
    EXPECT_EQ(db.lastInsertId(), 1);
    Sqlite3Cursor cursor = db.queryThrow("select * from t");
    ASSERT_TRUE(cursor.moveNext());
    EXPECT_EQ(cursor.getText(QStringLiteral("name")), QStringLiteral("Zoë 😀"));
    EXPECT_EQ(cursor.getInt64(QStringLiteral("n")), big);
    EXPECT_DOUBLE_EQ(cursor.getDouble(QStringLiteral("d")), 2.5);
    EXPECT_EQ(cursor.getBlob(QStringLiteral("b")), blob);
    EXPECT_EQ(cursor.getInt(QStringLiteral("_id")), 1);
    // Column names match without regard to case.
    EXPECT_EQ(cursor.getText(QStringLiteral("NAME")), QStringLiteral("Zoë 😀"));
    EXPECT_FALSE(cursor.moveNext());
    EXPECT_FALSE(cursor.moveNext()); // stays at the end
}

TEST_F(Sqlite3DBTest, NullsAndMissingColumns)
{
    db.executeThrow(Sqlite3Sql("insert into t(name, n) values(?, ?)").addNullParam().addNullParam());
    Sqlite3Cursor cursor = db.queryThrow("select * from t");
    ASSERT_TRUE(cursor.moveNext());
    EXPECT_TRUE(cursor.isNull(QStringLiteral("name")));
    EXPECT_TRUE(cursor.getText(QStringLiteral("name")).isEmpty());
    EXPECT_EQ(cursor.getInt64(QStringLiteral("n")), 0);
    EXPECT_TRUE(cursor.getBlob(QStringLiteral("b")).isEmpty());
    EXPECT_FALSE(cursor.hasColumn(QStringLiteral("nope")));
    EXPECT_THROW(cursor.getText(QStringLiteral("nope")), std::runtime_error);
}

TEST_F(Sqlite3DBTest, ErrorsCarrySqliteText)
{
    EXPECT_NE(
        errorOf([&] { db.executeThrow("insert into missing values(1)"); }).find("no such table: missing"),
        std::string::npos);
    EXPECT_NE(errorOf([&] { db.queryThrow("selec nothing"); }).find("syntax error"), std::string::npos);
    db.executeThrow("create unique index u on t(name)");
    db.executeThrow(Sqlite3Sql("insert into t(name) values(?)").addTextParam(QStringLiteral("a")));
    EXPECT_NE(errorOf([&] {
                  db.executeThrow(
                      Sqlite3Sql("insert into t(name) values(?)").addTextParam(QStringLiteral("a")));
              }).find("UNIQUE constraint failed"),
              std::string::npos);
    // More values than placeholders is a caller's mistake, reported, not ignored.
    EXPECT_THROW(db.executeThrow(Sqlite3Sql("insert into t(name) values(?)")
                                     .addTextParam(QStringLiteral("x"))
                                     .addTextParam(QStringLiteral("y"))),
                 std::runtime_error);

    QString error;
    EXPECT_NE(db.exec(QStringLiteral("drop table nothing_here"), error), 0);
    EXPECT_TRUE(error.contains(QStringLiteral("no such table")));
    EXPECT_EQ(db.exec(QStringLiteral("create table a(x); create table b(y);"), error), 0);
    EXPECT_TRUE(error.isEmpty());
}

TEST(Sqlite3DBOpen, FailuresAreReported)
{
    QTemporaryDir dir;
    Sqlite3DB db;
    // Flag 2 needs an existing file.
    const std::string missing =
        errorOf([&] { db.openThrow(dir.filePath(QStringLiteral("none.db")), Sqlite3DB::ReadWrite); });
    EXPECT_NE(missing.find("unable to open database file"), std::string::npos) << missing;
    EXPECT_FALSE(db.isOpen());

    // A file that is not SQLite opens, and its first statement fails.
    const QString garbage = dir.filePath(QStringLiteral("garbage.db"));
    TestSupport::writeFile(garbage, QByteArray(4096, 'x'));
    db.openThrow(garbage, Sqlite3DB::ReadWrite);
    const std::string notDb = errorOf([&] { db.queryThrow("select * from sqlite_master"); });
    EXPECT_NE(notDb.find("not a database"), std::string::npos) << notDb;

    db.close();
    EXPECT_THROW(db.executeThrow("select 1"), std::runtime_error);
}

TEST_F(Sqlite3DBTest, RowInsertLeavesOutNamedColumns)
{
    Sqlite3Row row;
    row.setVal(QStringLiteral("_id"), qint64(77));
    row.setVal(QStringLiteral("name"), QStringLiteral("kept"));
    row[QStringLiteral("n")] = 5;
    row[QStringLiteral("n")] = 6; // a second set replaces, keeps the position
    EXPECT_EQ(row.columns(),
              QStringList({QStringLiteral("_id"), QStringLiteral("name"), QStringLiteral("n")}));

    const Sqlite3Sql withId = row.insertSql(QStringLiteral("t"));
    EXPECT_EQ(withId.sql(), QStringLiteral("insert into t(_id,name,n) values(?,?,?)"));
    const Sqlite3Sql fresh = row.insertSql(QStringLiteral("t"), {QStringLiteral("_id")});
    EXPECT_EQ(fresh.sql(), QStringLiteral("insert into t(name,n) values(?,?)"));
    ASSERT_EQ(fresh.params().size(), 2);

    db.executeThrow(withId);
    db.executeThrow(fresh);
    EXPECT_EQ(db.lastInsertId(), 78); // SQLite chose the id after 77
    Sqlite3Cursor cursor = db.queryThrow("select _id, name, n from t order by _id");
    ASSERT_TRUE(cursor.moveNext());
    EXPECT_EQ(cursor.getInt64(QStringLiteral("_id")), 77);
    ASSERT_TRUE(cursor.moveNext());
    const Sqlite3Row read = cursor.getRow();
    EXPECT_EQ(read.val(QStringLiteral("name")).toString(), QStringLiteral("kept"));
    EXPECT_EQ(read.val(QStringLiteral("n")).toLongLong(), 6);

    // The same columns into another table, or with other exclusions, is
    // another statement.
    EXPECT_EQ(row.insertSql(QStringLiteral("other")).sql(),
              QStringLiteral("insert into other(_id,name,n) values(?,?,?)"));
    EXPECT_EQ(row.insertSql(QStringLiteral("t"), {QStringLiteral("n")}).sql(),
              QStringLiteral("insert into t(_id,name) values(?,?)"));
    Sqlite3Row renamed;
    renamed.setVal(QStringLiteral("_id"), 1);
    renamed.setVal(QStringLiteral("name"), QStringLiteral("x"));
    renamed.setVal(QStringLiteral("d"), 2.0);
    EXPECT_EQ(renamed.insertSql(QStringLiteral("t")).sql(),
              QStringLiteral("insert into t(_id,name,d) values(?,?,?)"));

    Sqlite3Row empty;
    db.executeThrow(empty.insertSql(QStringLiteral("t")));
    EXPECT_EQ(db.lastInsertId(), 79);
}

TEST_F(Sqlite3DBTest, CachedStatementsDoNotLeakValuesIntoTheNextRun)
{
    for (int i = 0; i < 3; ++i) {
        Sqlite3Row row;
        row.setVal(QStringLiteral("name"), QStringLiteral("n%1").arg(i));
        if (i == 0)
            row.setVal(QStringLiteral("n"), 42);
        else
            row.setVal(QStringLiteral("n"), QVariant());
        db.executeThrow(row.insertSql(QStringLiteral("t")));
    }
    Sqlite3Cursor cursor = db.queryThrow("select name, n from t order by _id");
    QStringList names;
    QList<bool> nulls;
    while (cursor.moveNext()) {
        names << cursor.getText(QStringLiteral("name"));
        nulls << cursor.isNull(QStringLiteral("n"));
    }
    EXPECT_EQ(names, QStringList({QStringLiteral("n0"), QStringLiteral("n1"), QStringLiteral("n2")}));
    EXPECT_EQ(nulls, QList<bool>({false, true, true}));
}

TEST_F(Sqlite3DBTest, NestedQueriesOfTheSameTextEachGetTheirOwnStatement)
{
    for (int i = 1; i <= 3; ++i)
        db.executeThrow(Sqlite3Sql("insert into t(n) values(?)").addIntParam(i));
    int pairs = 0;
    Sqlite3Cursor outer = db.queryThrow("select n from t");
    while (outer.moveNext()) {
        Sqlite3Cursor inner = db.queryThrow("select n from t");
        while (inner.moveNext())
            ++pairs;
    }
    EXPECT_EQ(pairs, 9);
}

TEST_F(Sqlite3DBTest, CursorOutlivingItsConnectionIsSafe)
{
    db.executeThrow("insert into t(n) values(1)");
    Sqlite3Cursor cursor = db.queryThrow("select n from t");
    ASSERT_TRUE(cursor.moveNext());
    db.close();
    // Destroying the cursor after the close must neither crash nor leak.
}

TEST_F(Sqlite3DBTest, TransactionsCommitAndRollBack)
{
    db.beginTran();
    EXPECT_TRUE(db.inTransaction());
    db.executeThrow("insert into t(n) values(1)");
    db.commitTran();
    {
        Sqlite3Transaction tran(db);
        db.executeThrow("insert into t(n) values(2)");
        // Leaving without commit drops the insert.
    }
    EXPECT_FALSE(db.inTransaction());
    Sqlite3Cursor count = db.queryThrow("select count(*) as c from t");
    ASSERT_TRUE(count.moveNext());
    EXPECT_EQ(count.getInt(QStringLiteral("c")), 1);
    db.rollbackTran(); // nothing open: harmless

    // Work not committed when the connection closes is gone too.
    db.beginTran();
    db.executeThrow("insert into t(n) values(3)");
    db.close();
    Sqlite3DB again;
    again.openThrow(path, Sqlite3DB::ReadWrite);
    Sqlite3Cursor after = again.queryThrow("select count(*) as c from t");
    ASSERT_TRUE(after.moveNext());
    EXPECT_EQ(after.getInt(QStringLiteral("c")), 1);
}

TEST_F(Sqlite3DBTest, TableColumnsInTableOrder)
{
    db.executeThrow("create table \"we\"\"ird\"(a INTEGER NOT NULL, b VARCHAR DEFAULT 'x', "
                    "c BLOB, PRIMARY KEY(a))");
    const QList<_SqliteCol> cols = db.tbCols(QStringLiteral("we\"ird"));
    ASSERT_EQ(cols.size(), 3);
    EXPECT_EQ(cols[0].name, QStringLiteral("a"));
    EXPECT_EQ(cols[0].type, QStringLiteral("INTEGER"));
    EXPECT_TRUE(cols[0].notNull);
    EXPECT_TRUE(cols[0].primaryKey);
    EXPECT_TRUE(cols[1].hasDefault);
    EXPECT_FALSE(cols[2].hasDefault);
    EXPECT_TRUE(db.tbCols(QStringLiteral("absent")).isEmpty());
}

TEST(SqliteError, GivesTheConnectionsMessageElseTheCodes)
{
    EXPECT_EQ(sqliteErrorText(nullptr, SQLITE_CANTOPEN), QStringLiteral("unable to open database file"));
    EXPECT_EQ(sqliteErrorText(nullptr, SQLITE_CORRUPT), QStringLiteral("database disk image is malformed"));
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(raw, sqlite3_close_v2);
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v2(raw, "select * from nowhere", -1, &stmt, nullptr);
    EXPECT_EQ(rc, SQLITE_ERROR);
    EXPECT_EQ(stmt, nullptr);
    EXPECT_EQ(sqliteErrorText(raw, rc), QStringLiteral("no such table: nowhere"));
}

TEST_F(Sqlite3DBTest, RowCopierCopiesInAndOutOfTurnKeepingValueTypes)
{
    db.executeThrow("insert into t(_id,name,n,d,b) values(1,'one',11,1.5,x'00ff'),(2,NULL,22,NULL,NULL),"
                    "(3,'three',NULL,3.25,x'')");
    db.executeThrow("create table copy(name, n, d, b)");
    {
        Sqlite3RowCopier copier(db, QStringLiteral("select _id,name,n,d,b from t order by _id"),
                                QStringLiteral("insert into copy values(?,?,?,?)"),
                                QStringLiteral("insert into copy select name,n,d,b from t where _id=?"),
                                QStringLiteral("copy failed: %1"), QStringLiteral("read failed: %1"));
        copier.copy(1); // the row the cursor stands on
        copier.copy(3); // out of turn: copied by its key
        copier.copy(2); // back in turn; row 3 is then passed over
        copier.finish();
    }
    Sqlite3Cursor c = db.queryThrow("select rowid, typeof(name), typeof(n), typeof(d), typeof(b), name, n, "
                                    "d, hex(b) from copy order by rowid");
    QStringList rows;
    while (c.moveNext()) {
        QStringList row;
        for (int i = 1; i < 9; ++i)
            row << c.textAt(i);
        rows << row.join(QLatin1Char('|'));
    }
    EXPECT_EQ(rows, (QStringList{QStringLiteral("text|integer|real|blob|one|11|1.5|00FF"),
                                 QStringLiteral("text|null|real|blob|three||3.25|"),
                                 QStringLiteral("null|integer|null|null||22||")}));
}

TEST_F(Sqlite3DBTest, RowCopierFailuresCarrySqliteText)
{
    db.executeThrow("insert into t(_id,name) values(1,'a'),(2,'a')");
    db.executeThrow("create table copy(name unique)");
    const auto copier = [this](const QString &read) {
        return std::make_unique<Sqlite3RowCopier>(
            db, read, QStringLiteral("insert into copy values(?)"),
            QStringLiteral("insert into copy select name from t where _id=?"),
            QStringLiteral("copy failed: %1"), QStringLiteral("read failed: %1"));
    };
    EXPECT_EQ(errorOf([&] { copier(QStringLiteral("select _id,name from nowhere")); }),
              "copy failed: no such table: nowhere");
    EXPECT_EQ(errorOf([&] { copier(QStringLiteral("select _id,name,name from t")); }),
              "copy failed: 2 values for 1 parameters");
    const auto rows = copier(QStringLiteral("select _id,name from t order by _id"));
    rows->copy(1);
    EXPECT_EQ(errorOf([&] { rows->copy(2); }), "copy failed: UNIQUE constraint failed: copy.name");
}
