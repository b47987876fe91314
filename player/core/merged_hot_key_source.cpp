#include "merged_hot_key_source.h"

#include <chrono>
#include <utility>

namespace velloran {

MergedHotKeySource::MergedHotKeySource(std::unique_ptr<HotKeySource> first,
                                       std::unique_ptr<HotKeySource> second, Clock clock)
    : first_(std::move(first)), second_(std::move(second)), clock_(std::move(clock)) {
    if (!clock_) {
        clock_ = [] {
            using namespace std::chrono;
            return qint64(
                duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
        };
    }
    first_->activated = [this](int id) {
        forward(id, first_.get());
    };
    second_->activated = [this](int id) {
        forward(id, second_.get());
    };
}

MergedHotKeySource::~MergedHotKeySource() {
    first_->activated = nullptr;
    second_->activated = nullptr;
}

void MergedHotKeySource::registerKeys(const QList<HotKeyBinding>& keys) {
    lastPress_.clear();
    first_->registerKeys(keys);
    second_->registerKeys(keys);
}

void MergedHotKeySource::unregisterKeys() {
    first_->unregisterKeys();
    second_->unregisterKeys();
}

bool MergedHotKeySource::isHeldElsewhere(const KeyChord& key) {
    return first_->isHeldElsewhere(key) || second_->isHeldElsewhere(key);
}

void MergedHotKeySource::forward(int id, const HotKeySource* from) {
    const qint64 now = clock_();
    const auto last = lastPress_.constFind(id);
    if (last != lastPress_.cend() && last->from != from && now - last->at < kSamePressMs)
        return;
    lastPress_.insert(id, Press{from, now});
    if (activated)
        activated(id);
}

} // namespace velloran
