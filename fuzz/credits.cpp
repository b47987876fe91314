// The credits file reader and the scroll on arbitrary file contents: at most kMaxLines
// lines, each a piece of the text in order (line ends gone, cut to kMaxLineChars), the scroll closes after a
// bounded number of ticks, and every colour is a colour.
#include "core/credits_scroll.h"
#include "fuzz_support.h"

using namespace velloran;

namespace {

bool isColour(const CreditsScroll::Colour& c) {
    return c.red >= 0 && c.red <= 255 && c.green >= 0 && c.green <= 255 && c.blue >= 0 &&
           c.blue <= 255;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = CreditsScroll::parseLines(text);
    if (lines.size() > CreditsScroll::kMaxLines)
        fuzz::fail("more lines than the limit");

    // The lines are the text's pieces between line ends, in order, and all of them while
    // the limit is not reached.
    const QList<QByteArray> pieces = text.split('\n');
    const qsizetype expected = text.isEmpty() ? 0 : pieces.size() - (text.endsWith('\n') ? 1 : 0);
    if (lines.size() != std::min<qsizetype>(expected, CreditsScroll::kMaxLines))
        fuzz::fail("lines lost or made up");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray piece = pieces[i];
        if (piece.endsWith('\r'))
            piece.chop(1);
        // Cut to what can show, never inside a character.
        QString expected = QString::fromUtf8(piece);
        if (expected.size() > CreditsScroll::kMaxLineChars) {
            expected.truncate(CreditsScroll::kMaxLineChars);
            if (expected.back().isHighSurrogate())
                expected.chop(1);
        }
        if (lines[i] != expected)
            fuzz::fail("a line other than its piece of the text");
    }

    // A canvas height from the first bytes; the last line passes the top in a bounded
    // number of one-pixel ticks.
    const int height = size >= 2 ? (data[0] | data[1] << 8) % 4096 : 300;
    CreditsScroll scroll(lines, height);
    const long bound = lines.isEmpty()
                           ? 0
                           : long(height) + long(CreditsScroll::kLineStep) * lines.size() -
                                 CreditsScroll::kCloseAbove + 1;
    long ticks = 0;
    while (!scroll.closesNow() && ticks <= bound) {
        if (!isColour(CreditsScroll::lineColour(scroll.lineTop(1))))
            fuzz::fail("a line colour beyond 0..255");
        scroll.advance();
        ++ticks;
    }
    if (!lines.isEmpty() && !scroll.closesNow())
        fuzz::fail("the credits never close");
    if (lines.isEmpty() && scroll.closesNow())
        fuzz::fail("credits without lines close");

    const QList<CreditsScroll::Band> bands = CreditsScroll::gradient(height);
    if (bands.size() != (height <= 0 ? 0 : height / CreditsScroll::kBandHeight + 1))
        fuzz::fail("gradient band count");
    for (const CreditsScroll::Band& band : bands)
        if (!isColour(band.colour) || band.bottom <= band.top)
            fuzz::fail("a gradient band that is no band");
    return 0;
}
