#pragma once

#include "core/dictation_library.h"

#include <algorithm>

namespace velloran::testing {

/// The dictation library's store in memory; failWrites makes save() fail.
struct MemoryDictationStore final : DictationStore {
    std::optional<DictationRecord> findByPath(const QString& path) override {
        for (const DictationRecord& r : records)
            if (r.path == path)
                return r;
        return std::nullopt;
    }
    std::optional<DictationRecord> findByFingerprint(qint64 size,
                                                     const QByteArray& print) override {
        for (const DictationRecord& r : records)
            if (r.size == size && r.fingerprint == print)
                return r;
        return std::nullopt;
    }
    bool save(DictationRecord& record, const WorkDay& work) override {
        if (failWrites)
            return false;
        records.removeIf([&](const DictationRecord& r) {
            return r.id == record.id || (r.path == record.path && r.id != record.id);
        });
        if (record.id == 0)
            record.id = ++lastId;
        records << record;
        if (work.spent > 0 || work.audio > 0)
            days << WorkDay{record.id, work.day, work.spent, work.audio};
        ++saves;
        return true;
    }
    QList<DictationRecord> recent(int count) override {
        QList<DictationRecord> sorted = records;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.lastOpened > b.lastOpened; });
        return sorted.mid(0, count);
    }
    QList<WorkDay> workSince(const QDate& from) override {
        QList<WorkDay> since = days;
        since.removeIf([&](const WorkDay& d) { return d.day < from; });
        return since;
    }

    QList<DictationRecord> records;
    QList<WorkDay> days;
    qint64 lastId = 0;
    int saves = 0;
    bool failWrites = false;
};

} // namespace velloran::testing
