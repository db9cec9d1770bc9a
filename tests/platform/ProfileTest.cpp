#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace kavum::platform;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "kavum-profile-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, ec);
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (fs::path(path_) / name).string(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

TEST(Profile, ReadsCaseInsensitivelyWithDefaults) {
    auto f = ProfileFile::FromText("[Map]\r\n  gy1 =  35.30  \r\nGridSize=\r\n[Mark1]\r\nStyl=4\r\n");
    EXPECT_EQ(f.ReadString("MAP", "GY1", "30.00"), "35.30");
    EXPECT_EQ(f.ReadString("Map", "GridSize", "1"), "");       // present but empty: not the default
    EXPECT_EQ(f.ReadString("Map", "Styl", "1"), "1");          // key of another section
    EXPECT_EQ(f.ReadString("mark1", "styl", "1"), "4");
    EXPECT_EQ(f.ReadString("Draw", "HorizonMap", "1"), "1");
    EXPECT_TRUE(f.HasKey("map", "gridsize"));
    EXPECT_FALSE(f.HasKey("map", "MeshSize"));
}

TEST(Profile, LongValuesAreCut) {
    auto f = ProfileFile::FromText("[A]\nk=" + std::string(3000, 'x') + "\n");
    EXPECT_EQ(f.ReadString("A", "k", "").size(), ProfileFile::MaxValueLength);
}

TEST(Profile, WritesInPlaceAndKeepsUnknownContent) {
    auto f = ProfileFile::FromText(
        "; my notes\r\n[DataFile]\r\nTitle=old\r\nMine=keep\r\n\r\n[Extra]\r\nx=1\r\n[Map]\r\nGY1=30\r\n");
    f.WriteString("datafile", "TITLE", "new");
    f.WriteString("DataFile", "GrdFile", "a.grd");
    f.WriteString("Map", "GY2", "46.00");
    f.WriteString("Mark1", "Styl", "1");
    EXPECT_EQ(f.Text(),
              "; my notes\r\n[DataFile]\r\nTITLE=new\r\nMine=keep\r\nGrdFile=a.grd\r\n\r\n[Extra]\r\nx=1\r\n"
              "[Map]\r\nGY1=30\r\nGY2=46.00\r\n[Mark1]\r\nStyl=1\r\n");
}

TEST(Profile, ShiftJisValuesPassThrough) {
    TempDir dir;
    const std::string path = dir.File("k.ini");
    const std::string title = "\x93\xfa\x96\x7b\x90\x41\x95\xa8";  // 日本植物
    ASSERT_TRUE(WriteProfileString(path, "DataFile", "Title", title));
    EXPECT_EQ(GetProfileString(path, "DataFile", "Title", ""), title);
    EXPECT_EQ(Slurp(path), "[DataFile]\r\nTitle=" + title + "\r\n");
}

TEST(Profile, FileCreatedAndPermissionsKept) {
    TempDir dir;
    const std::string path = dir.File("new.ini");
    EXPECT_EQ(GetProfileString(path, "A", "b", "dflt"), "dflt");  // missing file reads as empty
    ASSERT_TRUE(WriteProfileString(path, "A", "b", "1"));
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteProfileString(path, "A", "c", "2"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Slurp(path), "[A]\r\nb=1\r\nc=2\r\n");
}

TEST(Profile, FailedWritesLeaveNothingBehind) {
    TempDir dir;
    const std::string path = dir.File("k.ini");
    Spit(path, "[A]\r\nb=1\r\n");

    // A read-only file is not replaced.
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(WriteProfileString(path, "A", "b", "2"));
    EXPECT_EQ(Slurp(path), "[A]\r\nb=1\r\n");
    chmod(path.c_str(), 0644);

    // A read-only folder takes no file.
    chmod(dir.Path().c_str(), 0555);
    EXPECT_FALSE(WriteProfileString(path, "A", "b", "2"));
    EXPECT_FALSE(WriteProfileString(dir.File("other.ini"), "A", "b", "2"));
    chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(Slurp(path), "[A]\r\nb=1\r\n");

    // A folder that does not exist, and a folder where the file should be.
    EXPECT_FALSE(WriteProfileString(dir.File("no/such/k.ini"), "A", "b", "2"));
    fs::create_directory(dir.File("d.ini"));
    EXPECT_FALSE(WriteProfileString(dir.File("d.ini"), "A", "b", "2"));

    // Nothing but the two entries made above is left in the folder.
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 2);
}

TEST(Profile, WritesThroughSymbolicLinks) {
    TempDir dir;
    const std::string target = dir.File("real.ini");
    Spit(target, "[A]\r\nb=1\r\n");
    ASSERT_EQ(symlink("real.ini", dir.File("link.ini").c_str()), 0);
    ASSERT_TRUE(WriteProfileString(dir.File("link.ini"), "A", "b", "2"));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(Slurp(target), "[A]\r\nb=2\r\n");
}

TEST(Profile, ReadWholeFileRefusesFolders) {
    TempDir dir;
    EXPECT_THROW(ReadWholeFile(dir.Path()), std::runtime_error);
    EXPECT_THROW(ReadWholeFile(dir.File("missing")), std::runtime_error);
    Spit(dir.File("x"), std::string("a\0b", 3));
    EXPECT_EQ(ReadWholeFile(dir.File("x")), std::string("a\0b", 3));
}
