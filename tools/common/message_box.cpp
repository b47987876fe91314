#include "message_box.h"

#include "process.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace velloran::tools {

namespace {

bool hasVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool graphicalSession() {
    return (hasVariable("DISPLAY") || hasVariable("WAYLAND_DISPLAY")) &&
           std::getenv("VELLORAN_NO_DIALOG") == nullptr;
}

// The first dialog program found wins; each takes the caption and text as plain arguments.
void showDialog(const std::string& caption, const std::string& text) {
    if (auto zenity = findProgram("zenity")) {
        runAndWait(*zenity, {"--info", "--no-markup", "--title=" + caption, "--text=" + text});
        return;
    }
    if (auto kdialog = findProgram("kdialog")) {
        runAndWait(*kdialog, {"--title", caption, "--msgbox", text});
        return;
    }
    // Every message the tools show starts with a letter, so xmessage never takes it for an
    // option.
    if (auto xmessage = findProgram("xmessage"))
        runAndWait(*xmessage, {"-title", caption, "-buttons", "OK", "-center", text});
}

} // namespace

void showMessage(std::string_view caption, std::string_view text) {
    const std::string captionText(caption);
    const std::string messageText(text);
    std::fprintf(stderr, "%s: %s\n", captionText.c_str(), messageText.c_str());
    std::fflush(stderr);
    if (graphicalSession())
        showDialog(captionText, messageText);
}

} // namespace velloran::tools
