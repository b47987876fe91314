#include "info_options.h"

#include <cstdio>
#include <cstring>

namespace velloran {

int answerInfoOption(int argc, const char* const* argv) {
    if (argc != 2)
        return -1;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("velloran %s\n", VELLORAN_VERSION);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::printf("Usage: velloran [FILE]\n"
                    "       velloran --stats | --version | --help\n"
                    "Plays recorded dictation in a strip that stays above other windows.\n"
                    "FILE is opened at once; without it the remembered dictation is.\n"
                    "--stats prints today's and the last 7 days' work.\n");
        return 0;
    }
    return -1;
}

} // namespace velloran
