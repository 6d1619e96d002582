#include "catalogue/recordtable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace marovex;
using marovex::test::TempDir;

namespace {

std::vector<FieldDef> layout() {
    return {{"I", FieldType::Int32, 0},
            {"W", FieldType::WideText, 8},
            {"H", FieldType::Int16, 0},
            {"B", FieldType::Boolean, 0},
            {"T", FieldType::Text, 6}};
}

void writeSample(const std::filesystem::path& file) {
    RecordTable t;
    t.setFields(layout());
    t.openEmpty();
    t.append();
    t.setInt("I", -2147483647 - 1);
    t.setText("W", "Ёлка ");
    t.setInt("H", -32768);
    t.setBool("B", true);
    t.setText("T", "Тема");
    t.post();
    t.append(); // every field empty
    t.post();
    t.append();
    t.setInt("I", 7);
    t.setText("W", "a\"b;c");
    t.setBool("B", false);
    t.post();
    t.setSortKeys("I"); // the file keeps natural order whatever the view
    t.saveToFile(file);
}

// What a rewrite changes: the file's number, or under Wine, whose file numbers of new files are not
// steady, its modification time (to 100 ns; the library's own is whole seconds there).
std::int64_t inode(const std::filesystem::path& f) {
#if defined(_WIN32)
    int error = 0;
    const auto status = platform::statusOf(f, false, error);
    return status ? status->identity.modifiedNs : 0;
#else
    return std::int64_t(marovex::test::fileNumber(f));
#endif
}

std::string openError(const std::filesystem::path& file) {
    RecordTable t;
    try {
        t.setFileName(file);
        t.open();
    } catch (const TableError& e) {
        EXPECT_FALSE(t.isOpen());
        return e.what();
    }
    return "opened";
}

void sql(const std::filesystem::path& file, const std::string& statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(platform::pathToUtf8(file).c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &err);
    const std::string message = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

TEST(TableFile, RoundTripKeepsLayoutValuesEmptinessAndNaturalOrder) {
    TempDir dir;
    writeSample(dir / "t.dat");
    RecordTable t;
    t.setFileName(dir / "t.dat");
    t.open();
    EXPECT_EQ(t.fields(), layout());
    ASSERT_EQ(t.rowCount(), 3);
    t.first();
    EXPECT_EQ(t.asInt("I"), INT32_MIN);
    EXPECT_EQ(t.asText("W"), "Ёлка ");
    EXPECT_EQ(t.asInt("H"), -32768);
    EXPECT_TRUE(t.asBool("B"));
    EXPECT_EQ(t.asText("T"), "Тема");
    t.next();
    for (int f = 0; f < 5; ++f) EXPECT_TRUE(t.isNull(f)) << f;
    t.next();
    EXPECT_EQ(t.asText("W"), "a\"b;c");
    EXPECT_FALSE(t.isNull("B"));
    EXPECT_FALSE(t.asBool("B"));
    EXPECT_FALSE(t.isModified());
}

TEST(TableFile, CloseWritesBackOnlyWhenChanged) {
    TempDir dir;
    const auto file = dir / "t.dat";
    writeSample(file);
    const auto before = inode(file);
    RecordTable t;
    t.setFileName(file);
    t.open();
    t.first();
    ASSERT_TRUE(t.edit());
    t.setInt("I", INT32_MIN); // same value
    t.post();
    t.close();
    EXPECT_EQ(inode(file), before) << "an unchanged table was rewritten";

    t.open();
    t.last();
    ASSERT_TRUE(t.edit());
    t.setInt("I", 8);
    t.post();
    t.close();
    EXPECT_NE(inode(file), before);
    t.open();
    t.last();
    EXPECT_EQ(t.asInt("I"), 8);
}

TEST(TableFile, DeletedRowsAndEmptiedTablesArePersisted) {
    TempDir dir;
    const auto file = dir / "t.dat";
    writeSample(file);
    RecordTable t;
    t.setFileName(file);
    t.open();
    t.first();
    t.deleteRow();
    t.close();
    t.open();
    EXPECT_EQ(t.rowCount(), 2);
    t.emptyTable();
    t.close();
    t.open();
    EXPECT_EQ(t.rowCount(), 0);
    EXPECT_EQ(t.fields(), layout());
}

TEST(TableFile, DamagedOrForeignFilesAreReportedByNameAndLeftUntouched) {
    TempDir dir;
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"missing.dat", [](const auto&) {}, "file not found"},
        {"random.dat", [](const auto& f) { test::writeFile(f, std::string(5000, '\x5a') + "garbage\x01\x02"); },
         "not a valid catalogue file"},
        {"empty.dat", [](const auto& f) { test::writeFile(f, ""); }, "the file is empty"},
        {"truncated.dat",
         [](const auto& f) {
             RecordTable t;
             t.setFields(layout());
             t.openEmpty();
             for (int i = 0; i < 3000; ++i) {
                 t.append();
                 t.setText("W", "abcdefgh");
                 t.post();
             }
             t.saveToFile(f);
             // Only the end of the last page is gone: SQLite alone would read its rows as empty.
             std::filesystem::resize_file(f, std::filesystem::file_size(f) - 100);
         },
         "the file is cut short"},
        {"foreign.dat", [](const auto& f) { sql(f, "CREATE TABLE x(a)"); }, "not a Marovex table"},
        {"version.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "PRAGMA user_version=7");
         },
         "unsupported format version 7"},
        {"norecords.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "DROP TABLE records");
         },
         "no such table: records"},
        {"nofields.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "DROP TABLE fields");
         },
         "no such table: fields"},
        {"badtype.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "UPDATE fields SET type='float' WHERE name='H'");
         },
         "unknown type"},
        {"badvalue.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "UPDATE records SET H=70000 WHERE rowid=1");
         },
         "row 1, field H: value out of range"},
        {"textint.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "UPDATE records SET I='x' WHERE rowid=3");
         },
         "row 3, field I: not an integer"},
        {"dupfield.dat",
         [](const auto& f) {
             writeSample(f);
             sql(f, "UPDATE fields SET name='i' WHERE name='H'");
         },
         "appears twice"},
    };
    for (const Case& c : cases) {
        const auto file = dir / c.name;
        c.make(file);
        std::string before;
        if (std::filesystem::exists(file)) before = test::readFile(file);
        const std::string error = openError(file);
        EXPECT_NE(error.find(file.string()), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.name << ": " << error;
        if (std::filesystem::exists(file)) {
            EXPECT_EQ(test::readFile(file), before) << c.name << " was changed";
        }
    }
}

TEST(TableFile, AFailedWriteKeepsTheTableOpenAndLeavesNoTemporaryFile) {
    TempDir dir;
    const auto target = dir / "t.dat";
    std::filesystem::create_directories(target / "occupied"); // a non-empty folder cannot be replaced
    RecordTable t;
    t.setFields(layout());
    t.openEmpty();
    t.append();
    t.setInt("I", 1);
    t.post();
    try {
        t.saveToFile(target);
        FAIL() << "the write should fail";
    } catch (const TableError& e) {
        EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos);
    }
    EXPECT_TRUE(t.isOpen());
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(TableFile, OverlongTextsInAHandEditedFileAreCut) {
    TempDir dir;
    const auto file = dir / "t.dat";
    writeSample(file);
    sql(file, "UPDATE records SET W='0123456789ABC', T='Длинная тема' WHERE rowid=2");
    RecordTable t;
    t.setFileName(file);
    t.open();
    t.first();
    t.next();
    EXPECT_EQ(t.asText("W"), "01234567");
    EXPECT_EQ(t.asText("T"), "Длинна");
}

} // namespace
