// Reading and writing files safely: only regular files are read, and never
// by waiting on a FIFO; sizes are bounded; unreadable settings are reported;
// atomic writes refuse link loops and clean up after saves that were cut off.
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace kavum::platform;
namespace fs = std::filesystem;

namespace {

struct Folder {
    Folder() {
        std::string tmpl = (fs::temp_directory_path() / "kavum-files-XXXXXX").string();
        path = mkdtemp(tmpl.data());
    }
    ~Folder() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string path;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Runs f on a thread and reports whether it ended within the time; a call
// that blocks forever is left behind rather than hanging the test.
template <class F>
bool EndsWithin(std::chrono::seconds limit, F f) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done, f] {
        f();
        *done = true;
    }).detach();
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!*done && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return *done;
}

TEST(FileSafety, OnlyRegularFilesAreReadAndNothingWaits) {
    Folder dir;
    const std::string fifo = dir.File("data.grd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto refused = std::make_shared<std::atomic<int>>(0);
    EXPECT_TRUE(EndsWithin(std::chrono::seconds(5), [fifo, refused] {
        try {
            ReadWholeFile(fifo);
        } catch (const FileError&) {
            *refused = 1;
        }
    }));
    EXPECT_EQ(*refused, 1);
    EXPECT_THROW(ReadWholeFile("/dev/zero"), FileError);
    EXPECT_THROW(ReadWholeFile("/dev/null"), FileError);
    EXPECT_THROW(ReadWholeFile(dir.path), FileError);

    // A settings file that is a FIFO reads as empty, reported unreadable,
    // and is not written through.
    bool unreadable = false;
    EXPECT_TRUE(EndsWithin(std::chrono::seconds(5), [fifo, &unreadable] { ProfileFile::Load(fifo, &unreadable); }));
    EXPECT_TRUE(unreadable);
    EXPECT_FALSE(WriteProfileString(fifo, "A", "b", "1"));
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(FileSafety, SizeIsBounded) {
    Folder dir;
    const std::string big = dir.File("big.grd");
    Spit(big, "");
    // A sparse file: no disk is used.
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(MaxReadSize + 1)), 0);
    EXPECT_THROW(ReadWholeFile(big), FileTooLargeError);
    ASSERT_EQ(truncate(big.c_str(), 5), 0);
    EXPECT_EQ(ReadWholeFile(big), std::string(5, '\0'));
}

TEST(FileSafety, UnreadableAndMissingSettingsDiffer) {
    Folder dir;
    bool unreadable = true;
    EXPECT_TRUE(ProfileFile::Load(dir.File("missing.ini"), &unreadable).Text().empty());
    EXPECT_FALSE(unreadable);

    const std::string ini = dir.File("k.ini");
    Spit(ini, "[Map]\r\nMLW=2\r\n; mine\r\n");
    ASSERT_EQ(chmod(ini.c_str(), 0200), 0);  // writable, not readable
    EXPECT_TRUE(ProfileFile::Load(ini, &unreadable).Text().empty());
    EXPECT_TRUE(unreadable);
    // One key written into it would replace the rest: refused.
    EXPECT_FALSE(WriteProfileString(ini, "Map", "MLW", "1"));
    chmod(ini.c_str(), 0644);
    EXPECT_EQ(Slurp(ini), "[Map]\r\nMLW=2\r\n; mine\r\n");
}

TEST(FileSafety, LinkLoopsAndDanglingChainsAreRefused) {
    Folder dir;
    ASSERT_EQ(symlink("b.ini", dir.File("a.ini").c_str()), 0);
    ASSERT_EQ(symlink("a.ini", dir.File("b.ini").c_str()), 0);
    EXPECT_FALSE(WriteFileAtomically(dir.File("a.ini"), "x"));
    EXPECT_TRUE(fs::is_symlink(dir.File("a.ini")));
    EXPECT_TRUE(fs::is_symlink(dir.File("b.ini")));

    ASSERT_EQ(symlink("nowhere/k.ini", dir.File("dangling.ini").c_str()), 0);
    EXPECT_FALSE(WriteFileAtomically(dir.File("dangling.ini"), "x"));
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.ini")));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.ini", "b.ini", "dangling.ini"}));

    // A new file by plain name is still made.
    EXPECT_TRUE(WriteFileAtomically(dir.File("new.ini"), "x"));
    EXPECT_EQ(Slurp(dir.File("new.ini")), "x");
}

