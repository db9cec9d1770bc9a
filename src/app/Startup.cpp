#include "Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

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
    if ((!folder.writable || folder.installed) && !folder.holdsSettings) return userPath;
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
    result.installed = !InstalledDefaultSettings(executablePath).isEmpty();
    return result;
}

QString InstalledDataFolder(const QString& executablePath) {
    return QDir::cleanPath(QFileInfo(executablePath).absolutePath() + QStringLiteral("/../share/kavum"));
}

QString InstalledDefaultSettings(const QString& executablePath) {
    const QString path = InstalledDataFolder(executablePath) + QStringLiteral("/kavum.ini");
    return QFileInfo(path).isFile() ? path : QString();
}

bool InstallQtTranslations() {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    auto* translator = new QTranslator(app);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
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
    QStringList folders{dir + QStringLiteral("/manual"), InstalledDataFolder(executablePath) + QStringLiteral("/manual")};
#ifdef KAVUM_MANUAL_DIR
    folders << QStringLiteral(KAVUM_MANUAL_DIR);
#endif
    return folders;
}

}  // namespace kavum::app
