#pragma once
// Where the settings file is, from the executable and the command line.
#include <QString>
#include <QStringList>

#include <functional>

namespace kavum::app {

// True when the extension of the file name part (from its last "." on),
// upper-cased in ASCII, is ".INI".
bool IsSettingsArgument(const QString& argument);

// The executable's path with its extension replaced by ".ini" (added when
// it has none): /opt/kavum/kavum -> /opt/kavum/kavum.ini.
QString SettingsPathBesideExecutable(const QString& executablePath);

// What start-up needs to know about the executable's folder.
struct ExecutableFolder {
    bool writable = true;         // files can be created in it
    bool holdsSettings = false;   // the settings file beside the executable exists
    bool installed = false;       // the program's files lie in ../share/kavum, as under a prefix
};

// The settings file in use: the first command-line argument when it is a
// settings file (taken exactly as given; every other argument is ignored);
// else the file beside the executable, unless that folder cannot be written
// or is the bin folder of an installed program, and holds no settings file:
// then userPath.
QString ResolveSettingsPath(const QString& executablePath, const QStringList& arguments,
                            const ExecutableFolder& folder, const QString& userPath);

// Looks at the folder on disk.
ExecutableFolder ProbeExecutableFolder(const QString& executablePath);
// The per-user settings file: <config>/kavum/kavum.ini, normally ~/.config/kavum/kavum.ini.
QString UserSettingsPath();

// The folder of the installed map, samples, default settings and manual:
// <prefix>/share/kavum for <prefix>/bin/kavum.
QString InstalledDataFolder(const QString& executablePath);
// The installed default settings (naming the installed map and sample data),
// read when the settings file in use does not exist yet; empty when the
// program is not installed.
QString InstalledDefaultSettings(const QString& executablePath);

// The kinds of file the program opens from the command line, from a drop on
// the window or from the recent files, by extension in any letter case:
// .ini a settings file, .grd a data file, .csv and .tsv a table, .mdt a map.
enum class OpenedFileKind { None, Settings, Data, Table, Map };
OpenedFileKind KindOfOpenedFile(const QString& path);

// The data, table or map file named on the command line: the first such
// argument after the settings file, if one comes first; empty when there is
// none. Options (arguments starting with "-") are passed over.
QString FileArgument(const QStringList& arguments);

// The folder a file dialog starts in: `preferred` when it is a folder the
// user can write, else the folder used last when the user can write it,
// else `home`.
QString StartFolder(const QString& preferred, const QString& lastUsed, const QString& home,
                    const std::function<bool(const QString&)>& writable);
// A folder that exists and that the user can write.
bool IsWritableFolder(const QString& folder);

// What `kavum --help` prints.
QString ProgramUsage();

// Drops the platform plugins' notes that concern nobody (the offscreen
// platform's "does not support propagateSizeHints()"); every other message
// goes where it went before.
void InstallQuietPlatformMessages();

// Loads Qt's own Japanese texts (standard dialogs, buttons, context menus)
// into the application. False when the translations are not installed.
bool InstallQtTranslations();

// The manual's index page: the first existing "index.html" of the folders;
// empty when there is none.
QString FindManualIndex(const QStringList& folders);
// Where the manual is looked for: "manual" beside the executable, then
// "../share/kavum/manual", then the manual folder of the source tree.
QStringList ManualFolders(const QString& executablePath);

}  // namespace kavum::app
