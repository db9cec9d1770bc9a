#include "data/DataText.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using kavum::data::DataText;
using kavum::data::DetectEncoding;
using kavum::data::TextEncoding;
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

TEST(DataText, CompactStoreKeepsTheLinesOfEveryLineEnd) {
    // The same lines read from CR LF, LF and mixed files, appended to a
    // text already holding lines, and edited longer and shorter in place.
    const fs::path dir = fs::temp_directory_path() / "kavum-datatext-ends";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::vector<std::string> expected = {"Mark1", "53394611.12", "", "\x83\x75\x83\x69", "last"};
    const std::string files[] = {"Mark1\r\n53394611.12\r\n\r\n\x83\x75\x83\x69\r\nlast\r\n",
                                 "Mark1\n53394611.12\n\n\x83\x75\x83\x69\nlast",
                                 "Mark1\r\n53394611.12\n\r\n\x83\x75\x83\x69\nlast\r\n"};
    DataText all;
    int n = 0;
    for (const std::string& bytes : files) {
        const fs::path path = dir / ("f" + std::to_string(n++) + ".grd");
        std::ofstream(path, std::ios::binary) << bytes;
        DataText t;
        t.AppendFile(path.string());
        EXPECT_EQ(t.Lines(), expected) << n;
        EXPECT_EQ(DataText::ReadFileLines(path.string()), expected) << n;
        all.AppendFile(path.string());
    }
    ASSERT_EQ(all.LineCount(), 3 * expected.size());
    for (std::size_t i = 0; i < all.LineCount(); ++i) EXPECT_EQ(all.Line(i), expected[i % expected.size()]) << i;
    // A failed read changes nothing.
    EXPECT_THROW(all.AppendFile((dir / "none.grd").string()), kavum::platform::FileError);
    EXPECT_EQ(all.LineCount(), 3 * expected.size());

    all.ReplaceLine(1, "5339");             // shorter: in place
    all.ReplaceLine(2, "a longer line now");  // longer: at the end
    all.ReplaceLine(4, "");
    EXPECT_EQ(all.Line(0), "Mark1");
    EXPECT_EQ(all.Line(1), "5339");
    EXPECT_EQ(all.Line(2), "a longer line now");
    EXPECT_EQ(all.Line(3), "\x83\x75\x83\x69");
    EXPECT_EQ(all.Line(4), "");
    EXPECT_EQ(all.Line(5), "Mark1");
    const std::string head = "Mark1\r\n5339\r\na longer line now\r\n\x83\x75\x83\x69\r\n\r\nMark1\r\n";
    EXPECT_EQ(all.FileText().substr(0, head.size()), head);
    all.Clear();
    EXPECT_EQ(all.LineCount(), 0u);
    EXPECT_EQ(all.FileText(), "");
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
    // A lone CR between CR LF lines ends its line too: no record is lost.
    DataText v;
    v.AppendFileText("a\r53394611\r\n53394612\r53394613\n\n");
    EXPECT_EQ(v.Lines(), (std::vector<std::string>{"a", "53394611", "53394612", "53394613", ""}));
    // And in lines handed over whole.
    v.SetLines({"x\ry", "z"});
    EXPECT_EQ(v.Lines(), (std::vector<std::string>{"x", "y", "z"}));
}

TEST(DataText, Utf8FilesAreReadAndSavedAsUtf8) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kavum-utf8-test";
    fs::create_directories(dir);
    // ブナ and a character without a Shift-JIS form (Hangul), with a BOM.
    const std::string bom = "\xEF\xBB\xBF\xE3\x83\x96\xE3\x83\x8A\r\n53394611\r\n\xED\x95\x9C;x\r\n";
    DataText t;
    t.AppendFileText(bom);
    EXPECT_EQ(t.Encoding(), TextEncoding::Utf8Bom);
    // No empty first category from the mark: the heading is ブナ in Shift-JIS.
    EXPECT_EQ(t.Line(0), "\x83\x75\x83\x69");
    EXPECT_EQ(t.Line(2), "?;x");
    // Saved back as it came, the character without a Shift-JIS form too.
    EXPECT_EQ(t.FileText(), bom);
    t.SaveToFile((dir / "a.grd").string());
    DataText u;
    u.AppendFile((dir / "a.grd").string());
    EXPECT_EQ(u.Encoding(), TextEncoding::Utf8Bom);
    EXPECT_EQ(u.FileText(), bom);
    // Without a BOM.
    DataText w;
    w.AppendFileText("\xE3\x83\x96\xE3\x83\x8A\n35.30,139.30\n");
    EXPECT_EQ(w.Encoding(), TextEncoding::Utf8);
    EXPECT_EQ(w.FileText(), "\xE3\x83\x96\xE3\x83\x8A\r\n35.30,139.30\r\n");
    // Shift-JIS stays the default: plain ASCII, and bytes that are no UTF-8.
    EXPECT_EQ(DetectEncoding("53394611\r\n"), TextEncoding::ShiftJis);
    EXPECT_EQ(DetectEncoding("\x83\x75\x83\x69\r\n"), TextEncoding::ShiftJis);
    EXPECT_EQ(DetectEncoding("\xED\xA0\x80"), TextEncoding::ShiftJis);   // a surrogate
    w.Clear();
    EXPECT_EQ(w.Encoding(), TextEncoding::ShiftJis);
    fs::remove_all(dir);
}

// The editor holds at most MaxDataSize bytes of data: a larger file, or one
// that would take the text beyond it, is refused at once with a message
// that says so, and the text stays as it was.
TEST(DataText, FilesBeyondTheBoundAreRefusedWithTheReason) {
    const fs::path dir = fs::temp_directory_path() / ("kavum-bound-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string big = (dir / "big.grd").string();
    const std::string half = (dir / "half.grd").string();
    { std::ofstream(big) << "x"; }
    fs::resize_file(big, kavum::data::MaxDataSize + 1);   // sparse: no disk used
    { std::ofstream(half) << "Abies\r\n"; }
    fs::resize_file(half, kavum::data::MaxDataSize / 2 + 16);
    DataText t;
    t.SetLines({"Mark1"});
    try {
        t.AppendFile(big);
        FAIL() << "no error";
    } catch (const kavum::platform::FileTooLargeError& e) {
        EXPECT_EQ(e.Reason(), "分布データは 256 MB までです");
        EXPECT_EQ(e.Message(), big + " は大きすぎます（分布データは 256 MB までです）");
    }
    EXPECT_EQ(t.LineCount(), 1u);
    t.AppendFile(half);
    EXPECT_THROW(t.AppendFile(half), kavum::platform::FileTooLargeError);
    EXPECT_EQ(t.Line(1), "Abies");
    fs::remove_all(dir);
}
