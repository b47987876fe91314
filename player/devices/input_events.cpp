#include "input_events.h"

#include "unique_fd.h"

#include <QDir>

#include <fcntl.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace velloran::devices {

namespace {

struct Range {
    int first, last;
};
constexpr Range kJoystickRange{BTN_JOYSTICK, BTN_DEAD};
constexpr Range kGamepadRange{BTN_SOUTH, BTN_THUMBR};
constexpr Range kTriggerHappyRange{BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40};
constexpr Range kButtonRanges[] = {kJoystickRange, kGamepadRange, kTriggerHappyRange};

bool anyIn(const KeyBits& bits, Range range) {
    for (int key = range.first; key <= range.last; ++key)
        if (bits.test(key))
            return true;
    return false;
}

} // namespace

InputEventDecoder::Result InputEventDecoder::feed(const char* data, std::size_t size) {
    Result result;
    partial_.insert(partial_.end(), data, data + size);
    const std::size_t whole = partial_.size() / sizeof(input_event) * sizeof(input_event);
    for (std::size_t at = 0; at < whole; at += sizeof(input_event)) {
        input_event ev;
        std::memcpy(&ev, partial_.data() + at, sizeof ev);
        if (ev.type == EV_SYN && ev.code == SYN_DROPPED) {
            dropping_ = true;
            continue;
        }
        if (dropping_) {
            if (ev.type == EV_SYN && ev.code == SYN_REPORT) {
                dropping_ = false;
                result.resync = true;
            }
            continue;
        }
        if (ev.type == EV_KEY && (ev.value == 0 || ev.value == 1))
            result.changes.push_back({ev.code, ev.value == 1});
    }
    partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(whole));
    return result;
}

void InputEventDecoder::reset() {
    partial_.clear();
    dropping_ = false;
}

KeyBits keyBitsFromBytes(const unsigned char* bytes, std::size_t size) {
    KeyBits bits;
    const std::size_t count = std::min(size * 8, bits.size());
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i / 8] & (1u << (i % 8)))
            bits.set(i);
    return bits;
}

bool hasJoystickButtons(const KeyBits& capabilities) {
    if (capabilities.test(BTN_TOUCH))
        return false;
    return anyIn(capabilities, kJoystickRange) || anyIn(capabilities, kGamepadRange);
}

ButtonMap ButtonMap::fromCapabilities(const KeyBits& capabilities) {
    ButtonMap map;
    for (const Range range : kButtonRanges)
        for (int key = range.first; key <= range.last; ++key)
            if (capabilities.test(key))
                map.keys_.push_back(key);
    return map;
}

ButtonMap ButtonMap::standard() {
    KeyBits all;
    for (const Range range : kButtonRanges)
        for (int key = range.first; key <= range.last; ++key)
            all.set(key);
    return fromCapabilities(all);
}

int ButtonMap::buttonNumber(int key) const {
    const auto it = std::find(keys_.begin(), keys_.end(), key);
    return it == keys_.end() ? 0 : static_cast<int>(it - keys_.begin()) + 1;
}

int ButtonMap::keyCode(int button) const {
    if (button < 1 || button > count())
        return -1;
    return keys_[static_cast<std::size_t>(button - 1)];
}

QStringList sortedEventNodes(QStringList names) {
    const QString prefix = QStringLiteral("event");
    auto number = [&](const QString& name) {
        bool ok = false;
        const int n = name.mid(prefix.size()).toInt(&ok);
        return ok ? n : -1;
    };
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString& name) {
                                   return !name.startsWith(prefix) || number(name) < 0;
                               }),
                names.end());
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return number(a) < number(b); });
    return names;
}

bool readKeyCapabilities(int fd, KeyBits& capabilities) {
    unsigned char bytes[(KEY_CNT + 7) / 8] = {};
    if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bytes), bytes) < 0)
        return false;
    capabilities = keyBitsFromBytes(bytes, sizeof bytes);
    return true;
}

bool readKeyStates(int fd, KeyBits& states) {
    unsigned char bytes[(KEY_CNT + 7) / 8] = {};
    if (::ioctl(fd, EVIOCGKEY(sizeof bytes), bytes) < 0)
        return false;
    states = keyBitsFromBytes(bytes, sizeof bytes);
    return true;
}

JoystickSearch findJoystickDevice(const QString& directory) {
    const QDir dir(directory);
    const QStringList nodes = sortedEventNodes(dir.entryList(QDir::System | QDir::Files));
    QString firstFailure;
    for (const QString& node : nodes) {
        const QString path = dir.filePath(node);
        UniqueFd fd(::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            if (firstFailure.isEmpty())
                firstFailure = path + QStringLiteral(": ") +
                               QString::fromStdString(
                                   std::error_code(errno, std::generic_category()).message());
            continue;
        }
        KeyBits capabilities;
        if (readKeyCapabilities(fd.get(), capabilities) && hasJoystickButtons(capabilities))
            return {path, {}};
    }
    QString error = QStringLiteral("No joystick found in %1").arg(directory);
    if (!firstFailure.isEmpty())
        error += QStringLiteral(" (%1)").arg(firstFailure);
    return {{}, error};
}

} // namespace velloran::devices
