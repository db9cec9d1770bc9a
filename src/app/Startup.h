#pragma once
// Where the settings file is, from the executable and the command line.
#include <QString>
#include <QStringList>

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
};

// The settings file in use: the first command-line argument when it is a
// settings file (taken exactly as given; every other argument is ignored);
// else the file beside the executable, unless that folder cannot be written
// and holds no settings file, as for an installed program: then userPath.
QString ResolveSettingsPath(const QString& executablePath, const QStringList& arguments,
                            const ExecutableFolder& folder, const QString& userPath);

// Looks at the folder on disk.
ExecutableFolder ProbeExecutableFolder(const QString& executablePath);
// The per-user settings file: <config>/kavum/kavum.ini, normally ~/.config/kavum/kavum.ini.
QString UserSettingsPath();

// The manual's index page: the first existing "index.html" of the folders;
// empty when there is none.
QString FindManualIndex(const QStringList& folders);
// Where the manual is looked for: "manual" beside the executable, then
// "../share/kavum/manual", then the manual folder of the source tree.
QStringList ManualFolders(const QString& executablePath);

}  // namespace kavum::app
