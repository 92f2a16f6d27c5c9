// What SQLite's memory peaks at while one long text goes into a history of the current schema:
// the peak resident memory (VmHWM) of this process over what it held just before, for an
// insert of the text bound in place (SQLITE_STATIC), and for using that item again (its dates
// changed). A row's record holds a copy of the text, so the text's size is the floor.
//
//   corvane_insert_memory [MEGABYTES] [--nul] [--schema VERSION]
//
// --nul binds the text with a length of -1, telling SQLite it ends in a NUL; by default its
// length is given, as for a buffer SQLite cannot assume ends in one. --schema makes the
// history by the steps up to an earlier version, to compare.
#include "store/schema.h"
#include "store/sqlitedatabase.h"

#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

long statusKilobytes(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    }
    return -1;
}

// Starts the peak over from the memory resident now.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void check(sqlite3 *database, int result, int expected = SQLITE_OK)
{
    if (result != expected) {
        std::fprintf(stderr, "SQLite: %s\n", sqlite3_errmsg(database));
        std::exit(1);
    }
}

// Runs one statement with the text, if any, bound to its first parameter; prints the peak
// over the memory held before it.
void measure(sqlite3 *database, const char *what, const char *sql, const std::string *text,
    bool nulTerminated)
{
    sqlite3_stmt *statement = nullptr;
    check(database, sqlite3_prepare_v2(database, sql, -1, &statement, nullptr));
    if (text) {
        check(database,
            sqlite3_bind_text(statement, 1, text->c_str(), nulTerminated ? -1 : int(text->size()),
                SQLITE_STATIC));
    }
    resetPeak();
    const long before = statusKilobytes("VmHWM:");
    check(database, sqlite3_step(statement), SQLITE_DONE);
    const long after = statusKilobytes("VmHWM:");
    sqlite3_finalize(statement);
    std::printf("%-8s peak %.1f MB over the %.1f MB held before\n", what,
        double(after - before) / 1024, double(before) / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    int megabytes = 32;
    bool nulTerminated = false;
    int version = corvane::currentSchemaVersion;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--nul") == 0)
            nulTerminated = true;
        else if (std::strcmp(argv[i], "--schema") == 0 && i + 1 < argc)
            version = std::atoi(argv[++i]);
        else
            megabytes = std::atoi(argv[i]);
    }
    const QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("history.sqlite"));
    {
        using namespace corvane;
        SQLiteDatabase made(path);
        const QStringList steps[] = { schemaStepOneStatements(), schemaStepTwoStatements(),
            schemaStepThreeStatements(), schemaStepFourStatements(), schemaStepFiveStatements(),
            schemaStepSixStatements(), schemaStepSevenStatements() };
        static_assert(std::size(steps) == currentSchemaVersion);
        if (version < 1 || version > currentSchemaVersion) {
            std::fprintf(stderr, "no schema version %d here\n", version);
            return 2;
        }
        for (int step = 0; step < version; ++step) {
            for (const QString &statement : steps[step])
                made.query(statement);
        }
    }
    // Lines of one sentence repeated, as a long log or document copied whole.
    std::string text;
    const std::string line = "The quick brown fox jumps over the lazy dog. "
                             "The quick brown fox jumps over the lazy dog.\n";
    text.reserve(std::size_t(megabytes) * 1'000'000 + line.size());
    while (text.size() + line.size() <= std::size_t(megabytes) * 1'000'000)
        text += line;

    sqlite3 *database = nullptr;
    check(database, sqlite3_open(path.toUtf8().constData(), &database));
    check(database,
        sqlite3_exec(database,
            "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON",
            nullptr, nullptr, nullptr));
    std::printf("schema version %d, text of %.1f MB bound with %s\n", version,
        double(text.size()) / 1e6, nulTerminated ? "length -1" : "its length");
    measure(database, "insert",
        "INSERT INTO items (kind, text, title, created_at, last_used_at, fingerprint) "
        "VALUES ('text', ?1, 'title', 1, 1, 'fingerprint')",
        &text, nulTerminated);
    text = std::string();
    measure(database, "use", "UPDATE items SET last_used_at = 2", nullptr, false);
    sqlite3_close(database);
    return 0;
}
