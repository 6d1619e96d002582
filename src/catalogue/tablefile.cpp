#include "catalogue/tablefile.h"

#include "base/atomicfile.h"
#include "base/cp1251.h"
#include "base/regularfile.h"

#include <cerrno>
#include <sqlite3.h>

#include <strings.h>

namespace marovex::detail {
namespace {

// "MVXT": marks a SQLite file as a table of this application.
constexpr int kApplicationId = 0x4D565854;
constexpr int kFormatVersion = 1;
constexpr int kMaxWidth = 65535;

const char* typeName(FieldType t) {
    switch (t) {
    case FieldType::Int32:
        return "int32";
    case FieldType::Int16:
        return "int16";
    case FieldType::WideText:
        return "wtext";
    case FieldType::Text:
        return "text";
    case FieldType::Boolean:
        return "bool";
    }
    return "?";
}

bool typeFromName(std::string_view name, FieldType& out) {
    for (FieldType t :
         {FieldType::Int32, FieldType::Int16, FieldType::WideText, FieldType::Text, FieldType::Boolean})
        if (name == typeName(t)) {
            out = t;
            return true;
        }
    return false;
}

std::string sqlIdentifier(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

class Db {
public:
    // `shown` is the file the user knows, named in messages (a temporary file is never named).
    // `what` is the message: "<file>: not a valid catalogue file: <detail>" and the like.
    Db(const std::filesystem::path& file, int flags, msg::Key what, const std::filesystem::path& shown = {})
        : m_file(shown.empty() ? file : shown), m_what(what) {
        if (sqlite3_open_v2(platform::pathToUtf8(file).c_str(), &m_db, flags, nullptr) != SQLITE_OK) fail();
    }
    ~Db() { sqlite3_close(m_db); }
    [[noreturn]] void fail(Message::Value detail) const {
        throw TableError(Message(m_what, {pathValue(m_file), std::move(detail)}));
    }
    [[noreturn]] void fail(const std::string& detail) const { fail(textValue(detail)); }
    // SQLite's own reason; the ones a damaged or foreign file gives in our words.
    [[noreturn]] void fail() const {
        switch (m_db ? sqlite3_errcode(m_db) : SQLITE_NOMEM) {
        case SQLITE_NOTADB:
            fail(nested(Message(msg::NotADatabase, {})));
        case SQLITE_CORRUPT:
            fail(nested(Message(msg::DatabaseDamaged, {})));
        case SQLITE_FULL:
            fail(errorReason(ENOSPC));
        default:
            fail(textValue(m_db ? sqlite3_errmsg(m_db) : "out of memory"));
        }
    }
    void exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            sqlite3_free(err);
            fail();
        }
    }
    int intPragma(const char* name) {
        sqlite3_stmt* st = prepare(std::string("PRAGMA ") + name);
        int value = 0;
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) value = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail();
        return value;
    }
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), int(sql.size()), &st, nullptr) != SQLITE_OK) fail();
        return st;
    }
    sqlite3* handle() const { return m_db; }

private:
    std::filesystem::path m_file;
    msg::Key m_what;
    sqlite3* m_db = nullptr;
};

struct Statement {
    sqlite3_stmt* st;
    ~Statement() { sqlite3_finalize(st); }
};

} // namespace

namespace {

// Length in bytes of the valid UTF-8 sequence at p, or 0.
inline int sequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char b = *p;
    const int len = b < 0x80                 ? 1
                    : b >= 0xC2 && b <= 0xDF ? 2
                    : b >= 0xE0 && b <= 0xEF ? 3
                    : b >= 0xF0 && b <= 0xF4 ? 4
                                             : 0;
    if (len == 0 || end - p < len) return 0;
    for (int i = 1; i < len; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    if (len == 3) {
        const unsigned c = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6);
        if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    } else if (len == 4) {
        const unsigned c = ((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12);
        if (c < 0x10000 || c > 0x10FFFF) return 0;
    }
    return len;
}

} // namespace

std::string cutUtf8(std::string_view s, int width) {
    const auto* begin = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = begin + s.size();
    const auto* p = begin;
    int chars = 0;
    // Valid text within the width, the usual case, is taken whole. ASCII and two-byte sequences (all of
    // Cyrillic) are checked inline; anything else goes through the full check.
    while (p < end && chars < width) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
        } else if (b >= 0xC2 && b <= 0xDF && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
            p += 2;
        } else {
            const int len = sequenceLength(p, end);
            if (len == 0) break;
            p += len;
        }
        ++chars;
    }
    std::string out(s.substr(0, size_t(p - begin)));
    while (p < end && chars < width) {
        const int len = sequenceLength(p, end);
        if (len > 0) {
            out.append(reinterpret_cast<const char*>(p), size_t(len));
            p += len;
        } else {
            out.push_back('?');
            ++p;
            while (p < end && (*p & 0xC0) == 0x80)
                ++p;
        }
        ++chars;
    }
    return out;
}

