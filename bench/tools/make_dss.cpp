// make-dss: wraps frames in a DSS container, for the benchmark and for trying the tools by
// hand.
//   make-dss lp <raw.g723> <out.dss> [repeat]   G.723.1 frames, the whole set `repeat` times
//   make-dss sp <frames> <out.dss>              that many dummy SP frames

#include "dss_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    using namespace velloran::testing;
    if (argc < 4) {
        std::fprintf(stderr, "usage: make-dss lp RAW.g723 OUT.dss [REPEAT] | sp COUNT OUT.dss\n");
        return 2;
    }
    const std::string mode = argv[1];
    DssRecording recording;
    if (mode == "lp") {
        std::ifstream in(argv[2], std::ios::binary);
        const std::vector<std::uint8_t> raw((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
        const auto frames = splitLpFrames(raw);
        const long repeat = argc > 4 ? std::strtol(argv[4], nullptr, 10) : 1;
        for (long i = 0; i < repeat; ++i)
            recording.frames.insert(recording.frames.end(), frames.begin(), frames.end());
        recording.codec = 2;
    } else if (mode == "sp") {
        recording.frames = dummySpFrames(std::strtoul(argv[2], nullptr, 10));
        recording.codec = 0;
    } else {
        std::fprintf(stderr, "make-dss: unknown kind %s\n", mode.c_str());
        return 2;
    }
    const auto bytes = buildDss(recording);
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
