// The zip pass-through and libzipdll.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zip.h>

#include <filesystem>
#include <set>

#include "loopback.h"
#include "relaywick.h"
#include "zip_library.h"
#include "zipdll.h"

using namespace rwtest;
namespace fs = std::filesystem;

namespace {

intptr_t V(const std::string& s) {
    return reinterpret_cast<intptr_t>(s.c_str());
}

std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = e.path().lexically_relative(root).generic_string();
        tree[name] = e.is_directory() ? "<dir>" : ReadFile(e.path());
    }
    return tree;
}

// Writes an archive with the given entries (name -> content) straight through libzip.
void MakeArchive(const std::string& path, const std::vector<std::string>& names,
                 const std::string& content = "payload") {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const std::string& name : names) {
        zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
        const zip_int64_t index = zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8);
        ASSERT_EQ(zip_set_file_compression(z, index, ZIP_CM_STORE, 0), 0) << name;
    }
    ASSERT_EQ(zip_close(z), 0);
}

class ZipPassThrough : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadZipLib(), 1); }
    void TearDown() override { UnLoadZipLib(); }
    TempDir dir_;
};

TEST(ZipUnloaded, ZipAndUnZipFailBeforeLoadAndAfterUnload) {
    TempDir dir;
    const std::string source = dir / "a.txt", archive = dir / "a.zip";
    WriteFile(source, "a");
    char name[RELAYWICK_NAME_SIZE] = {};
    EXPECT_EQ(Zip(V(archive), V(source)), 0);
    EXPECT_EQ(UnZip(V(archive), V(dir / "out"), name), 0);
    ASSERT_EQ(LoadZipLib(), 1);
    EXPECT_EQ(Zip(V(archive), V(source)), 1);
    EXPECT_EQ(UnLoadZipLib(), 1);
    EXPECT_EQ(Zip(V(archive), V(source)), 0);
    EXPECT_EQ(UnZip(V(archive), V(dir / "out"), name), 0);
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(ZipUnloaded, LibraryInAnotherFolderIsNotFound) {
    TempDir dir;
    relaywick::ZipLibrary zip;
    EXPECT_FALSE(zip.Load(dir.path().string()));
    EXPECT_EQ(zip.basicZip(), nullptr);
    EXPECT_TRUE(zip.Load(relaywick::ZipLibrary::OwnFolder()));
    EXPECT_NE(zip.unzip(), nullptr);
}

TEST_F(ZipPassThrough, AnArchiveThatIsTheSourceOrLiesInItsFolderIsRefused) {
    const fs::path src = dir_.path() / "src";
    fs::create_directories(src / "sub");
    WriteFile(src / "a.txt", "keep me");
    const std::string file = (src / "a.txt").string();
    EXPECT_EQ(Zip(V(file), V(file)), 0);
    EXPECT_EQ(ReadFile(file), "keep me");
    fs::create_symlink(src, dir_.path() / "link");
    for (const fs::path& archive : {src / "old.zip", src / "sub" / "new.zip",
                                    dir_.path() / "link" / "sub" / "via-link.zip"}) {
        WriteFile(src / "old.zip", "an older archive");
        EXPECT_EQ(Zip(V(archive.string()), V(src.string())), 0) << archive;
        EXPECT_FALSE(fs::exists(src / "sub" / "new.zip")) << archive;
        EXPECT_EQ(ReadFile(src / "old.zip"), "an older archive") << archive;
    }
    // Beside the folder, with a name that starts like it, is fine.
    EXPECT_EQ(Zip(V((dir_.path() / "src.zip").string()), V(src.string())), 1);
    EXPECT_EQ(Zip(V((dir_.path() / "srcx").string()), V(src.string())), 1);
}

TEST_F(ZipPassThrough, FolderRoundTripReportsEveryNameAndKeepsTheLast) {
    const fs::path src = dir_.path() / "src";
    fs::create_directories(src / "sub" / "deeper");
    fs::create_directories(src / "empty");
    WriteFile(src / "top.txt", "top");
    WriteFile(src / "sub" / "bin.dat", std::string("\0\1\2\xff", 4));
    WriteFile(src / "sub" / "deeper" / "leaf.txt", std::string(100000, 'L'));
    const std::string archive = dir_ / "tree.zip", out = dir_ / "out";
    ASSERT_EQ(Zip(V(archive), V(src.string())), 1);

    char last[RELAYWICK_NAME_SIZE];
    std::memset(last, 'X', sizeof last);
    ASSERT_EQ(UnZip(V(archive), V(out), last), 1);
    EXPECT_EQ(Tree(out), Tree(src));

    // The names as libzipdll reports them, one call each.
    void* lib =
        dlopen((relaywick::ZipLibrary::OwnFolder() + "/" ZIPDLL_FILE_NAME).c_str(), RTLD_NOW);
    ASSERT_NE(lib, nullptr);
    auto unzip = reinterpret_cast<UnzipFunction>(dlsym(lib, "Unzip"));
    static std::vector<std::string> names;
    names.clear();
    ASSERT_EQ(unzip(V(archive), V(dir_ / "again"), 0, 0,
                    [](const char* n) {
                        names.emplace_back(n);
                        return 0;
                    }),
              1);
    dlclose(lib);
    std::set<std::string> expected;
    for (const auto& [name, content] : Tree(src))
        expected.insert(content == "<dir>" ? name + "/" : name);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    ASSERT_FALSE(names.empty());
    EXPECT_STREQ(last, names.back().c_str());
}

TEST_F(ZipPassThrough, SingleFileAndEmptyFolder) {
    const std::string file = dir_ / "one.txt", archive = dir_ / "one.zip";
    WriteFile(file, "single");
    ASSERT_EQ(Zip(V(archive), V(file)), 1);
    char last[RELAYWICK_NAME_SIZE] = {};
    ASSERT_EQ(UnZip(V(archive), V(dir_ / "out"), last), 1);
    EXPECT_STREQ(last, "one.txt");
    EXPECT_EQ(ReadFile(dir_ / "out/one.txt"), "single");

    fs::create_directory(dir_ / "void");
    ASSERT_EQ(Zip(V(dir_ / "void.zip"), V(dir_ / "void")), 1);
    ASSERT_EQ(UnZip(V(dir_ / "void.zip"), V(dir_ / "void-out"), last), 1);
    EXPECT_STREQ(last, "one.txt") << "a run that reports nothing keeps the last name";
    EXPECT_TRUE(fs::is_empty(dir_ / "void-out"));

    EXPECT_EQ(Zip(V(dir_ / "x.zip"), V(dir_ / "does-not-exist")), 0);
}

TEST_F(ZipPassThrough, EntriesOutsideTheFolderAreRefusedBeforeAnythingIsWritten) {
    const fs::path out = dir_.path() / "jail" / "out";
    fs::create_directories(out);
    char last[RELAYWICK_NAME_SIZE] = {};
    const std::string good = dir_ / "good.zip";
    MakeArchive(good, {"fine.txt"});
    ASSERT_EQ(UnZip(V(good), V(out.string()), last), 1);
    ASSERT_STREQ(last, "fine.txt");

    const std::vector<std::vector<std::string>> bad = {{"ok.txt", "../evil.txt"},
                                                       {"ok.txt", "a/../../evil.txt"},
                                                       {"ok.txt", "/tmp/evil.txt"},
                                                       {"ok.txt", "..\\evil.txt"}};
    for (const auto& names : bad) {
        const std::string archive = dir_ / "bad.zip";
        MakeArchive(archive, names);
        EXPECT_EQ(UnZip(V(archive), V(out.string()), last), 0) << names[1];
        EXPECT_FALSE(fs::exists(out / "ok.txt")) << names[1];
        EXPECT_STREQ(last, "fine.txt");
    }
    EXPECT_FALSE(fs::exists(dir_.path() / "jail" / "evil.txt"));
    EXPECT_FALSE(fs::exists(dir_.path() / "evil.txt"));
}

TEST_F(ZipPassThrough, LinksInTheFolderAreNotFollowed) {
    const fs::path out = dir_.path() / "out", outside = dir_.path() / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, out / "link");
    fs::create_symlink(outside / "target.txt", out / "file-link");
    const std::string archive = dir_ / "links.zip";
    MakeArchive(archive, {"link/escaped.txt"});
    char last[RELAYWICK_NAME_SIZE] = {};
    EXPECT_EQ(UnZip(V(archive), V(out.string()), last), 0);
    // A link where a file goes is replaced by the file.
    MakeArchive(archive, {"file-link"});
    EXPECT_EQ(UnZip(V(archive), V(out.string()), last), 1);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / "file-link")));
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(ZipPassThrough, ADamagedEntryOrAFullDiskLeavesTheOldFile) {
    const std::string archive = dir_ / "a.zip", entry = dir_ / "entry.txt", folder = dir_.path();
    for (const bool damaged : {true, false}) {
        MakeArchive(archive, {"entry.txt"}, std::string(256 * 1024, 'd'));
        std::string bytes = ReadFile(archive);
        bytes[bytes.find("ddd")] ^= damaged; // one bit of the stored data
        WriteFile(archive, bytes);
        WriteFile(entry, "old");
        if (fork() == 0) { // else a disk that is full after 64 KiB
            const rlimit cap{64 * 1024, 64 * 1024};
            signal(SIGXFSZ, SIG_IGN);
            _exit((damaged || setrlimit(RLIMIT_FSIZE, &cap) == 0) &&
                  UnZip(V(archive), V(folder), 0));
        }
        wait(nullptr);
        EXPECT_TRUE(ReadFile(entry) == "old") << damaged;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), 2) << "a.zip, entry.txt";
    }
}

TEST_F(ZipPassThrough, LongNameIsCutTo511) {
    std::string name;
    for (int i = 0; i < 4; ++i)
        name += std::string(150, static_cast<char>('a' + i)) + "/";
    name += "end.txt";
    const std::string archive = dir_ / "long.zip";
    MakeArchive(archive, {name});
    char last[RELAYWICK_NAME_SIZE + 1];
    std::memset(last, 'X', sizeof last);
    ASSERT_EQ(UnZip(V(archive), V(dir_ / "out"), last), 1);
    EXPECT_EQ(std::string(last), name.substr(0, 511));
    EXPECT_EQ(last[RELAYWICK_NAME_SIZE], 'X') << "no more than 512 bytes are copied";
    EXPECT_TRUE(fs::exists(dir_.path() / "out" / name));
}

} // namespace