std::vector<Column> readTableFile(const std::filesystem::path& file, const std::filesystem::path& shown) {
    const std::string name = platform::pathToUtf8(shown.empty() ? file : shown);
    // Checked and opened here first: SQLite would wait on a FIFO, and reports an unreadable file only as
    // "unable to open".
    std::uintmax_t size = 0;
    try {
        const std::optional<RegularFile> opened = RegularFile::open(file, Links::Follow, shown);
        if (!opened) throw TableError(Message(msg::FileNotFound, {textValue(name)}));
        size = opened->size();
    } catch (const FileError& e) {
        throw TableError(e.message());
    }
    if (size == 0) throw TableError(Message(msg::CatalogueEmpty, {textValue(name)}));
    Db db(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, msg::NotACatalogueFile, shown);
    if (db.intPragma("application_id") != kApplicationId) db.fail(nested(Message(msg::NotAMarovexTable, {})));
    if (int v = db.intPragma("user_version"); v != kFormatVersion)
        db.fail(nested(Message(msg::UnsupportedFormatVersion, {textValue(std::to_string(v))})));
    // SQLite reads the missing end of a cut file as zeros, so rows would come back empty without an error.
    const auto needed =
        std::uintmax_t(db.intPragma("page_count")) * std::uintmax_t(db.intPragma("page_size"));
    if (size < needed)
        db.fail(nested(
            Message(msg::CutShort, {textValue(std::to_string(size)), textValue(std::to_string(needed))})));

    std::vector<Column> columns;
    {
        Statement st{db.prepare("SELECT position, name, type, width FROM fields ORDER BY position")};
        int rc;
        while ((rc = sqlite3_step(st.st)) == SQLITE_ROW) {
            Column c;
            const int pos = sqlite3_column_int(st.st, 0);
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st.st, 1));
            const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st.st, 2));
            const int width = sqlite3_column_int(st.st, 3);
            if (pos != int(columns.size()) + 1) db.fail("field positions are not 1, 2, 3, ...");
            if (!name || !*name) db.fail("field " + std::to_string(pos) + " has no name");
            c.def.name = name;
            if (!type || !typeFromName(type, c.def.type))
                db.fail("field " + c.def.name + " has an unknown type \"" + (type ? type : "") + "\"");
            if (c.isText() && (width < 1 || width > kMaxWidth))
                db.fail("field " + c.def.name + " has an invalid width " + std::to_string(width));
            c.def.width = c.isText() ? width : 0;
            for (const auto& other : columns)
                if (strcasecmp(other.def.name.c_str(), name) == 0)
                    db.fail("field " + c.def.name + " appears twice");
            columns.push_back(std::move(c));
        }
        if (rc != SQLITE_DONE) db.fail();
        if (columns.empty()) db.fail("the table has no fields");
    }

    // Reading through a memory map spares a copy of every page.
    db.exec("PRAGMA mmap_size=1073741824");
    size_t expectedRows = 0;
    {
        Statement count{db.prepare("SELECT max(rowid) FROM records")};
        if (sqlite3_step(count.st) == SQLITE_ROW)
            expectedRows = size_t(std::max<sqlite3_int64>(0, sqlite3_column_int64(count.st, 0)));
    }
    for (Column& c : columns) {
        const size_t n = std::min<size_t>(expectedRows, 50'000'000);
        c.nulls.reserve(n);
        if (c.isText())
            c.texts.reserve(n);
        else
            c.ints.reserve(n);
    }
    std::string select = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i)
        select += (i ? ", " : "") + sqlIdentifier(columns[i].def.name);
    select += " FROM records ORDER BY rowid";
    Statement st{db.prepare(select)};
    int rc;
    size_t row = 0;
    while ((rc = sqlite3_step(st.st)) == SQLITE_ROW) {
        ++row;
        for (size_t i = 0; i < columns.size(); ++i) {
            Column& c = columns[i];
            const int type = sqlite3_column_type(st.st, int(i));
            const bool null = type == SQLITE_NULL;
            c.nulls.push_back(null ? 1 : 0);
            auto bad = [&](const char* what) {
                db.fail("row " + std::to_string(row) + ", field " + c.def.name + ": " + what);
            };
            if (c.isText()) {
                std::string value;
                if (!null) {
                    if (type != SQLITE_TEXT) bad("not a text");
                    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.st, int(i)));
                    const std::string_view utf8(t ? t : "", size_t(sqlite3_column_bytes(st.st, int(i))));
                    // Values are cut to the width here too, in case the file was edited by hand.
                    // Single-byte fields are kept as Windows-1251 bytes in memory.
                    if (c.def.type == FieldType::WideText) {
                        value = cutUtf8(utf8, c.def.width);
                    } else {
                        value = cp1251::fromUtf8(utf8);
                        if (value.size() > size_t(c.def.width)) value.resize(size_t(c.def.width));
                    }
                }
                c.texts.push_back(std::move(value));
            } else {
                std::int64_t v = 0;
                if (!null) {
                    if (type != SQLITE_INTEGER) bad("not an integer");
                    v = sqlite3_column_int64(st.st, int(i));
                    const bool inRange = c.def.type == FieldType::Int32   ? v >= INT32_MIN && v <= INT32_MAX
                                         : c.def.type == FieldType::Int16 ? v >= INT16_MIN && v <= INT16_MAX
                                                                          : v == 0 || v == 1;
                    if (!inRange) bad("value out of range");
                }
                c.ints.push_back(std::int32_t(v));
            }
        }
    }
    if (rc != SQLITE_DONE) db.fail();
    return columns;
}

