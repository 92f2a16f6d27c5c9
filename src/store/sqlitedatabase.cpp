#include "sqlitedatabase.h"

#include <QDeadlineTimer>
#include <QScopeGuard>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace corvane {

namespace {

// SQLite's own point for checkpointing after a commit: a log of 1,000 pages.
constexpr int checkpointFrames = 1000;
// A log this long (16 MiB of 4 KiB pages) has not been started over by the checkpoints so far.
constexpr int restartFrames = 4000;
constexpr std::chrono::milliseconds restartWait { 100 };
// What a log file is cut back to when it starts over, after one huge transaction made it long.
constexpr qint64 logSizeLimitBytes = 16 * 1024 * 1024;

SQLiteDatabase::Value columnValue(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return std::int64_t(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT:
        // Up to the terminating NUL, as the bound text was.
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(statement, column)));
    case SQLITE_BLOB: {
        const void *bytes = sqlite3_column_blob(statement, column);
        const int size = sqlite3_column_bytes(statement, column);
        if (!bytes || size <= 0)
            return QByteArray();
        return QByteArray(static_cast<const char *>(bytes), size);
    }
    default:
        return std::monostate();
    }
}

int bindValue(sqlite3_stmt *statement, int index, const SQLiteDatabase::Value &value)
{
    return std::visit(
        [&](const auto &v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int64_t>) {
                return sqlite3_bind_int64(statement, index, v);
            } else if constexpr (std::is_same_v<T, double>) {
                return sqlite3_bind_double(statement, index, v);
            } else if constexpr (std::is_same_v<T, QString>) {
                // Length -1: the text ends at its first NUL, as SQLite reads C strings.
                return sqlite3_bind_text(
                    statement, index, v.toUtf8().constData(), -1, SQLITE_TRANSIENT);
            } else if constexpr (std::is_same_v<T, Utf8Text>) {
                // Static: the bytes outlive the statement, which is finalized before the
                // bindings go. Length -1 tells SQLite the text ends in a NUL, as a QByteArray
                // does: given a length instead, SQLite copies a text of megabytes whole to end
                // it with one wherever a trigger or an index reads it as a string.
                return sqlite3_bind_text(statement, index, v.bytes.constData(), -1, SQLITE_STATIC);
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                // A zero-length blob must stay a blob, never become NULL.
                if (v.isEmpty())
                    return sqlite3_bind_zeroblob(statement, index, 0);
                return sqlite3_bind_blob(
                    statement, index, v.constData(), int(v.size()), SQLITE_TRANSIENT);
            } else {
                return sqlite3_bind_null(statement, index);
            }
        },
        value);
}

template <typename T> const T *valueOf(const SQLiteDatabase::Row &row, const QString &column)
{
    const auto found = row.values.constFind(column);
    return found == row.values.cend() ? nullptr : std::get_if<T>(&found.value());
}

} // namespace

SQLiteDatabase::Error::Error(int code, QString message)
    : m_code(code)
    , m_message(std::move(message))
    , m_what(description().toStdString())
{ }

