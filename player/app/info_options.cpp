#include "info_options.h"

#include "core/actions.h"

#include <cstdio>
#include <cstring>

namespace velloran {

QString actionList() {
    QString text;
    for (const ActionInfo& info : actionTable()) {
        QString line = QStringLiteral("  %1 %2").arg(info.name, -16).arg(info.description);
        if (!info.defaultKey.isEmpty())
            line += QStringLiteral(" [%1]").arg(info.defaultKey);
        text += line + QLatin1Char('\n');
    }
    return text;
}

int answerInfoOption(int argc, const char* const* argv) {
    if (argc != 2)
        return -1;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("velloran %s\n", VELLORAN_VERSION);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "Usage: velloran [FILE]\n"
            "       velloran --command ACTION\n"
            "       velloran --stats | --version | --help\n"
            "Plays recorded dictation in a strip that stays above other windows.\n"
            "FILE is opened at once; without it the remembered dictation is. A FILE given\n"
            "while the player runs is handed to it. --stats prints today's and the last\n"
            "7 days' work.\n"
            "\n"
            "--command ACTION runs ACTION in the running player, as its key would. To have\n"
            "a key of your own for it, bind a custom shortcut in the desktop's keyboard\n"
            "settings to, for example: velloran --command play-pause\n"
            "The player's own keys (default in brackets) are set in Settings > Keys...\n"
            "\n"
            "Actions:\n%s",
            actionList().toLocal8Bit().constData());
        return 0;
    }
    return -1;
}

} // namespace velloran
