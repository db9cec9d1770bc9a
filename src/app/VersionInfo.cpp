#include "VersionInfo.h"

#include "platform/Numbers.h"

#include <QCoreApplication>
#include <QFile>

#include <elf.h>

#include <bit>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#ifndef KAVUM_FILE_VERSION
#define KAVUM_FILE_VERSION "0.0.0.0"
#endif

// The version block of this program, in a section of its own so that it can
// be read from the file.
extern "C" __attribute__((used, section(".kavum_version"))) const char KavumVersionBlock[] =
    "VS_VERSION_INFO\n"
    "StringFileInfo\\041103A4\\CompanyName=Kavum\n"
    "StringFileInfo\\041103A4\\FileDescription=Kavum, 3-d Distribution Map\n"
    "StringFileInfo\\041103A4\\FileVersion=" KAVUM_FILE_VERSION "\n"
    "StringFileInfo\\041103A4\\InternalName=kavum\n"
    "StringFileInfo\\041103A4\\ProductName=Kavum for Windows\n"
    "StringFileInfo\\041103A4\\ProductVersion=" KAVUM_FILE_VERSION "\n"
    "VarFileInfo\\Translation=0411 03A4\n";

namespace kavum::app {
namespace {

constexpr const char* SectionName = ".kavum_version";

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SamePath(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

template <class T>
bool ReadAt(std::ifstream& in, std::uint64_t offset, T& out) {
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(&out), sizeof(T));
    return static_cast<bool>(in);
}

// Offset and size of the version section of a 64-bit ELF file of this
// machine's byte order.
bool FindSection(std::ifstream& in, std::uint64_t& offset, std::uint64_t& size) {
    Elf64_Ehdr eh {};
    if (!ReadAt(in, 0, eh)) return false;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return false;
    const unsigned char order = (std::endian::native == std::endian::little) ? ELFDATA2LSB : ELFDATA2MSB;
    if (eh.e_ident[EI_DATA] != order) return false;
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum) return false;
    Elf64_Shdr names {};
    if (!ReadAt(in, eh.e_shoff + std::uint64_t(eh.e_shstrndx) * sizeof(Elf64_Shdr), names)) return false;
    const std::size_t nameLength = std::strlen(SectionName);
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh {};
        if (!ReadAt(in, eh.e_shoff + std::uint64_t(i) * sizeof(Elf64_Shdr), sh)) return false;
        if (sh.sh_type != SHT_PROGBITS || sh.sh_name >= names.sh_size) continue;
        char name[32] = {};
        in.seekg(static_cast<std::streamoff>(names.sh_offset + sh.sh_name));
        in.read(name, static_cast<std::streamsize>(nameLength + 1));
        if (!in) {
            in.clear();
            continue;
        }
        if (std::memcmp(name, SectionName, nameLength + 1) == 0) {
            offset = sh.sh_offset;
            size = sh.sh_size;
            return size > 0 && size < (1u << 20);
        }
    }
    return false;
}

}  // namespace

std::string_view BuiltInVersionBlock() { return std::string_view(KavumVersionBlock); }

std::size_t GetFileVersionInfoSize(const QString& executablePath) {
    std::ifstream in(QFile::encodeName(executablePath).toStdString(), std::ios::binary);
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    if (!in || !FindSection(in, offset, size)) return 0;
    return static_cast<std::size_t>(size);
}

bool GetFileVersionInfo(const QString& executablePath, std::string& block) {
    std::ifstream in(QFile::encodeName(executablePath).toStdString(), std::ios::binary);
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    if (!in || !FindSection(in, offset, size)) return false;
    block.assign(static_cast<std::size_t>(size), '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(block.data(), static_cast<std::streamsize>(size));
    if (!in) return false;
    const std::size_t end = block.find('\0');
    if (end != std::string::npos) block.resize(end);
    return true;
}

std::optional<std::string> VerQueryValue(std::string_view block, std::string_view path) {
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    std::size_t pos = 0;
    bool first = true;
    while (pos < block.size()) {
        std::size_t end = block.find('\n', pos);
        if (end == std::string_view::npos) end = block.size();
        std::string_view line = block.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            first = false;
            if (line != "VS_VERSION_INFO") return std::nullopt;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && SamePath(line.substr(0, eq), path))
            return std::string(line.substr(eq + 1));
    }
    return std::nullopt;
}

std::string VersionTextFromFileVersion(std::string_view fileVersion) {
    std::vector<std::string_view> pieces;
    std::size_t pos = 0;
    while (pos <= fileVersion.size()) {
        std::size_t dot = fileVersion.find('.', pos);
        if (dot == std::string_view::npos) dot = fileVersion.size();
        if (dot > pos) pieces.push_back(fileVersion.substr(pos, dot - pos));
        pos = dot + 1;
    }
    std::int32_t numbers[3] = {};
    if (pieces.size() < 3) return {};
    for (int i = 0; i < 3; ++i)
        if (!platform::TryStrToInt(pieces[static_cast<std::size_t>(i)], numbers[i])) return {};
    return platform::IntToStr(numbers[0]) + "." + platform::IntToStr(numbers[1]) + platform::IntToStr(numbers[2]);
}

std::string VersionTextFromBlock(std::string_view block) {
    const std::optional<std::string> value = VerQueryValue(block, "\\StringFileInfo\\041103A4\\FileVersion");
    return value ? VersionTextFromFileVersion(*value) : std::string();
}

std::string ReadVersionText(const QString& executablePath) {
    if (GetFileVersionInfoSize(executablePath) == 0) return {};
    std::string block;
    if (!GetFileVersionInfo(executablePath, block)) return {};
    return VersionTextFromBlock(block);
}

const QString& ProgramVersionText() {
    static const QString text = QString::fromStdString(ReadVersionText(QCoreApplication::applicationFilePath()));
    return text;
}

}  // namespace kavum::app
