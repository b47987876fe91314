#include "sqlite_dictation_store.h"

#include "core/file_names.h"
#include "core/settings.h"

#include <QDir>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cmath>
#include <cstdio>

namespace velloran {

namespace {

// Step k brings a library of version k to version k + 1.
const char* const kMigrations[] = {
    "CREATE TABLE dictations("
    " id INTEGER PRIMARY KEY,"
    " path BLOB NOT NULL UNIQUE,"
    " size INTEGER NOT NULL DEFAULT 0,"
    " modified INTEGER NOT NULL DEFAULT 0,"
    " fingerprint BLOB,"
    " place REAL NOT NULL DEFAULT 0,"
    " length REAL NOT NULL DEFAULT 0,"
    " bookmarks TEXT NOT NULL DEFAULT '',"
    " speed INTEGER NOT NULL DEFAULT 0,"
    " last_opened INTEGER NOT NULL DEFAULT 0,"
    " played REAL NOT NULL DEFAULT 0,"
    " spent REAL NOT NULL DEFAULT 0);"
    "CREATE INDEX dictations_by_fingerprint ON dictations(size, fingerprint);"
    "CREATE INDEX dictations_by_opening ON dictations(last_opened);"
    "CREATE TABLE work("
    // Kept when its dictation's row goes: the days worked stay worked.
    " dictation INTEGER NOT NULL,"
    " day TEXT NOT NULL,"
    " spent REAL NOT NULL DEFAULT 0,"
    " audio REAL NOT NULL DEFAULT 0,"
    " PRIMARY KEY(dictation, day));",
};
static_assert(std::size(kMigrations) == SqliteDictationStore::kSchemaVersion);

const char* const kColumns = "id, path, size, modified, fingerprint, place, length, bookmarks, "
                             "speed, last_opened, played, spent";

/// A prepared statement, finalized when dropped.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
        : prepared_(sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr)) {}
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }

    void bind(int i, qint64 v) { sqlite3_bind_int64(stmt_, i, v); }
    void bind(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
    void bind(int i, const QByteArray& v) {
        sqlite3_bind_blob(stmt_, i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }
    void bindText(int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(stmt_, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    /// SQLITE_ROW, SQLITE_DONE or an error (a damaged file shows already here).
    int step() {
        return stmt_ ? sqlite3_step(stmt_) : prepared_ == SQLITE_OK ? SQLITE_ERROR : prepared_;
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepared_;
};

QByteArray blobAt(sqlite3_stmt* s, int column) {
    return QByteArray(static_cast<const char*>(sqlite3_column_blob(s, column)),
                      sqlite3_column_bytes(s, column));
}

QString bookmarksText(const QList<double>& positions) {
    QStringList parts;
    for (double p : positions)
        parts << numberText(p);
    return parts.join(QLatin1Char(' '));
}

QList<double> bookmarksFrom(const QString& text) {
    QList<double> positions;
    for (const QString& part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const double p = part.toDouble(&ok);
        if (ok && std::isfinite(p))
            positions << p;
    }
    return positions;
}

/// Runs @p sql (no rows); the SQLite result code.
int exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

/// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db), open_(exec(db, "BEGIN IMMEDIATE") == SQLITE_OK) {}
    ~Transaction() {
        if (open_)
            exec(db_, "ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool ok() const { return open_; }
    bool commit() {
        if (!open_ || exec(db_, "COMMIT") != SQLITE_OK)
            return false;
        open_ = false;
        return true;
    }

private:
    sqlite3* db_;
    bool open_;
};

/// Brings the library to the newest schema, one version a transaction. The
/// SQLite result code of the first failure, SQLITE_OK, or -1 when the file is
/// newer than this program.
int migrate(sqlite3* db) {
    int version = 0;
    {
        Statement s(db, "PRAGMA user_version");
        const int rc = s.step();
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE ? SQLITE_ERROR : rc;
        version = sqlite3_column_int(s.get(), 0);
    }
    if (version > SqliteDictationStore::kSchemaVersion)
        return -1;
    for (; version < SqliteDictationStore::kSchemaVersion; ++version) {
        Transaction t(db);
        if (!t.ok())
            return sqlite3_errcode(db);
        if (const int rc = exec(db, kMigrations[version]); rc != SQLITE_OK)
            return rc;
        const QByteArray set = "PRAGMA user_version = " + QByteArray::number(version + 1);
        if (const int rc = exec(db, set.constData()); rc != SQLITE_OK)
            return rc;
        if (!t.commit())
            return sqlite3_errcode(db);
    }
    return SQLITE_OK;
}

/// Opens and checks the file; the result code of the first failure.
int openChecked(const QString& path, SqliteDictationStore* (*make)(sqlite3*),
                std::unique_ptr<SqliteDictationStore>& out) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(fileNameBytes(path).constData(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<SqliteDictationStore> store(raw ? make(raw) : nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_busy_timeout(raw, 3000);
    // A process killed mid-write leaves the WAL behind; the next opening
    // replays the committed transactions and drops the rest.
    {
        Statement wal(raw, "PRAGMA journal_mode=WAL");
        rc = wal.step();
        if (rc != SQLITE_ROW)
            return rc;
    }
    if ((rc = exec(raw, "PRAGMA synchronous=NORMAL")) != SQLITE_OK)
        return rc;
    {
        Statement check(raw, "PRAGMA quick_check");
        rc = check.step();
        if (rc != SQLITE_ROW)
            return rc;
        if (qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0)), "ok") != 0)
            return SQLITE_CORRUPT;
    }
    if ((rc = migrate(raw)) != SQLITE_OK)
        return rc;
    out = std::move(store);
    return SQLITE_OK;
}

QString describe(int code) {
    return code == -1 ? QStringLiteral("it was written by a newer version of Velloran")
                      : QString::fromUtf8(sqlite3_errstr(code));
}

} // namespace

void SqliteDictationStore::Closer::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

SqliteDictationStore::SqliteDictationStore(Handle db) : db_(std::move(db)) {}
SqliteDictationStore::~SqliteDictationStore() = default;

QString SqliteDictationStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Velloran/dictations.sqlite");
}

SqliteDictationStore::Opening SqliteDictationStore::open(const QString& path) {
    Opening result;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        QDir().mkpath(path.left(slash));
    const auto make = [](sqlite3* db) {
        return new SqliteDictationStore(Handle(db));
    };
    int rc = openChecked(path, make, result.store);
    if (rc == SQLITE_OK)
        return result;
    const QString off = QStringLiteral("The dictation library %1 cannot be used (%2); places are "
                                       "remembered for the last dictation only.");
    if (!isDamage(rc)) {
        result.message = off.arg(displayFileName(path), describe(rc));
        return result;
    }
    // Kept for whoever wants to rescue it, never deleted.
    const QString aside = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QByteArray from = fileNameBytes(path);
    const QByteArray to = fileNameBytes(aside);
    if (std::rename(from.constData(), to.constData()) != 0) {
        result.message = off.arg(displayFileName(path), describe(rc));
        return result;
    }
    std::rename((from + "-wal").constData(), (to + "-wal").constData());
    std::remove((from + "-shm").constData());
    rc = openChecked(path, make, result.store);
    result.message =
        rc == SQLITE_OK
            ? QStringLiteral("The dictation library was damaged. It was moved to %1 and a new "
                             "one was started; the places and bookmarks kept in it are lost.")
                  .arg(displayFileName(aside))
            : off.arg(displayFileName(path), describe(rc));
    return result;
}

QList<DictationRecord> SqliteDictationStore::query(const char* where,
                                                   const std::function<void(sqlite3_stmt*)>& bind) {
    QList<DictationRecord> records;
    const QByteArray sql = QByteArray("SELECT ") + kColumns + " FROM dictations " + where;
    Statement s(db_.get(), sql.constData());
    if (!s)
        return records;
    bind(s.get());
    while (s.step() == SQLITE_ROW) {
        sqlite3_stmt* r = s.get();
        DictationRecord d;
        d.id = sqlite3_column_int64(r, 0);
        d.path = fileNameFromBytes(blobAt(r, 1));
        d.size = sqlite3_column_int64(r, 2);
        d.modified = sqlite3_column_int64(r, 3);
        d.fingerprint = blobAt(r, 4);
        d.place = sqlite3_column_double(r, 5);
        d.length = sqlite3_column_double(r, 6);
        d.bookmarks = bookmarksFrom(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(r, 7))));
        d.speedNotch = sqlite3_column_int(r, 8);
        d.lastOpened = sqlite3_column_int64(r, 9);
        d.played = sqlite3_column_double(r, 10);
        d.spent = sqlite3_column_double(r, 11);
        records << d;
    }
    return records;
}

