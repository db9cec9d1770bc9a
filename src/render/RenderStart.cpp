#include "RenderStart.h"

#include "app/Startup.h"
#include "platform/Profile.h"

#include <QFile>
#include <QFileInfo>

namespace kavum::render {
namespace {

void ReadIniFile(doc::Document& d, QStringList& messages) {
    bool unreadable = false;
    std::string reason;
    const doc::SettingsValues values = d.LoadIniFile(&unreadable, &reason);
    if (unreadable) messages << doc::SettingsUnreadableMessage(d.State.IniFileName, reason);
    d.ApplySettings(values);
}

}  // namespace

void StartDocument(doc::Document& d, const QString& program, QStringList& messages) {
    const QString userPath = app::UserSettingsPath();
    d.State.IniFileName = app::ResolveSettingsPath(program, {}, app::ProbeExecutableFolder(program), userPath);
    if (d.State.IniFileName == userPath) {
        const QString folder = QFileInfo(userPath).absolutePath();
        const int error = platform::MakeFolders(QFile::encodeName(folder).toStdString());
        if (error != 0) messages << doc::SettingsFolderMessage(folder, error);
    }
    d.Board.IniFile = QStringLiteral("Kavum.ini");
    d.InitializeVariables();
    // An installed program without a settings file of its own starts from
    // the installed defaults.
    const QString defaults = app::InstalledDefaultSettings(program);
    if (!defaults.isEmpty() && !QFileInfo::exists(d.State.IniFileName)) {
        const QString inUse = d.State.IniFileName;
        d.State.IniFileName = defaults;
        ReadIniFile(d, messages);
        d.State.IniFileName = inUse;
    } else {
        ReadIniFile(d, messages);
    }
}

void LoadSettingsFile(doc::Document& d, const QString& path, QStringList& messages) {
    d.State.IniFileName = path;
    ReadIniFile(d, messages);
    d.Board.IniFile = d.State.IniFileName;
}

void ApplyBoardArgs(doc::Document& d, const RenderArgs& args) {
    if (!args.map.isEmpty()) d.Board.MapFile = args.map;
    if (!args.data.isEmpty()) d.Board.GrdFile = args.data;
    if (args.precision) d.Board.GridSize = *args.precision;
    if (args.mesh) d.Board.MeshSize = *args.mesh;
    if (args.layout) {
        d.Board.HorizonMap = *args.layout != 2;
        d.Board.ProfileMap = *args.layout != 1;
    }
    if (args.prefecture) d.Board.Prefecture = *args.prefecture;
    if (args.fitToWidth) d.State.FitToWidth = *args.fitToWidth;
}

}  // namespace kavum::render
