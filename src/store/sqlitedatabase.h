#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace corvane {

// Text already encoded as UTF-8, bound where it lies instead of being copied: a copied text of
// megabytes is then held once while its row is written, not twice. It ends at its first NUL,
// as a bound string does; the bytes must end in a NUL, as every QByteArray not made with
// fromRawData does.
struct Utf8Text
{
    QByteArray bytes;

    bool operator==(const Utf8Text &) const = default;
};

// The only code that talks to SQLite: one connection, one operation. Every statement is
// compiled afresh, bound positionally, stepped to the end and finalized before returning.
class SQLiteDatabase
{
public:
    // A value crossing the boundary, in SQLite's five storage classes.
    using Value = std::variant<std::int64_t, double, QString, QByteArray, std::monostate, Utf8Text>;

    struct Row
    {
        QHash<QString, Value> values;
    };

    class Error : public std::exception
    {
    public:
        Error(int code, QString message);

        int code() const { return m_code; }
        // Whether another connection held a lock this one needed (busy or locked).
        bool isLockContention() const;
        // Whether interrupt() ended the statement.
        bool isInterruption() const;
        // Whether the statement would have broken a constraint (a reference, a unique key).
        bool isConstraintViolation() const;
        const QString &message() const { return m_message; }
        // "SQLite error N: message".
        QString description() const;
        const char *what() const noexcept override { return m_what.c_str(); }

    private:
        int m_code;
        QString m_message;
        std::string m_what;
    };

    // The row a statement is on while it is being stepped: values are read by column index
    // and copied out, so nothing is built for columns nobody reads.
    class Cursor
    {
    public:
        int columnCount() const;
        QString columnName(int column) const;
        // The index of the last column with this name (as in Row), or -1.
        int columnIndex(QStringView name) const;
        Value value(int column) const;
        // A column's value without copying it: its kind, its bytes (text up to its first NUL,
        // or a blob), or its integer. The bytes are valid until the next row. One call per
        // column matters: every call into SQLite takes the connection's lock.
        struct Cell
        {
            enum class Kind { integer, real, text, blob, null };
            Kind kind = Kind::null;
            QByteArrayView bytes;
            std::int64_t integer = 0;
        };
        Cell cell(int column) const;
        // A column's integer value (0 for NULL, text converted as SQLite does), in one call:
        // for statements that read a million ids.
        std::int64_t integer(int column) const;

    private:
        friend class SQLiteDatabase;
        explicit Cursor(sqlite3_stmt *statement)
            : m_statement(statement)
        { }
        sqlite3_stmt *m_statement;
    };

    // How long a statement waits for a lock another connection holds before failing.
    static constexpr std::chrono::milliseconds busyTimeout { 3000 };

    // Opens (creating if missing) the database at path in serialized mode with WAL,
    // synchronous NORMAL, foreign keys and busyTimeout; throws Error.
    explicit SQLiteDatabase(const QString &path);
    ~SQLiteDatabase();

    SQLiteDatabase(const SQLiteDatabase &) = delete;
    SQLiteDatabase &operator=(const SQLiteDatabase &) = delete;

    // Runs the first statement of sql with bindings for parameters 1, 2, 3, … and returns
    // every row it yields; throws Error and leaves the connection usable.
    std::vector<Row> query(const QString &sql, const std::vector<Value> &bindings = {});

    // Runs the statement like query but hands each row to visit as it is stepped instead of
    // collecting maps; the cursor is valid only during the call. Throws Error like query.
    void forEachRow(const QString &sql, const std::vector<Value> &bindings,
        const std::function<void(const Cursor &)> &visit);

    // Like forEachRow, but stops stepping as soon as visit returns false, so a statement
    // whose rows come in order can be read only as far as needed.
    void forEachRowWhile(const QString &sql, const std::vector<Value> &bindings,
        const std::function<bool(const Cursor &)> &visit);

