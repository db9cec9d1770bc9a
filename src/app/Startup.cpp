#include "Startup.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace kavum::app {

bool IsSettingsArgument(const QString& argument) {
    const qsizetype slash = argument.lastIndexOf(QLatin1Char('/'));
    const QString name = argument.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return false;
    QString ext = name.mid(dot);
    for (QChar& c : ext)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    return ext == QLatin1String(".INI");
}

QString SettingsPathBesideExecutable(const QString& executablePath) {
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = executablePath.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? executablePath.left(dot) : executablePath;
    return stem + QStringLiteral(".ini");
}

QString ResolveSettingsPath(const QString& executablePath, const QStringList& arguments,
                            const ExecutableFolder& folder, const QString& userPath) {
    if (!arguments.isEmpty() && IsSettingsArgument(arguments.first())) return arguments.first();
    if (!folder.writable && !folder.holdsSettings) return userPath;
    return SettingsPathBesideExecutable(executablePath);
}

ExecutableFolder ProbeExecutableFolder(const QString& executablePath) {
    ExecutableFolder result;
    const QByteArray dir = QFile::encodeName(QFileInfo(executablePath).absolutePath());
    struct stat st {};
    if (stat(dir.constData(), &st) != 0) {
        result.writable = false;
    } else if (geteuid() == 0) {
        // The superuser passes every permission check; a folder without any
        // write bit counts as read-only, as the settings file writer sees it.
        result.writable = (st.st_mode & 0222) != 0;
    } else {
        result.writable = access(dir.constData(), W_OK) == 0;
    }
    result.holdsSettings = QFileInfo::exists(SettingsPathBesideExecutable(executablePath));
    return result;
}

QString UserSettingsPath() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/kavum/kavum.ini");
}

QString FindManualIndex(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString index = folder + QStringLiteral("/index.html");
        if (QFileInfo(index).isFile()) return QFileInfo(index).absoluteFilePath();
    }
    return {};
}

QStringList ManualFolders(const QString& executablePath) {
    const QString dir = QFileInfo(executablePath).absolutePath();
    QStringList folders{dir + QStringLiteral("/manual"), dir + QStringLiteral("/../share/kavum/manual")};
#ifdef KAVUM_MANUAL_DIR
    folders << QStringLiteral(KAVUM_MANUAL_DIR);
#endif
    return folders;
}

}  // namespace kavum::app