bool SQLiteDatabase::Error::isLockContention() const
{
    const int primary = m_code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool SQLiteDatabase::Error::isConstraintViolation() const
{
    return (m_code & 0xff) == SQLITE_CONSTRAINT;
}

bool SQLiteDatabase::Error::isInterruption() const
{
    return (m_code & 0xff) == SQLITE_INTERRUPT;
}

QString SQLiteDatabase::Error::description() const
{
    return QStringLiteral("SQLite error %1: %2").arg(m_code).arg(m_message);
}

SQLiteDatabase::SQLiteDatabase(const QString &path)
{
    const QByteArray utf8Path = path.toUtf8();
    const int result = sqlite3_open_v2(utf8Path.constData(), &m_handle,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (result != SQLITE_OK || !m_handle) {
        const QString message = m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle))
                                         : QStringLiteral("unable to open ") + path;
        sqlite3_close_v2(m_handle);
        m_handle = nullptr;
        throw Error(result, message);
    }
    sqlite3_busy_timeout(m_handle, int(busyTimeout.count()));
    try {
        switchToWriteAheadLog();
        query(QStringLiteral("PRAGMA synchronous = NORMAL"));
        query(QStringLiteral("PRAGMA foreign_keys = ON"));
        query(QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeout.count()));
        query(QStringLiteral("PRAGMA journal_size_limit = %1").arg(logSizeLimitBytes));
        m_logRestartFrames = restartFrames;
        sqlite3_wal_hook(m_handle, checkpointAfterCommit, this);
        registerGatherFunction();
        // Compiled now, so that it is ready however an interruption falls; see rollBack.
        if (sqlite3_prepare_v2(m_handle, "ROLLBACK", -1, &m_rollBack, nullptr) != SQLITE_OK)
            throw lastError();
    } catch (...) {
        sqlite3_close_v2(m_handle);
        m_handle = nullptr;
        throw;
    }
}

