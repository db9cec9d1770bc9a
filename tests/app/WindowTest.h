#pragma once
// What the window tests share: the bundled files, files written and read as
// bytes, and a window whose program lives in a folder of the test's own (so
// that its settings file is there), with scripted dialogs.
#include "app/FormMain.h"
#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kavum::app::test {

inline const QString Assets = QStringLiteral(KAVUM_SOURCE_DIR "/assets");

void WriteBytes(const QString& path, const std::string& bytes);
std::string ReadBytes(const QString& path);

class WindowTest : public testing::Test {
protected:
    // A new window in place of the one before, its program in the folder.
    TFormMain& NewWindow(const QStringList& arguments = {});
    // Writes a file of UTF-8 text, stored as Shift-JIS, into the folder; its path.
    QString Data(const char* name, const char* utf8);

    QTemporaryDir dir;
    platform::ScriptedDialogs dialogs;
    std::unique_ptr<TFormMain> window;
};

}  // namespace kavum::app::test
