#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <exception>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;

namespace corvane {

// The only code that talks to SQLite: one connection, one operation. Every statement is
// compiled afresh, bound positionally, stepped to the end and finalized before returning.
class SQLiteDatabase
{
public:
    // A value crossing the boundary, in SQLite's five storage classes.
    using Value = std::variant<std::int64_t, double, QString, QByteArray, std::monostate>;

    struct Row
    {
        QHash<QString, Value> values;
    };

    class Error : public std::exception
    {
    public:
        Error(int code, QString message);

        int code() const { return m_code; }
        const QString &message() const { return m_message; }
        // "SQLite error N: message".
        QString description() const;
        const char *what() const noexcept override { return m_what.c_str(); }

    private:
        int m_code;
        QString m_message;
        std::string m_what;
    };

    // Opens (creating if missing) the database at path in serialized mode with WAL,
    // synchronous NORMAL, foreign keys and a 3000 ms busy timeout; throws Error.
    explicit SQLiteDatabase(const QString &path);
    ~SQLiteDatabase();

    SQLiteDatabase(const SQLiteDatabase &) = delete;
    SQLiteDatabase &operator=(const SQLiteDatabase &) = delete;

    // Runs the first statement of sql with bindings for parameters 1, 2, 3, … and returns
    // every row it yields; throws Error and leaves the connection usable.
    std::vector<Row> query(const QString &sql, const std::vector<Value> &bindings = {});

    // The row id of the most recent successful INSERT on this connection.
    std::int64_t lastInsertRowId() const;

private:
    Error lastError() const;

    sqlite3 *m_handle = nullptr;
};

// Convenience readers for row values: the value when it has the expected kind.
const QString *textValue(const SQLiteDatabase::Row &row, const QString &column);
const std::int64_t *integerValue(const SQLiteDatabase::Row &row, const QString &column);
const QByteArray *blobValue(const SQLiteDatabase::Row &row, const QString &column);

} // namespace corvane