// Replaces SQLite's automatic checkpoint, which never waits for anyone. A checkpoint copies
// the log's pages into the file, but the log only starts over at a commit made while no
// reader still uses its old pages; with the panel's searches and assistants' tool servers
// reading one after another there can always be one, and the log then grows without bound.
// Once the log is long, the checkpoint also waits a moment for the readers of the old pages,
// so that the next commit starts it over. A reader that stays longer makes it give up, and
// it waits again only once the log has grown as much again: a reader that never ends (a
// transaction left open) held up every commit by the wait, and at 20 copies a second the
// recording fell behind. The commit itself is done by now: a failed checkpoint is retried.
int SQLiteDatabase::checkpointAfterCommit(
    void *database, sqlite3 *handle, const char *name, int frames)
{
    int &restartAt = static_cast<SQLiteDatabase *>(database)->m_logRestartFrames;
    if (frames < checkpointFrames) {
        restartAt = restartFrames;
        return SQLITE_OK;
    }
    if (frames < restartAt) {
        sqlite3_wal_checkpoint_v2(handle, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }
    sqlite3_busy_timeout(handle, int(restartWait.count()));
    const int result
        = sqlite3_wal_checkpoint_v2(handle, name, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    sqlite3_busy_timeout(handle, int(busyTimeout.count()));
    if (result != SQLITE_OK)
        restartAt = frames + restartFrames;
    return SQLITE_OK;
}

// Switching a new file to WAL needs an exclusive lock. When another connection is opening the
// same new file (the application and the tool server on a first run), SQLite answers busy at
// once instead of calling the busy handler, so the wait is done here.
void SQLiteDatabase::switchToWriteAheadLog()
{
    const QDeadlineTimer deadline(busyTimeout);
    for (;;) {
        try {
            query(QStringLiteral("PRAGMA journal_mode = WAL"));
            return;
        } catch (const Error &error) {
            if (error.code() != SQLITE_BUSY || deadline.hasExpired())
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// "corvane_gather(value)" appends each value, as an integer, to the list gatherIntegers set
// up; used anywhere else (a trigger or view in a file someone edited cannot call it at all,
// SQLite refuses), it fails the statement.
void SQLiteDatabase::registerGatherFunction()
{
    const auto step = [](sqlite3_context *context, int, sqlite3_value **arguments) {
        auto *database = static_cast<SQLiteDatabase *>(sqlite3_user_data(context));
        if (!database->m_gatherInto) {
            sqlite3_result_error(context, "corvane_gather is for gatherIntegers only", -1);
            return;
        }
        try {
            database->m_gatherInto->push_back(sqlite3_value_int64(arguments[0]));
        } catch (const std::bad_alloc &) {
            sqlite3_result_error_nomem(context);
        }
    };
    const auto finish = [](sqlite3_context *context) { sqlite3_result_null(context); };
    if (sqlite3_create_function_v2(m_handle, "corvane_gather", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
            this, nullptr, step, finish, nullptr)
        != SQLITE_OK)
        throw lastError();
}

std::vector<std::int64_t> SQLiteDatabase::gatherIntegers(
    const QString &expression, const QString &from, const std::vector<Value> &bindings)
{
    std::vector<std::int64_t> gathered;
    const std::lock_guard lock(m_gatherMutex);
    m_gatherInto = &gathered;
    const auto forget = qScopeGuard([&] { m_gatherInto = nullptr; });
    forEachRow(QStringLiteral("SELECT corvane_gather(") + expression + QStringLiteral(") ") + from,
        bindings, [](const Cursor &) {});
    return gathered;
}

namespace {

// The full-text extension's interface on this connection, which it hands out only as a pointer
// bound to its own SQL function.
fts5_api *fullTextInterface(sqlite3 *handle)
{
    fts5_api *api = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(handle, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, 1, static_cast<void *>(&api), "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

} // namespace

QString SQLiteDatabase::trigramFolded(const QString &text)
{
    fts5_api *api = fullTextInterface(m_handle);
    void *context = nullptr;
    fts5_tokenizer tokenizer {};
    if (!api || api->xFindTokenizer(api, "trigram", &context, &tokenizer) != SQLITE_OK)
        throw Error(SQLITE_ERROR, QStringLiteral("the trigram tokenizer is not available"));
    Fts5Tokenizer *instance = nullptr;
    if (tokenizer.xCreate(context, nullptr, 0, &instance) != SQLITE_OK)
        throw Error(SQLITE_ERROR, QStringLiteral("the trigram tokenizer could not be made"));
    const auto release = qScopeGuard([&] { tokenizer.xDelete(instance); });

    // Every character starts one trigram once two more follow it; the first character of
    // each is the folded one.
    const QByteArray padded = (text + QStringLiteral("aa")).toUtf8();
    QString folded;
    const auto keepFirstCharacter
        = [](void *into, int, const char *token, int length, int, int) -> int {
        try {
            const QString trigram = QString::fromUtf8(token, length);
            const qsizetype firstLength
                = trigram.isEmpty() || !trigram[0].isHighSurrogate() ? 1 : 2;
            static_cast<QString *>(into)->append(trigram.left(firstLength));
            return SQLITE_OK;
        } catch (const std::bad_alloc &) {
            return SQLITE_NOMEM;
        }
    };
    if (tokenizer.xTokenize(instance, &folded, FTS5_TOKENIZE_DOCUMENT, padded.constData(),
            int(padded.size()), keepFirstCharacter)
        != SQLITE_OK)
        throw Error(SQLITE_ERROR, QStringLiteral("the trigram tokenizer failed"));
    return folded;
}

void SQLiteDatabase::interrupt()
{
    sqlite3_interrupt(m_handle);
}

void SQLiteDatabase::setPageCacheLimit(std::int64_t bytes)
{
    // A negative cache_size is a limit in KiB rather than in pages.
    query(QStringLiteral("PRAGMA cache_size = -%1").arg(std::max<std::int64_t>(bytes / 1024, 1)));
    query(QStringLiteral("PRAGMA shrink_memory"));
}

void SQLiteDatabase::setProgressHandler(int instructions, std::function<void()> tick)
{
    m_progressTick = std::move(tick);
    if (!m_progressTick) {
        sqlite3_progress_handler(m_handle, 0, nullptr, nullptr);
        return;
    }
    // A non-zero answer would interrupt the statement; the handler only reports.
    const auto handler = [](void *context) -> int {
        try {
            (*static_cast<std::function<void()> *>(context))();
        } catch (...) { }
        return 0;
    };
    sqlite3_progress_handler(m_handle, instructions, handler, &m_progressTick);
}

SQLiteDatabase::~SQLiteDatabase()
{
    for (const CachedStatement &entry : m_cache)
        sqlite3_finalize(entry.statement);
    sqlite3_finalize(m_rollBack);
    sqlite3_close_v2(m_handle);
}

int SQLiteDatabase::Cursor::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

QString SQLiteDatabase::Cursor::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_statement, column));
}

int SQLiteDatabase::Cursor::columnIndex(QStringView name) const
{
    for (int column = columnCount() - 1; column >= 0; --column) {
        if (QAnyStringView::equal(QUtf8StringView(sqlite3_column_name(m_statement, column)), name))
            return column;
    }
    return -1;
}

SQLiteDatabase::Value SQLiteDatabase::Cursor::value(int column) const
{
    return columnValue(m_statement, column);
}

SQLiteDatabase::Cursor::Cell SQLiteDatabase::Cursor::cell(int column) const
{
    Cell found;
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        found.kind = Cell::Kind::integer;
        found.integer = sqlite3_column_int64(m_statement, column);
        break;
    case SQLITE_FLOAT:
        found.kind = Cell::Kind::real;
        break;
    case SQLITE_TEXT: {
        found.kind = Cell::Kind::text;
        const auto *bytes
            = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        const int size = sqlite3_column_bytes(m_statement, column);
        // Up to the terminating NUL, as the bound text was.
        found.bytes
            = QByteArrayView(bytes, qsizetype(qstrnlen(bytes, std::size_t(std::max(size, 0)))));
        break;
    }
    case SQLITE_BLOB: {
        found.kind = Cell::Kind::blob;
        const void *bytes = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        if (bytes && size > 0)
            found.bytes = QByteArrayView(static_cast<const char *>(bytes), size);
        break;
    }
    default:
        break;
    }
    return found;
}

std::int64_t SQLiteDatabase::Cursor::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

void SQLiteDatabase::forEachRow(const QString &sql, const std::vector<Value> &bindings,
    const std::function<void(const Cursor &)> &visit)
{
    forEachRowWhile(sql, bindings, [&](const Cursor &cursor) {
        visit(cursor);
        return true;
    });
}

sqlite3_stmt *SQLiteDatabase::takeStatement(const QString &sql)
{
    {
        const std::lock_guard lock(m_cacheMutex);
        const auto found = std::find_if(m_cache.begin(), m_cache.end(),
            [&](const CachedStatement &entry) { return !entry.inUse && entry.sql == sql; });
        if (found != m_cache.end()) {
            found->inUse = true;
            // The most recently used stay at the end; the oldest go first.
            std::rotate(found, found + 1, m_cache.end());
            return m_cache.back().statement;
        }
    }
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_handle, sql.toUtf8().constData(), -1, &statement, nullptr)
        != SQLITE_OK)
        throw lastError();
    return statement;
}

void SQLiteDatabase::returnStatement(const QString &sql, sqlite3_stmt *statement)
{
    // Resetting ends the statement's read transaction; its error, if any, was reported.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    const std::lock_guard lock(m_cacheMutex);
    const auto cached = std::find_if(m_cache.begin(), m_cache.end(),
        [&](const CachedStatement &entry) { return entry.statement == statement; });
    if (cached != m_cache.end()) {
        cached->inUse = false;
        return;
    }
    if (m_cache.size() >= statementCacheSize) {
        const auto oldest = std::find_if(m_cache.begin(), m_cache.end(),
            [](const CachedStatement &entry) { return !entry.inUse; });
        if (oldest == m_cache.end()) {
            sqlite3_finalize(statement);
            return;
        }
        sqlite3_finalize(oldest->statement);
        m_cache.erase(oldest);
    }
    m_cache.push_back({ sql, statement, false });
}

void SQLiteDatabase::forEachRowWhile(const QString &sql, const std::vector<Value> &bindings,
    const std::function<bool(const Cursor &)> &visit)
{
    // An SQL text of only white space or comments compiles to no statement at all.
    sqlite3_stmt *const statement = takeStatement(sql);
    if (!statement)
        return;
    const auto giveBack = qScopeGuard([&] { returnStatement(sql, statement); });

    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (bindValue(statement, int(i + 1), bindings[i]) != SQLITE_OK)
            throw lastError();
    }

    const Cursor cursor(statement);
    for (;;) {
        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE)
            return;
        if (result != SQLITE_ROW)
            throw lastError();
        if (!visit(cursor))
            return;
    }
}

