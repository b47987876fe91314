#pragma once

#include "core/dictation_library.h"

#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace velloran {

/// The dictation library's records in an SQLite file: WAL journal, a schema
/// version with migrations, every change in one transaction, so that a
/// process killed at any moment leaves either the change or none of it.
class SqliteDictationStore final : public DictationStore {
public:
    /// The newest schema this program writes.
    static constexpr int kSchemaVersion = 1;

    /// What opening found.
    struct Opening {
        std::unique_ptr<SqliteDictationStore> store; ///< null when it could not be opened
        QString message; ///< for the typist, once; empty when all went well
    };
    /// Opens (or makes) the library at @p path. A damaged file is moved aside
    /// and a new one started; a file that cannot be opened at all (or one
    /// written by a newer program, left as it is) gives no store.
    static Opening open(const QString& path);
    /// $XDG_DATA_HOME/Velloran/dictations.sqlite.
    static QString defaultPath();

    ~SqliteDictationStore() override;

    std::optional<DictationRecord> findByPath(const QString& path) override;
    std::optional<DictationRecord> findByFingerprint(qint64 size,
                                                     const QByteArray& fingerprint) override;
    bool save(DictationRecord& record, const WorkDay& work) override;
    QList<DictationRecord> recent(int count) override;
    QList<WorkDay> workSince(const QDate& from) override;

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    using Handle = std::unique_ptr<sqlite3, Closer>;
    explicit SqliteDictationStore(Handle db);

    QList<DictationRecord> query(const char* where, const std::function<void(sqlite3_stmt*)>& bind);

    Handle db_;
};

} // namespace velloran
