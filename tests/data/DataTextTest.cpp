#include "data/DataText.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using kavum::data::DataText;
namespace fs = std::filesystem;

namespace {
std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
}  // namespace

TEST(DataText, LoadAppendSave) {
    const fs::path dir = fs::temp_directory_path() / "kavum-datatext";
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        std::ofstream(dir / "a.grd", std::ios::binary) << std::string("\x83\x75\x83\x69\r\n53394611.12\n\xFF\x00x", 21);
    }
    DataText t;
    t.SetLines(DataText::ReadFileLines((dir / "a.grd").string()));
    ASSERT_EQ(t.LineCount(), 3u);
    EXPECT_EQ(t.Line(2), std::string("\xFF\x00x", 3));  // bytes kept as they are
    t.AppendFileText("Mark2\r\n");
    t.SaveToFile((dir / "b.grd").string());
    EXPECT_EQ(Slurp(dir / "b.grd"), std::string("\x83\x75\x83\x69\r\n53394611.12\r\n\xFF\x00x\r\nMark2\r\n", 31));

    // A failed save leaves the old file whole.
    chmod((dir / "b.grd").c_str(), 0444);
    t.ReplaceLine(0, "changed");
    EXPECT_THROW(t.SaveToFile((dir / "b.grd").string()), kavum::platform::FileError);
    EXPECT_EQ(Slurp(dir / "b.grd").substr(0, 4), "\x83\x75\x83\x69");
    // A folder or a missing file cannot be read.
    EXPECT_THROW(DataText::ReadFileLines(dir.string()), kavum::platform::FileError);
    EXPECT_THROW(DataText::ReadFileLines((dir / "none.grd").string()), kavum::platform::FileError);
    fs::permissions(dir / "b.grd", fs::perms::owner_all);
    fs::remove_all(dir);
}

TEST(DataText, LinesEndingInALoneCarriageReturn) {
    // A file written with CR alone reads as lines, as LF and CR LF files do.
    DataText t;
    t.AppendFileText("\x83\x75\x83\x69\r53394611.12\r\r533946N11\r");
    EXPECT_EQ(t.Lines(), (std::vector<std::string>{"\x83\x75\x83\x69", "53394611.12", "", "533946N11"}));
    DataText u;
    u.AppendFileText("a\rb");
    EXPECT_EQ(u.Lines(), (std::vector<std::string>{"a", "b"}));
    // Where LF ends the lines, a CR inside a line is part of the line.
    DataText v;
    v.AppendFileText("a\rb\r\nc\n");
    EXPECT_EQ(v.Lines(), (std::vector<std::string>{"a\rb", "c"}));
}