std::vector<SQLiteDatabase::Row> SQLiteDatabase::query(
    const QString &sql, const std::vector<Value> &bindings)
{
    std::vector<Row> rows;
    // The names are the same for every row; made once, each row shares them.
    std::vector<QString> names;
    forEachRow(sql, bindings, [&](const Cursor &cursor) {
        const int columns = cursor.columnCount();
        if (names.empty()) {
            for (int column = 0; column < columns; ++column)
                names.push_back(cursor.columnName(column));
        }
        Row row;
        row.values.reserve(columns);
        for (int column = 0; column < columns; ++column)
            row.values.insert(names[std::size_t(column)], cursor.value(column));
        rows.push_back(std::move(row));
    });
    return rows;
}

SQLiteDatabase::ValuePiece SQLiteDatabase::readValuePiece(const char *table, const char *column,
    std::int64_t rowID, qsizetype byteOffset, qsizetype maximumBytes)
{
    sqlite3_blob *opened = nullptr;
    if (sqlite3_blob_open(m_handle, "main", table, column, rowID, 0, &opened) != SQLITE_OK) {
        const Error error = lastError();
        sqlite3_blob_close(opened);
        throw error;
    }
    const std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob *)> blob(opened, sqlite3_blob_close);
    ValuePiece piece;
    piece.totalBytes = sqlite3_blob_bytes(blob.get());
    const qsizetype start = std::clamp<qsizetype>(byteOffset, 0, piece.totalBytes);
    const qsizetype size = std::clamp<qsizetype>(maximumBytes, 0, piece.totalBytes - start);
    piece.bytes.resize(size);
    if (size > 0
        && sqlite3_blob_read(blob.get(), piece.bytes.data(), int(size), int(start)) != SQLITE_OK)
        throw lastError();
    return piece;
}

