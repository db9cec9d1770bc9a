#pragma once
// The settings file: its keys, their order, defaults and value encodings.
// Pure functions over a profile file; the document moves the values between
// its board, AppState and a SettingsValues.
#include "doc/AppState.h"
#include "platform/Profile.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace kavum::doc {

// Every value the settings file keeps.
struct SettingsValues {
    // [DataFile]
    QString Title = QStringLiteral("日本植物三面分布図");
    QString MapFile;
    QString GrdFile = QStringLiteral("Noname.grd");
    // [Draw]
    bool HorizonMap = true;
    bool ProfileMap = true;
    // [Map]
    QString GY1 = QStringLiteral("30.00");
    QString GY2 = QStringLiteral("46.00");
    QString GX1 = QStringLiteral("128.00");
    QString GX2 = QStringLiteral("146.00");
    QString GH2 = QStringLiteral("3800");
    QString I2K = QStringLiteral("1.2208");
    int GridSize = 1;
    int MeshSize = 0;
    std::uint32_t MapColor = 0;
    std::uint32_t SubColor = 10789024;
    std::uint32_t MshColor = 16776960;
    bool Prefecture = false;
    int MLW = 1;
    // [Mark1] … [Mark9]
    PerCategory<MarkSetting> Marks = DefaultMarks();

    static PerCategory<MarkSetting> DefaultMarks();
};

// The defaults, with the map file box keeping mapFileName.
SettingsValues DefaultSettings(const QString& mapFileName);

// Integer as the settings file holds it: decimal, or hexadecimal with "$",
// "0x" or "0X". nullopt for an empty or unparsable text.
std::optional<std::int32_t> ParseSettingsInteger(std::string_view text);

// Reads every key; a key that is absent, or a number that does not parse,
// takes its default. "MapFile" defaults to mapFileName.
SettingsValues ReadSettings(const platform::ProfileFile& file, const QString& mapFileName);
// Writes every key in the file's order, in place; other keys stay.
void WriteSettings(platform::ProfileFile& file, const SettingsValues& values);

// The file by name: a missing file reads as empty.
// *unreadable (when given) is set when the file is there but cannot be read;
// the values are then the defaults.
SettingsValues LoadSettings(const QString& path, const QString& mapFileName, bool* unreadable = nullptr,
                            std::string* reason = nullptr);
// Whether a settings file is there but cannot be read.
bool SettingsFileUnreadable(const QString& path);
// Writes the keys into the file by name, keeping what else it holds. The file
// is replaced whole or not at all; on failure throws FileError
// "<path> に書き込めません".
// A file that is there but cannot be read is replaced only when
// replaceUnreadable is set (the user has agreed to lose it); otherwise
// nothing is written and FileError reports it.
void SaveSettings(const QString& path, const SettingsValues& values, bool replaceUnreadable = false);

// A path as the file functions take it.
std::string LocalPath(const QString& path);

}  // namespace kavum::doc
