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

OpenedFileKind KindOfOpenedFile(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return OpenedFileKind::None;
    const QString ext = name.mid(dot + 1).toLower();
    if (ext == QLatin1String("ini")) return OpenedFileKind::Settings;
    if (ext == QLatin1String("grd")) return OpenedFileKind::Data;
    if (ext == QLatin1String("csv") || ext == QLatin1String("tsv")) return OpenedFileKind::Table;
    if (ext == QLatin1String("mdt")) return OpenedFileKind::Map;
    return OpenedFileKind::None;
}

QString FileArgument(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i == 0 && IsSettingsArgument(argument)) continue;
        if (argument.startsWith(QLatin1Char('-'))) continue;
        switch (KindOfOpenedFile(argument)) {
        case OpenedFileKind::Data:
        case OpenedFileKind::Table:
        case OpenedFileKind::Map:
            return argument;
        default:
            break;
        }
    }
    return {};
}

bool IsWritableFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    const QByteArray dir = QFile::encodeName(folder);
    struct stat st {};
    if (stat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // The superuser may write anywhere; a folder without any write bit
    // still counts as read-only, as for the settings file.
    if (geteuid() == 0) return (st.st_mode & 0222) != 0;
    return access(dir.constData(), W_OK) == 0;
}

QString StartFolder(const QString& preferred, const QString& lastUsed, const QString& home,
                    const std::function<bool(const QString&)>& writable) {
    if (!preferred.isEmpty() && writable(preferred)) return preferred;
    if (!lastUsed.isEmpty() && writable(lastUsed)) return lastUsed;
    return home;
}

QString ProgramUsage() {
    return QStringLiteral(
        "Usage: kavum [SETTINGS.ini] [FILE]\n"
        "       kavum --help | --version\n"
        "\n"
        "Opens the window of Kavum, which draws three-view distribution maps of\n"
        "occurrence records over Japan.\n"
        "\n"
        "  SETTINGS.ini  the settings file to use (only as the first argument; by\n"
        "                default the program's own settings file)\n"
        "  FILE          a data file (.grd, .csv, .tsv) or a map file (.mdt) to open\n"
        "                at start, as the window's commands would\n"
        "  --help        show this text\n"
        "  --version     show the program's version\n"
        "\n"
        "A figure without a window: kavum-render(1).\n");
}

namespace {
QtMessageHandler previousMessageHandler = nullptr;

void QuietPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.contains(QLatin1String("does not support propagateSizeHints()"))) return;
    if (previousMessageHandler) previousMessageHandler(type, context, message);
}
}  // namespace

void InstallQuietPlatformMessages() {
    QtMessageHandler previous = qInstallMessageHandler(QuietPlatformMessages);
    if (previous != QuietPlatformMessages) previousMessageHandler = previous;
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