TEST(FileSafety, SavesCutOffAreCleanedUpAtTheNextSave) {
    Folder dir;
    const std::string target = dir.File("figure.png");
    Spit(target, "old");
    // Left by a process that is gone (no process has a pid this large) and
    // by one still running (this one): only the first is removed.
    Spit(dir.File("figure.png.kavum-save-999999999-0.tmp"), "half");
    const std::string live = "figure.png.kavum-save-" + std::to_string(getpid()) + "-7.tmp";
    Spit(dir.File(live), "busy");
    Spit(dir.File("other.png.kavum-save-999999999-0.tmp"), "another file's");
    ASSERT_TRUE(WriteFileAtomically(target, "new"));
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"figure.png", live, "other.png.kavum-save-999999999-0.tmp"}));
}

}  // namespace

// Figures and dumps put their file in the place of a link planted under
// their name and leave what it names alone; the user's own files are still
// written through their links. Failures say why, in Japanese.
TEST(FileSafety, ReplacingALinkNeverWritesItsTarget) {
    Folder dir;
    std::ofstream(dir.File("victim.txt")) << "precious";
    fs::create_directory(dir.File("out"));
    fs::create_symlink("../victim.txt", dir.File("out/0007-Abies.png"));
    ReplaceOptions figure;
    figure.followLinks = false;
    ASSERT_EQ(ReplaceFile(dir.File("out/0007-Abies.png"), "figure", figure), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("victim.txt")), "precious");
    EXPECT_FALSE(fs::is_symlink(dir.File("out/0007-Abies.png")));
    EXPECT_EQ(ReadWholeFile(dir.File("out/0007-Abies.png")), "figure");
    // A dangling or looping link is replaced all the same.
    fs::create_symlink("nowhere", dir.File("out/b.png"));
    fs::create_symlink("c.png", dir.File("out/c.png"));
    EXPECT_EQ(ReplaceFile(dir.File("out/b.png"), "b", figure), 0);
    EXPECT_EQ(ReplaceFile(dir.File("out/c.png"), "c", figure), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("out/c.png")), "c");
    // The settings file through a link: the file it names is written.
    fs::create_symlink("victim.txt", dir.File("kavum.ini"));
    ASSERT_TRUE(WriteFileAtomically(dir.File("kavum.ini"), "[Map]\r\n"));
    EXPECT_TRUE(fs::is_symlink(dir.File("kavum.ini")));
    EXPECT_EQ(ReadWholeFile(dir.File("victim.txt")), "[Map]\r\n");

    try {
        ReplaceFileOrThrow("/dev/full", "x", figure, "/dev/full に書き込めません");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Message(), "/dev/full に書き込めません（通常のファイルではありません）");
    }
    EXPECT_EQ(ReplaceFile(dir.File("none/x.png"), "x", figure), ENOENT);
    EXPECT_EQ(WithReason("x に書き込めません", ENOSPC), "x に書き込めません（空き容量がありません）");
    EXPECT_EQ(SystemReason(EACCES), "アクセスが許可されていません");
    try {
        ReadWholeFile(dir.File("none.grd"));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Message(), dir.File("none.grd") + " を開けません（ファイルまたはフォルダーがありません）");
        EXPECT_EQ(e.Reason(), "ファイルまたはフォルダーがありません");
    }
}

// A file replaced because it could not be read takes the user's normal
// mode; an ordinary replacement keeps the file's own.
TEST(FileSafety, NormalModeForAReplacedUnreadableFile) {
    Folder dir;
    const mode_t mask = umask(022);
    std::ofstream(dir.File("k.ini")) << "x";
    ASSERT_EQ(chmod(dir.File("k.ini").c_str(), 0200), 0);
    ASSERT_EQ(ReplaceFile(dir.File("k.ini"), "y", ReplaceOptions{}), 0);
    struct stat st {};
    ASSERT_EQ(stat(dir.File("k.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0200u);
    ReplaceOptions normal;
    normal.normalMode = true;
    ASSERT_EQ(ReplaceFile(dir.File("k.ini"), "z", normal), 0);
    ASSERT_EQ(stat(dir.File("k.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    umask(mask);
    EXPECT_EQ(MakeFolders(dir.File("a/b/c")), 0);
    EXPECT_TRUE(fs::is_directory(dir.File("a/b/c")));
    EXPECT_EQ(MakeFolders(dir.File("k.ini/d")), ENOTDIR);
}
