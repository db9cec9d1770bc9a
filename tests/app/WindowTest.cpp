#include "WindowTest.h"

#include "platform/Cp932.h"

#include <QFile>

#include <fstream>
#include <sstream>

namespace kavum::app::test {

void WriteBytes(const QString& path, const std::string& bytes) {
    std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << bytes;
}

std::string ReadBytes(const QString& path) {
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TFormMain& WindowTest::NewWindow(const QStringList& arguments) {
    window = std::make_unique<TFormMain>(dir.filePath(QStringLiteral("kavum")), arguments, dialogs);
    return *window;
}

QString WindowTest::Data(const char* name, const char* utf8) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    WriteBytes(path, platform::Utf8ToCp932(utf8));
    return path;
}

}  // namespace kavum::app::test
