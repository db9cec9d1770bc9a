// Files given to the window (on the command line, dropped on it, or chosen
// from the recent files), the questions asked before a file is replaced or
// edited data text is let go, the folder the file dialogs start in, the
// window's own state between runs and the usual shortcuts.
#include "FormMain.h"

#include "app/Startup.h"
#include "data/EditorPane.h"
#include "platform/Errors.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace kavum::app {
namespace {

const QString Caption = QStringLiteral("Kavum for Windows");
constexpr int MaxRecentFiles = 8;

std::string Utf8(const QString& text) { return text.toStdString(); }

// The first local file of a drag that the window can open.
QString OpenableFileOf(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (KindOfOpenedFile(path) != OpenedFileKind::None) return path;
    }
    return {};
}

}  // namespace

void TFormMain::BuildConventions() {
    ReLoadGrd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    SavePlotItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    MenuQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    HelpMokuji->setShortcut(QKeySequence(Qt::Key_F1));
    // F5 makes the map anew from the board, as "分布図を作成する".
    auto* remake = new QAction(this);
    remake->setObjectName(QStringLiteral("RemakeMapShortcut"));
    remake->setShortcut(QKeySequence(Qt::Key_F5));
    addAction(remake);
    ConnectCommand(remake, &QAction::triggered, &TFormMain::NewMapBtnClick);

    MenuRecent = new QMenu(QStringLiteral("最近使ったファイル"), this);
    MenuRecent->setObjectName(QStringLiteral("MenuRecent"));
    MenuFile->insertMenu(MenuQuit, MenuRecent);
    MenuFile->insertSeparator(MenuQuit);
    UpdateRecentMenu();

    setAcceptDrops(true);
}

// ---------------------------------------------------------------- opening files

void TFormMain::OpenFile(const QString& path) {
    const QFileInfo info(path);
    const QString full = info.absoluteFilePath();
    if (!info.exists()) throw platform::FileError(Utf8(QStringLiteral("ファイル %1 が見つかりません").arg(full)));
    if (!info.isFile()) throw platform::FileError(Utf8(QStringLiteral("%1 はファイルではありません").arg(full)));
    switch (KindOfOpenedFile(full)) {
    case OpenedFileKind::Settings:
        LoadSettingsFile(full);
        SettingBoard->show();
        SettingBoard->raise();
        return;
    case OpenedFileKind::Data:
        OpenDataFile(full);
        return;
    case OpenedFileKind::Table:
        OpenTableFile(full);
        return;
    case OpenedFileKind::Map:
        OpenMapFile(full);
        return;
    case OpenedFileKind::None:
        break;
    }
    throw platform::FileError(
        Utf8(QStringLiteral("%1 は開けません（開けるのは .grd .csv .tsv .mdt .ini のファイルです）").arg(full)));
}

void TFormMain::OpenDataFile(const QString& path) {
    if (!MayDiscardEditorText()) return;
    // As choosing the file with the board's 参照 and making the map.
    State.GrdFileName = path;
    EditGrdFile->setText(path);
    AddRecentFile(path);
    NewMapBtnClick();
}

