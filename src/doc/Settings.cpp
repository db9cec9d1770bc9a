#include "Settings.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Numbers.h"

#include <QFile>

#include <string>
#include <utility>

namespace kavum::doc {
namespace {

using platform::ProfileFile;

constexpr std::string_view DataFile = "DataFile";
constexpr std::string_view Draw = "Draw";
constexpr std::string_view Map = "Map";

// The range of the map and its scale, texts as typed on the board, in the
// order they stand in the file.
const std::pair<std::string_view, QString SettingsValues::*> RangeTexts[] = {
    {"GY1", &SettingsValues::GY1}, {"GY2", &SettingsValues::GY2}, {"GX1", &SettingsValues::GX1},
    {"GX2", &SettingsValues::GX2}, {"GH2", &SettingsValues::GH2}, {"I2K", &SettingsValues::I2K},
};

std::string MarkSection(int category) { return "Mark" + std::to_string(category); }

QString ReadText(const ProfileFile& f, std::string_view section, std::string_view key, const QString& def) {
    if (!f.HasKey(section, key)) return def;
    return platform::Cp932ToQString(f.ReadString(section, key, ""));
}

std::int32_t ReadInt(const ProfileFile& f, std::string_view section, std::string_view key, std::int32_t def) {
    if (!f.HasKey(section, key)) return def;
    return ParseSettingsInteger(f.ReadString(section, key, "")).value_or(def);
}

bool ReadBool(const ProfileFile& f, std::string_view section, std::string_view key, bool def) {
    return ReadInt(f, section, key, def ? 1 : 0) != 0;
}

// Text values are single lines; a line break would split the entry.
void WriteText(ProfileFile& f, std::string_view section, std::string_view key, const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    f.WriteString(section, key, platform::QStringToCp932(line));
}

void WriteInt(ProfileFile& f, std::string_view section, std::string_view key, std::int64_t value) {
    f.WriteString(section, key, platform::IntToStr(value));
}

// Colours are kept as the signed 32-bit values they are read as.
void WriteColor(ProfileFile& f, std::string_view section, std::string_view key, std::uint32_t color) {
    WriteInt(f, section, key, static_cast<std::int32_t>(color));
}

}  // namespace

PerCategory<MarkSetting> SettingsValues::DefaultMarks() {
    PerCategory<MarkSetting> marks{};
    for (int i = 1; i <= MaxCategories; ++i) marks[i] = MarkSetting{i, 3, DefaultBrushColors[i], 0};
    return marks;
}

SettingsValues DefaultSettings(const QString& mapFileName) {
    SettingsValues values;
    values.MapFile = mapFileName;
    return values;
}

std::optional<std::int32_t> ParseSettingsInteger(std::string_view text) {
    std::int32_t value = 0;
    if (!platform::TryStrToInt(text, value)) return std::nullopt;
    return value;
}

SettingsValues ReadSettings(const ProfileFile& f, const QString& mapFileName) {
    const SettingsValues d = DefaultSettings(mapFileName);
    SettingsValues v;
    v.Title = ReadText(f, DataFile, "Title", d.Title);
    v.MapFile = ReadText(f, DataFile, "MapFile", d.MapFile);
    v.GrdFile = ReadText(f, DataFile, "GrdFile", d.GrdFile);
    v.HorizonMap = ReadBool(f, Draw, "HorizonMap", d.HorizonMap);
    v.ProfileMap = ReadBool(f, Draw, "ProfileMap", d.ProfileMap);
    for (const auto& [key, field] : RangeTexts) v.*field = ReadText(f, Map, key, d.*field);
    v.GridSize = ReadInt(f, Map, "GridSize", d.GridSize);
    v.MeshSize = ReadInt(f, Map, "MeshSize", d.MeshSize);
    v.MapColor = static_cast<std::uint32_t>(ReadInt(f, Map, "MapColor", static_cast<std::int32_t>(d.MapColor)));
    v.SubColor = static_cast<std::uint32_t>(ReadInt(f, Map, "SubColor", static_cast<std::int32_t>(d.SubColor)));
    v.MshColor = static_cast<std::uint32_t>(ReadInt(f, Map, "MshColor", static_cast<std::int32_t>(d.MshColor)));
    v.Prefecture = ReadBool(f, Map, "Prefecture", d.Prefecture);
    v.MLW = ReadInt(f, Map, "MLW", d.MLW);
    for (int i = 1; i <= MaxCategories; ++i) {
        const std::string section = MarkSection(i);
        const MarkSetting& def = d.Marks[i];
        MarkSetting& m = v.Marks[i];
        m.Style = ReadInt(f, section, "Styl", def.Style);
        m.Size = ReadInt(f, section, "Size", def.Size);
        m.BrushColor = ReadInt(f, section, "brush", def.BrushColor);
        m.PenColor = ReadInt(f, section, "pen", def.PenColor);
    }
    return v;
}

void WriteSettings(ProfileFile& f, const SettingsValues& v) {
    WriteText(f, DataFile, "Title", v.Title);
    WriteText(f, DataFile, "MapFile", v.MapFile);
    WriteText(f, DataFile, "GrdFile", v.GrdFile);
    WriteInt(f, Draw, "HorizonMap", v.HorizonMap ? 1 : 0);
    WriteInt(f, Draw, "ProfileMap", v.ProfileMap ? 1 : 0);
    for (const auto& [key, field] : RangeTexts) WriteText(f, Map, key, v.*field);
    WriteInt(f, Map, "GridSize", v.GridSize);
    WriteInt(f, Map, "MeshSize", v.MeshSize);
    WriteColor(f, Map, "MapColor", v.MapColor);
    WriteColor(f, Map, "SubColor", v.SubColor);
    WriteColor(f, Map, "MshColor", v.MshColor);
    WriteInt(f, Map, "Prefecture", v.Prefecture ? 1 : 0);
    WriteInt(f, Map, "MLW", v.MLW);
    for (int i = 1; i <= MaxCategories; ++i) {
        const std::string section = MarkSection(i);
        const MarkSetting& m = v.Marks[i];
        WriteInt(f, section, "Styl", m.Style);
        WriteInt(f, section, "Size", m.Size);
        WriteInt(f, section, "brush", m.BrushColor);
        WriteInt(f, section, "pen", m.PenColor);
    }
}

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

SettingsValues LoadSettings(const QString& path, const QString& mapFileName, bool* unreadable, std::string* reason) {
    return ReadSettings(ProfileFile::Load(LocalPath(path), unreadable, reason), mapFileName);
}

bool SettingsFileUnreadable(const QString& path) {
    bool unreadable = false;
    ProfileFile::Load(LocalPath(path), &unreadable);
    return unreadable;
}

void SaveSettings(const QString& path, const SettingsValues& values, bool replaceUnreadable) {
    bool unreadable = false;
    ProfileFile file = ProfileFile::Load(LocalPath(path), &unreadable);
    if (unreadable && !replaceUnreadable) {
        throw platform::FileError((path + QStringLiteral(" を読み込めないため、書き込みません")).toStdString());
    }
    WriteSettings(file, values);
    // A file replaced because it could not be read gets the user's normal
    // mode, not the one that kept it from being read.
    platform::ReplaceOptions options;
    options.normalMode = unreadable;
    platform::ReplaceFileOrThrow(LocalPath(path), file.Text(), options,
                                 (path + QStringLiteral(" に書き込めません")).toStdString());
}

}  // namespace kavum::doc