std::int64_t SQLiteDatabase::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_handle);
}

std::int64_t SQLiteDatabase::changeCount() const
{
    return sqlite3_total_changes64(m_handle);
}

bool SQLiteDatabase::inTransaction() const
{
    return sqlite3_get_autocommit(m_handle) == 0;
}

void SQLiteDatabase::rollBack()
{
    // An interruption meant for the statement that failed can still reach the ROLLBACK: the
    // connection forgets one only when a statement starts while none runs, and another thread
    // may interrupt again just then, or while a ROLLBACK is being compiled (a cached one may
    // have been pushed out). Left open, the transaction would keep every later read on this
    // connection in the past and the log from starting over. So the ROLLBACK is compiled once
    // with the connection, and started again after an interruption.
    for (int attempt = 1; inTransaction(); ++attempt) {
        if (sqlite3_step(m_rollBack) == SQLITE_DONE) {
            sqlite3_reset(m_rollBack);
            continue;
        }
        const Error error = lastError();
        sqlite3_reset(m_rollBack);
        if (!error.isInterruption() || attempt == rollBackAttempts)
            throw error;
    }
}

SQLiteDatabase::Error SQLiteDatabase::lastError() const
{
    return Error(sqlite3_errcode(m_handle), QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

const QString *textValue(const SQLiteDatabase::Row &row, const QString &column)
{
    return valueOf<QString>(row, column);
}

const std::int64_t *integerValue(const SQLiteDatabase::Row &row, const QString &column)
{
    return valueOf<std::int64_t>(row, column);
}

const QByteArray *blobValue(const SQLiteDatabase::Row &row, const QString &column)
{
    return valueOf<QByteArray>(row, column);
}

} // namespace corvane
