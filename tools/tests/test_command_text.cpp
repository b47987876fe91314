#include "command_text.h"

#include <gtest/gtest.h>

namespace {

using velloran::tools::ConversionRequest;
using velloran::tools::joinArguments;
using velloran::tools::requestText;
using velloran::tools::splitRequest;

struct SplitCase {
    const char* text;
    const char* source;
    const char* destination;
};

class SplitRequest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitRequest, SplitsAtTheFirstBarAndTrims) {
    const auto& c = GetParam();
    const ConversionRequest request = splitRequest(c.text);
    EXPECT_EQ(request.source, c.source);
    EXPECT_EQ(request.destination, c.destination);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SplitRequest,
    ::testing::Values(SplitCase{"a.dss|b.wav", "a.dss", "b.wav"},
                      SplitCase{"  a.dss   |\tb.wav \r\n", "a.dss", "b.wav"},
                      SplitCase{"/My Files/a.dss | /My Files/a.wav", "/My Files/a.dss",
                                "/My Files/a.wav"},
                      SplitCase{"a.dss|b|c.wav", "a.dss", "b|c.wav"},
                      SplitCase{"a.dss|", "a.dss", ""}, SplitCase{"a.dss |  ", "a.dss", ""},
                      SplitCase{"|b.wav", "", "b.wav"}, SplitCase{"a.dss b.wav", "", "a.dss b.wav"},
                      SplitCase{"", "", ""}, SplitCase{"|", "", ""},
                      SplitCase{"\"a b.dss\"|\"c.wav\"", "\"a b.dss\"", "\"c.wav\""}));

TEST(JoinArguments, PutsShellSplitArgumentsBackTogetherWithSingleBlanks) {
    const char* split[] = {"quillmere", "/My", "Files/a.dss", "|", "/My", "Files/a.wav"};
    EXPECT_EQ(joinArguments(6, split), "/My Files/a.dss | /My Files/a.wav");
    const char* single[] = {"tolvane", " a.dss | b.wav "};
    EXPECT_EQ(joinArguments(2, single), " a.dss | b.wav ");
    const char* none[] = {"tolvane"};
    EXPECT_EQ(joinArguments(1, none), "");
}

TEST(RequestText, JoinsTheTrimmedPartsWithoutBlanks) {
    EXPECT_EQ(requestText(splitRequest("  /d/a b.dss  |  /d/a b.wav ")), "/d/a b.dss|/d/a b.wav");
}

} // namespace
