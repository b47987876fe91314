#pragma once

#include <linux/input.h>

#include <string>

namespace velloran::devices::testing {

/// The bytes of one evdev record, as a device node delivers it.
inline std::string record(int type, int code, int value) {
    input_event ev{};
    ev.type = static_cast<__u16>(type);
    ev.code = static_cast<__u16>(code);
    ev.value = value;
    return std::string(reinterpret_cast<const char*>(&ev), sizeof ev);
}
/// A key or button change with its report end.
inline std::string key(int code, int value) {
    return record(EV_KEY, code, value) + record(EV_SYN, SYN_REPORT, 0);
}

} // namespace velloran::devices::testing