    // The integer values of expression over the rows that `FROM …` clause from selects, in the
    // order the statement visits them (a full-text index visits its rows by ascending id).
    // They are gathered inside SQLite by an aggregate function: handing each of half a
    // million ids out through its own step costs more than finding them. Throws Error.
    std::vector<std::int64_t> gatherIntegers(
        const QString &expression, const QString &from, const std::vector<Value> &bindings);

    // text with each character folded as the full-text trigram tokenizer (with its default
    // options, as the search indexes use it) folds it into its index: the form in which a
    // range of that index's terms is asked for. Throws Error.
    QString trigramFolded(const QString &text);

    // A piece of one stored value, read in place rather than the whole value loaded: up to
    // maximumBytes of the bytes of column in the row rowID of table from byteOffset on (a
    // text's stored UTF-8, so a piece may end inside a character), and the whole value's
    // size. Throws Error, also when there is no such row or the value is NULL.
    struct ValuePiece
    {
        QByteArray bytes;
        qsizetype totalBytes = 0;
    };
    ValuePiece readValuePiece(const char *table, const char *column, std::int64_t rowID,
        qsizetype byteOffset, qsizetype maximumBytes);

    // The row id of the most recent successful INSERT on this connection.
    std::int64_t lastInsertRowId() const;

    // How many rows statements on this connection have inserted, changed or deleted since it
    // opened, triggers' changes included; it moves with every change this connection makes.
    std::int64_t changeCount() const;

    // Whether a transaction is open on this connection.
    bool inTransaction() const;

    // Rolls back the transaction open on this connection, if any. Throws Error if it is
    // still open afterwards.
    void rollBack();

    // Makes the statements running on this connection fail soon with an interruption error
    // (their transaction rolls back); a call while none runs changes nothing. Safe from any
    // thread while another one runs a statement.
    void interrupt();
    // Keeps up to about bytes of the file's pages in this connection's cache; a lower limit
    // frees the pages over it at once. Throws Error.
    void setPageCacheLimit(std::int64_t bytes);

    // Calls tick from inside the statements this connection runs, about every `instructions`
    // virtual machine steps (nested statements, such as a search index rebuilding itself from
    // its table, included), until it is called again; an empty tick removes it. tick must not
    // use this connection. A statement that runs long thus still gives its caller a word.
    void setProgressHandler(int instructions, std::function<void()> tick);

private:
    // Compiled statements are kept for reuse, keyed by their SQL text: compiling costs 5 to
    // 25 µs, a noticeable part of a search or a recording. A statement in use (a visitor may
    // run another query) is never handed out twice.
    struct CachedStatement
    {
        QString sql;
        sqlite3_stmt *statement = nullptr;
        bool inUse = false;
    };
    static constexpr std::size_t statementCacheSize = 24;
    static constexpr int rollBackAttempts = 16;

    // A compiled statement for sql, ready to bind; nullptr for a text without a statement.
    sqlite3_stmt *takeStatement(const QString &sql);
    // Resets the statement (ending its read) and keeps it for the next use of sql.
    void returnStatement(const QString &sql, sqlite3_stmt *statement);

    void switchToWriteAheadLog();
    void registerGatherFunction();
    // Checkpoints after each commit of this connection, starting the log over once it is long.
    static int checkpointAfterCommit(void *database, sqlite3 *handle, const char *name, int frames);
    Error lastError() const;

    sqlite3 *m_handle = nullptr;
    std::mutex m_cacheMutex;
    std::vector<CachedStatement> m_cache;
    // Where the gathering function puts values; set only while gatherIntegers runs.
    std::mutex m_gatherMutex;
    std::vector<std::int64_t> *m_gatherInto = nullptr;
    std::function<void()> m_progressTick;
    sqlite3_stmt *m_rollBack = nullptr;
    // The log's length at which the next checkpoint waits for its readers to start it over.
    int m_logRestartFrames = 0;
};

// Convenience readers for row values: the value when it has the expected kind.
const QString *textValue(const SQLiteDatabase::Row &row, const QString &column);
const std::int64_t *integerValue(const SQLiteDatabase::Row &row, const QString &column);
const QByteArray *blobValue(const SQLiteDatabase::Row &row, const QString &column);

} // namespace corvane