void TFormMain::OpenMapFile(const QString& path) {
    if (!MayDiscardEditorText()) return;
    State.MapFileName = path;
    EditMapFile->setText(path);
    AddRecentFile(path);
    NewMapBtnClick();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!OpenableFileOf(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QMainWindow::dragEnterEvent(event);
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QString path = OpenableFileOf(event->mimeData());
    if (path.isEmpty()) {
        QMainWindow::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over: the command may ask questions.
    QTimer::singleShot(0, this, [this, path] { RunCommand([&] { OpenFile(path); }); });
}

// ---------------------------------------------------------------- questions

bool TFormMain::EditorTextModified() const { return EditorBox != nullptr && EditorBox->Modified(); }

void TFormMain::SetEditorTextModified(bool modified) {
    if (EditorBox) EditorBox->SetModified(modified);
}

bool TFormMain::MayDiscardEditorText() {
    if (!EditorTextModified()) return true;
    switch (dialogs_.AskYesNoCancel(this, Caption,
                                    QStringLiteral("編集した分布データが保存されていません。\n"
                                                   "データファイルを読み込み直すと、編集した内容は失われます。\n"
                                                   "先に保存しますか？"))) {
    case platform::Answer::Yes:
        return SaveDataText();
    case platform::Answer::No:
        SetEditorTextModified(false);
        return true;
    case platform::Answer::Cancel:
        break;
    }
    return false;
}

bool TFormMain::MayQuitWithEditorText() {
    if (!EditorTextModified()) return true;
    switch (dialogs_.AskYesNoCancel(this, Caption,
                                    QStringLiteral("編集した分布データが保存されていません。\n"
                                                   "終了する前に保存しますか？"))) {
    case platform::Answer::Yes:
        return SaveDataText();
    case platform::Answer::No:
        return true;
    case platform::Answer::Cancel:
        break;
    }
    return false;
}

bool TFormMain::MayReplaceFile(const QString& path) {
    if (!QFileInfo::exists(path)) return true;
    return dialogs_.Confirm(this, Caption, QStringLiteral("%1 は既に存在します。\n置き換えますか？").arg(path));
}

bool TFormMain::SaveDataText() {
    SaveDialog1.DefaultExt = QStringLiteral("grd");
    SaveDialog1.FilterIndex = 3;
    SaveDialog1.InitialDir = DialogFolder(QFileInfo(State.GrdFileName).absolutePath());
    if (!dialogs_.ExecuteSave(this, SaveDialog1)) return false;
    const QString path = SaveDialog1.FileName;
    if (!MayReplaceFile(path)) return false;
    Memo1Text().SaveToFile(QFile::encodeName(path).toStdString());
    SetEditorTextModified(false);
    AddRecentFile(path);
    return true;
}

// ---------------------------------------------------------------- folders and recent files

QString TFormMain::DialogFolder(const QString& preferred) const {
    return StartFolder(preferred, lastFolder_, QDir::homePath(), IsWritableFolder);
}

void TFormMain::RememberFolder(const QString& chosenFile) {
    if (chosenFile.isEmpty()) return;
    lastFolder_ = QFileInfo(chosenFile).absolutePath();
}

void TFormMain::AddRecentFile(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    RememberFolder(full);
    recentFiles_.removeAll(full);
    recentFiles_.prepend(full);
    while (recentFiles_.size() > MaxRecentFiles) recentFiles_.removeLast();
    UpdateRecentMenu();
    SaveWindowState();
}

void TFormMain::UpdateRecentMenu() {
    if (MenuRecent == nullptr) return;
    MenuRecent->clear();
    int number = 1;
    for (const QString& path : recentFiles_) {
        // "&1 name" gives the entries number keys; an "&" of the name stays one.
        QString label = QFileInfo(path).fileName();
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = MenuRecent->addAction(QStringLiteral("&%1 %2").arg(number++).arg(label));
        item->setToolTip(path);
        item->setStatusTip(path);
        item->setData(path);
        connect(item, &QAction::triggered, this, [this, path] { RunCommand([&] { OpenFile(path); }); });
    }
    MenuRecent->setEnabled(!recentFiles_.isEmpty());
}

// ---------------------------------------------------------------- window state

void TFormMain::UseWindowStateFile(const QString& path) {
    windowStateFile_ = path;
    if (path.isEmpty()) return;
    QSettings store(path, QSettings::IniFormat);
    recentFiles_ = store.value(QStringLiteral("RecentFiles")).toStringList();
    while (recentFiles_.size() > MaxRecentFiles) recentFiles_.removeLast();
    const QString folder = store.value(QStringLiteral("LastFolder")).toString();
    if (!folder.isEmpty()) lastFolder_ = folder;
    LoadTableChoices(store);
    UpdateRecentMenu();
    const QByteArray geometry = store.value(QStringLiteral("Geometry")).toByteArray();
    if (!geometry.isEmpty() && restoreGeometry(geometry)) geometryRestored_ = true;
}

void TFormMain::SaveWindowState() const {
    if (windowStateFile_.isEmpty()) return;
    QDir().mkpath(QFileInfo(windowStateFile_).absolutePath());
    QSettings store(windowStateFile_, QSettings::IniFormat);
    store.setValue(QStringLiteral("RecentFiles"), recentFiles_);
    store.setValue(QStringLiteral("LastFolder"), lastFolder_);
    SaveTableChoices(store);
    if (isVisible()) store.setValue(QStringLiteral("Geometry"), saveGeometry());
}

}  // namespace kavum::app