std::optional<DictationRecord> SqliteDictationStore::findByPath(const QString& path) {
    const QByteArray bytes = fileNameBytes(path);
    const auto found = query("WHERE path = ?1", [&](sqlite3_stmt* s) {
        sqlite3_bind_blob(s, 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    });
    return found.isEmpty() ? std::nullopt : std::optional(found.first());
}

std::optional<DictationRecord> SqliteDictationStore::findByFingerprint(qint64 size,
                                                                       const QByteArray& print) {
    const auto found = query(
        "WHERE size = ?1 AND fingerprint = ?2 ORDER BY last_opened DESC", [&](sqlite3_stmt* s) {
            sqlite3_bind_int64(s, 1, size);
            sqlite3_bind_blob(s, 2, print.constData(), int(print.size()), SQLITE_TRANSIENT);
        });
    return found.isEmpty() ? std::nullopt : std::optional(found.first());
}

bool SqliteDictationStore::save(DictationRecord& record, const WorkDay& work) {
    sqlite3* db = db_.get();
    Transaction t(db);
    if (!t.ok())
        return false;
    const QByteArray path = fileNameBytes(record.path);
    {
        Statement drop(db, "DELETE FROM dictations WHERE path = ?1 AND id <> ?2");
        drop.bind(1, path);
        drop.bind(2, record.id);
        if (drop.step() != SQLITE_DONE)
            return false;
    }
    {
        Statement s(db, record.id == 0
                            ? "INSERT INTO dictations(path, size, modified, fingerprint, place, "
                              "length, bookmarks, speed, last_opened, played, spent) "
                              "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"
                            : "INSERT INTO dictations(path, size, modified, fingerprint, place, "
                              "length, bookmarks, speed, last_opened, played, spent, id) "
                              "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12) "
                              "ON CONFLICT(id) DO UPDATE SET path = excluded.path, "
                              "size = excluded.size, modified = excluded.modified, "
                              "fingerprint = excluded.fingerprint, place = excluded.place, "
                              "length = excluded.length, bookmarks = excluded.bookmarks, "
                              "speed = excluded.speed, last_opened = excluded.last_opened, "
                              "played = excluded.played, spent = excluded.spent");
        s.bind(1, path);
        s.bind(2, record.size);
        s.bind(3, record.modified);
        s.bind(4, record.fingerprint);
        s.bind(5, record.place);
        s.bind(6, record.length);
        s.bindText(7, bookmarksText(record.bookmarks));
        s.bind(8, qint64(record.speedNotch));
        s.bind(9, record.lastOpened);
        s.bind(10, record.played);
        s.bind(11, record.spent);
        if (record.id != 0)
            s.bind(12, record.id);
        if (s.step() != SQLITE_DONE)
            return false;
    }
    const qint64 id = record.id != 0 ? record.id : sqlite3_last_insert_rowid(db);
    if (work.day.isValid() && (work.spent > 0 || work.audio > 0)) {
        Statement w(db, "INSERT INTO work(dictation, day, spent, audio) VALUES(?1, ?2, ?3, ?4) "
                        "ON CONFLICT(dictation, day) DO UPDATE SET spent = spent + excluded.spent, "
                        "audio = audio + excluded.audio");
        w.bind(1, id);
        w.bindText(2, work.day.toString(Qt::ISODate));
        w.bind(3, work.spent);
        w.bind(4, work.audio);
        if (w.step() != SQLITE_DONE)
            return false;
    }
    if (!t.commit())
        return false;
    record.id = id;
    return true;
}

QList<DictationRecord> SqliteDictationStore::recent(int count) {
    return query("ORDER BY last_opened DESC, id DESC LIMIT ?1",
                 [&](sqlite3_stmt* s) { sqlite3_bind_int(s, 1, count); });
}

QList<WorkDay> SqliteDictationStore::workSince(const QDate& from) {
    QList<WorkDay> days;
    Statement s(db_.get(), "SELECT dictation, day, spent, audio FROM work WHERE day >= ?1");
    s.bindText(1, from.toString(Qt::ISODate));
    while (s.step() == SQLITE_ROW) {
        const auto text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
        days << WorkDay{sqlite3_column_int64(s.get(), 0),
                        QDate::fromString(QString::fromUtf8(text), Qt::ISODate),
                        sqlite3_column_double(s.get(), 2), sqlite3_column_double(s.get(), 3)};
    }
    return days;
}

} // namespace velloran