std::filesystem::path writeTableTemporary(const std::filesystem::path& file,
                                          const std::vector<Column>& columns,
                                          const std::vector<std::uint32_t>& order) {
    // Refused before a possibly long write; made here first so that a folder without write permission
    // is reported as such, and so that SQLite opens a file of our own, never one a link points to.
    std::filesystem::path temp;
    try {
        checkReplaceable(file);
        NewTemporary made = createTemporaryBeside(file);
        made.file.close();
        temp = std::move(made.path);
    } catch (const std::runtime_error& e) {
        throw TableError(messageOf(e));
    }
    std::error_code ec;
    try {
        {
            Db db(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, msg::CannotWrite,
                  file);
            // A brand-new private file needs no journal; durability comes from the fsync and rename below.
            db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;");
            db.exec("PRAGMA application_id=" + std::to_string(kApplicationId) +
                    "; PRAGMA user_version=" + std::to_string(kFormatVersion) + ";");
            db.exec("BEGIN");
            db.exec(
                "CREATE TABLE fields(position INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
                "width INTEGER NOT NULL)");
            std::string create = "CREATE TABLE records(";
            std::string insert = "INSERT INTO records VALUES(";
            for (size_t i = 0; i < columns.size(); ++i) {
                create += (i ? ", " : "") + sqlIdentifier(columns[i].def.name) +
                          (columns[i].isText() ? " TEXT" : " INTEGER");
                insert += i ? ",?" : "?";
            }
            db.exec(create + ")");
            {
                Statement st{db.prepare("INSERT INTO fields VALUES(?,?,?,?)")};
                for (size_t i = 0; i < columns.size(); ++i) {
                    const FieldDef& f = columns[i].def;
                    sqlite3_bind_int(st.st, 1, int(i + 1));
                    sqlite3_bind_text(st.st, 2, f.name.c_str(), int(f.name.size()), SQLITE_STATIC);
                    sqlite3_bind_text(st.st, 3, typeName(f.type), -1, SQLITE_STATIC);
                    sqlite3_bind_int(st.st, 4, f.width);
                    if (sqlite3_step(st.st) != SQLITE_DONE) db.fail();
                    sqlite3_reset(st.st);
                }
            }
            Statement st{db.prepare(insert + ")")};
            std::string converted;
            for (std::uint32_t slot : order) {
                for (size_t i = 0; i < columns.size(); ++i) {
                    const Column& c = columns[i];
                    const int param = int(i + 1);
                    if (c.nulls[slot]) {
                        sqlite3_bind_null(st.st, param);
                    } else if (c.def.type == FieldType::WideText) {
                        const std::string& t = c.texts[slot];
                        sqlite3_bind_text(st.st, param, t.data(), int(t.size()), SQLITE_STATIC);
                    } else if (c.def.type == FieldType::Text) {
                        converted = cp1251::toUtf8(c.texts[slot]);
                        sqlite3_bind_text(st.st, param, converted.data(), int(converted.size()),
                                          SQLITE_TRANSIENT);
                    } else {
                        sqlite3_bind_int(st.st, param, c.ints[slot]);
                    }
                }
                if (sqlite3_step(st.st) != SQLITE_DONE) db.fail();
                sqlite3_reset(st.st);
            }
            db.exec("COMMIT");
        }
    } catch (...) {
        std::filesystem::remove(temp, ec);
        throw;
    }
    return temp;
}

void writeTableFile(const std::filesystem::path& file, const std::vector<Column>& columns,
                    const std::vector<std::uint32_t>& order) {
    const auto temp = writeTableTemporary(file, columns, order);
    try {
        replaceWith(temp, file);
    } catch (const std::runtime_error& e) {
        throw TableError(messageOf(e));
    }
}

} // namespace marovex::detail
