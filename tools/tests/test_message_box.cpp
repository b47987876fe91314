#include "message_box.h"

#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using namespace velloran::testing;
using velloran::tools::showMessage;

// Points PATH at a folder of stand-in dialog programs and sets the session variables for
// the duration of a test.
class MessageBox : public ::testing::Test {
protected:
    void SetUp() override {
        save("PATH");
        save("DISPLAY");
        save("WAYLAND_DISPLAY");
        save("VELLORAN_NO_DIALOG");
        ::unsetenv("VELLORAN_NO_DIALOG");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("PATH", dir.path().c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void save(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    // A dialog program that writes each of its arguments on a line of its own.
    void standIn(const std::string& name) {
        writeScript(dir / name, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                    (dir / (name + ".args")).string() + "\"\n");
    }

    TempDir dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(MessageBox, WritesCaptionAndTextToStderrAndShowsNoDialogWithoutADisplay) {
    standIn("zenity");
    ::unsetenv("DISPLAY");
    ::testing::internal::CaptureStderr();
    showMessage("Tolvane", "Unable to find file: /x.dss");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Tolvane: Unable to find file: /x.dss\n");
    EXPECT_FALSE(fs::exists(dir / "zenity.args"));
}

TEST_F(MessageBox, ShowsTheTextInADialogInAGraphicalSession) {
    standIn("zenity");
    standIn("xmessage");
    ::setenv("DISPLAY", ":77", 1);
    ::testing::internal::CaptureStderr();
    showMessage("Error", "line one\n  line two <b>");
    ::testing::internal::GetCapturedStderr();
    // zenity is preferred, and told not to read the text as markup.
    EXPECT_EQ(readText(dir / "zenity.args"),
              "--info\n--no-markup\n--title=Error\n--text=line one\n  line two <b>\n");
    EXPECT_FALSE(fs::exists(dir / "xmessage.args"));
}

TEST_F(MessageBox, FallsBackToOtherDialogProgramsAndHonoursTheSwitch) {
    standIn("xmessage");
    ::setenv("DISPLAY", ":77", 1);
    ::testing::internal::CaptureStderr();
    showMessage("Tolvane", "Unable to find file: ");
    EXPECT_EQ(readText(dir / "xmessage.args"),
              "-title\nTolvane\n-buttons\nOK\n-center\nUnable to find file: \n");

    fs::remove(dir / "xmessage.args");
    ::setenv("VELLORAN_NO_DIALOG", "1", 1);
    showMessage("Tolvane", "again");
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fs::exists(dir / "xmessage.args"));
}

} // namespace
