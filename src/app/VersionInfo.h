#pragma once
// The program's own version information. The build puts a version block into
// the section ".kavum_version" of the executable: lines "path=value" under a
// first line "VS_VERSION_INFO", the paths naming string tables by language
// and code page as in "StringFileInfo\041103A4\FileVersion". The reading
// takes the block from the executable file on disk, as any other reader would.
#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kavum::app {

// The block built into this program.
std::string_view BuiltInVersionBlock();

// Size of the version block of an executable file; 0 when it has none or
// cannot be read.
std::size_t GetFileVersionInfoSize(const QString& executablePath);
// The version block of an executable file; false when it has none.
bool GetFileVersionInfo(const QString& executablePath, std::string& block);
// The value at a path such as "\StringFileInfo\041103A4\FileVersion" (the
// leading backslash is optional; names match without regard to case).
std::optional<std::string> VerQueryValue(std::string_view block, std::string_view path);

// "0.9.5.0" -> "0.95": major, ".", then minor and release run together, each
// rewritten in decimal. The build number is not shown. Empty when major,
// minor or release is missing or not an integer.
std::string VersionTextFromFileVersion(std::string_view fileVersion);
// The version text from a version block: empty when the block has no
// FileVersion in the Japanese / code page 932 table (041103A4).
std::string VersionTextFromBlock(std::string_view block);
// The version text of an executable file.
std::string ReadVersionText(const QString& executablePath);

// The version text of the running program, read once.
const QString& ProgramVersionText();

}  // namespace kavum::app
