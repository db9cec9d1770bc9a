#include "FormMain.h"

#include "app/AboutBox.h"
#include "app/Startup.h"
#include "app/VersionInfo.h"
#include "app/Widgets.h"
#include "data/EditorPane.h"
#include "geo/MeshCode.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Profile.h"

#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <utility>

#include <stdexcept>

namespace kavum::app {
namespace {

constexpr int WindowWidth = 818;
constexpr int WindowHeight = 629;
const QColor BoardColor(0xC0, 0xDC, 0xC0);  // pale green

const QString OpenFilter = QStringLiteral(
    "設定ﾌｧｲﾙ (*.ini)|*.ini|地図ﾌｧｲﾙ (*.mdt)|*.mdt|分布データファイル (*.grd, *.csv)|*.grd;*.csv|"
    "すべてのﾌｧｲﾙ (*.*)|*.*");
const QString SaveFilter = QStringLiteral(
    "設定ファイル|*.ini|地図データファイル|*.mdt|分布データファイル|*.grd|EMFファイル|*.emf|"
    "WMFファイル|*.wmf|BMPファイル|*.bmp");

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QAction* AddItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLineEdit* AddEdit(QWidget* parent, const char* name, int x, int y, int width, int maxTyped) {
    auto* edit = new TEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(x, y, width, 21);
    edit->SetTypedLimit(maxTyped);
    return edit;
}

QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QGroupBox* AddGroup(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(geometry);
    return group;
}

template <class Button>
Button* AddChoice(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* button = new Button(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->move(x, y);
    button->adjustSize();
    return button;
}

}  // namespace

// What the document asks of the window.
class TFormMain::View : public doc::DocumentView {
public:
    explicit View(TFormMain& form) : form_(form) {}
    std::optional<QSize> ClientArea() const override { return form_.ClientSize(); }
    void PlacingCharts() override { form_.MappingSheet->SetVertScrollPosition(0); }
    void ChartsPlaced() override { form_.MappingSheet->UpdateRange(); }
    void TakeEditedText() override {
        data::TEditorBox* box = form_.EditorBox;
        if (box && box->Edited() && !box->TakeText()) {
            form_.ShowErrorMessage(QStringLiteral("Shift-JIS で表せない文字を「?」に置き換えました。"));
        }
    }
    void DataTextLoaded() override {
        form_.SetEditorTextModified(false);
        form_.ShowMemoText();
    }
    void DataTextChanged() override { form_.ShowMemoText(); }
    void PlotPassStarted() override { form_.StatusBar1->clearMessage(); }
    void PlotPassReport(const plot::PlotReport&) override { form_.ReportPlotWarnings(); }
    void LegendEdited() override { form_.LoadMarkControls(); }
    void BoardChanged() override { form_.ShowBoard(); }
    void Busy(bool on) override {
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }

private:
    TFormMain& form_;
};

TFormMain::TFormMain(const QString& executablePath, const QStringList& arguments, platform::Dialogs& dialogs,
                     QWidget* parent)
    : QMainWindow(parent),
      Chart1(new chart::TChart),
      Chart2(new chart::TChart),
      Chart3(new chart::TChart),
      view_(std::make_unique<View>(*this)),
      Doc(*Chart1, *Chart2, *Chart3, view_.get()),
      dialogs_(dialogs),
      executablePath_(executablePath) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral(" Kavum for Windows"));
    setWindowIcon(QIcon(ProgramIconPixmap(32)));
    platform::InstallFontSubstitutions();
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    font.setPixelSize(12);
    setFont(font);
    resize(WindowWidth, WindowHeight);

    MappingSheet = new TScrollBox(this);
    MappingSheet->setObjectName(QStringLiteral("MappingSheet"));
    setCentralWidget(MappingSheet);
    BuildMenus();
    BuildCharts();
    BuildBoard();
    BindBoard();
    BuildStatusBar();
    ConnectDataCommands();
    BuildConventions();

    AboutBox = new TAboutBox(ProgramVersionText(), this);
    AboutBox->setObjectName(QStringLiteral("AboutBox"));

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(WindowWidth / 2, WindowHeight / 2));

    RunCommand([&] { FormCreate(arguments); });
}

TFormMain::~TFormMain() {
    if (helpWindow_) delete helpWindow_.data();
}

// ---------------------------------------------------------------- building

void TFormMain::BuildMenus() {
    QMenuBar* bar = menuBar();

    MenuFile = bar->addMenu(U("ファイル(&F)"));
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    OpenIniFileItem = AddItem(MenuFile, "OpenIniFileItem", U("設定ファイル再読込"));
    SaveIniFileItem = AddItem(MenuFile, "SaveIniFileItem", U("設定ファイルを保存"));
    MenuFile->addSeparator();
    ReLoadGrd = AddItem(MenuFile, "ReLoadGrd", U("分布データを再読込"));
    AddPlotItem = AddItem(MenuFile, "AddPlotItem", U("分布データを追加読"));
    SavePlotItem = AddItem(MenuFile, "SavePlotItem", U("分布データを保存"));
    MenuFile->addSeparator();
    SaveToEMFItem = AddItem(MenuFile, "SaveToEMFItem", U("図をEMF形式で保存"));
    MenuFile->addSeparator();
    MenuQuit = AddItem(MenuFile, "MenuQuit", U("終  了"));

    MenuEdit = bar->addMenu(U("編集(&E)"));
    MenuEdit->setObjectName(QStringLiteral("MenuEdit"));
    CopyEMFItem = AddItem(MenuEdit, "CopyEMFItem", U("図をｸﾘｯﾌﾟﾎﾞｰﾄﾞへ"));
    ClearPlotItem = AddItem(MenuEdit, "ClearPlotItem", U("分布データをクリア"));
    EdDataItem = AddItem(MenuEdit, "EdDataItem", U("分布データを編集"));
    MenuEdit->addSeparator();
    EditMarkItem = AddItem(MenuEdit, "EditMarkItem", U("分布の凡例を編集"));
    MenuEdit->addSeparator();
    ReSetItem = AddItem(MenuEdit, "ReSetItem", U("描画設定の一覧表示"));

    MenuDetail = bar->addMenu(U("詳細(&F)"));
    MenuDetail->setObjectName(QStringLiteral("MenuDetail"));
    PrecisionItems = new QActionGroup(this);
    PrecisionItems->setExclusive(true);
    QAction** precisionItems[] = {&PlotSize12, &PlotSize1, &PlotSize2, &PlotSize5, &PlotSize10, &PlotSize0};
    int index = 0;
    for (const geo::PrecisionInfo& info : geo::Precisions()) {
        QAction* item = AddItem(MenuDetail, info.menuItem, U(info.menuCaption));
        item->setCheckable(true);
        PrecisionItems->addAction(item);
        *precisionItems[index++] = item;
    }
    PlotSize10->setChecked(true);
    MenuDetail->addSeparator();
    MeshLineItems = new QActionGroup(this);
    MeshLineItems->setExclusive(false);
    NoMeshLine = AddItem(MenuDetail, "NoMeshLine", U("区画腺の表示無し"));
    FirstMeshLine = AddItem(MenuDetail, "FirstMeshLine", U("１次区画腺を表示"));
    SecondMeshLine = AddItem(MenuDetail, "SecondMeshLine", U("２次区画腺を表示"));
    for (QAction* item : {NoMeshLine, FirstMeshLine, SecondMeshLine}) MeshLineItems->addAction(item);
    MenuDetail->addSeparator();
    PrefLines = AddItem(MenuDetail, "PrefLines", U("県界を表示する"));
    PrefLines->setCheckable(true);

    MenuView = bar->addMenu(U("表示(&V)"));
    MenuView->setObjectName(QStringLiteral("MenuView"));
    ViewItems = new QActionGroup(this);
    ViewItems->setExclusive(false);
    ShowAll = AddItem(MenuView, "ShowAll", U("三面分布図を表示"));
    ShowHorizon = AddItem(MenuView, "ShowHorizon", U("水平分布図を表示"));
    ShowVertical = AddItem(MenuView, "ShowVertical", U("垂直分布図を表示"));
    for (QAction* item : {ShowAll, ShowHorizon, ShowVertical}) ViewItems->addAction(item);
    MenuView->addSeparator();
    FitItems = new QActionGroup(this);
    FitItems->setExclusive(false);
    ShowHeightFill = AddItem(MenuView, "ShowHeightFill", U("画面の高さに収める"));
    ShowWidthFill = AddItem(MenuView, "ShowWidthFill", U("画面の横幅に収める"));
    for (QAction* item : {ShowHeightFill, ShowWidthFill}) FitItems->addAction(item);

    MenuHelp = bar->addMenu(U("ヘルプ(&H)"));
    MenuHelp->setObjectName(QStringLiteral("MenuHelp"));
    HelpMokuji = AddItem(MenuHelp, "HelpMokuji", U("使用説明書"));
    HelpVersion = AddItem(MenuHelp, "HelpVersion", U("バージョン情報"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    BMPCopyTo_C1 = AddItem(PopupMenu1, "BMPCopyTo_C1", U("BMP形式でコピー"));
    EMFCopyTo_C1 = AddItem(PopupMenu1, "EMFCopyTo_C1", U("EMF形式でコピー"));
    SetLegendPos = AddItem(PopupMenu1, "SetLegendPos", U("凡例の左上指定"));
    EditMarkPopItem = AddItem(PopupMenu1, "EditMarkPopItem", U("凡例を編集する"));
    ReSetPopItem = AddItem(PopupMenu1, "ReSetPopItem", U("描画設定をやり直す"));
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    BMPCopyTo_C2 = AddItem(PopupMenu2, "BMPCopyTo_C2", U("BMP形式でコピー"));
    EMFCopyTo_C2 = AddItem(PopupMenu2, "EMFCopyTo_C2", U("EMF形式でコピー"));
    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    BMPCopyTo_C3 = AddItem(PopupMenu3, "BMPCopyTo_C3", U("BMP形式でコピー"));
    EMFCopyTo_C3 = AddItem(PopupMenu3, "EMFCopyTo_C3", U("EMF形式でコピー"));

    // Commands of this window. The data, legend and export items are
    // connected by the parts of the program that carry them out.
    ConnectCommand(OpenIniFileItem, &QAction::triggered, &TFormMain::OpenIniFileItemClick);
    ConnectCommand(SaveIniFileItem, &QAction::triggered, &TFormMain::SaveIniFileItemClick);
    ConnectCommand(MenuQuit, &QAction::triggered, &TFormMain::MenuQuitClick);
    ConnectCommand(ReSetItem, &QAction::triggered, &TFormMain::ReSetItemClick);
    ConnectCommand(ReSetPopItem, &QAction::triggered, &TFormMain::ReSetItemClick);
    ConnectCommand(PlotSize12, &QAction::triggered, &TFormMain::PlotSize12Click);
    ConnectCommand(PlotSize1, &QAction::triggered, &TFormMain::PlotSize1Click);
    ConnectCommand(PlotSize2, &QAction::triggered, &TFormMain::PlotSize2Click);
    ConnectCommand(PlotSize5, &QAction::triggered, &TFormMain::PlotSize5Click);
    ConnectCommand(PlotSize10, &QAction::triggered, &TFormMain::PlotSize10Click);
    ConnectCommand(PlotSize0, &QAction::triggered, &TFormMain::PlotSize0Click);
    ConnectCommand(NoMeshLine, &QAction::triggered, &TFormMain::NoMeshLineClick);
    ConnectCommand(FirstMeshLine, &QAction::triggered, &TFormMain::FirstMeshLineClick);
    ConnectCommand(SecondMeshLine, &QAction::triggered, &TFormMain::SecondMeshLineClick);
    ConnectCommand(PrefLines, &QAction::triggered, &TFormMain::PrefLinesClick);
    ConnectCommand(ShowAll, &QAction::triggered, &TFormMain::ShowAllClick);
    ConnectCommand(ShowHorizon, &QAction::triggered, &TFormMain::ShowHorizonClick);
    ConnectCommand(ShowVertical, &QAction::triggered, &TFormMain::ShowVerticalClick);
    ConnectCommand(ShowHeightFill, &QAction::triggered, &TFormMain::ShowHeightFillClick);
    ConnectCommand(ShowWidthFill, &QAction::triggered, &TFormMain::ShowWidthFillClick);
    ConnectCommand(HelpMokuji, &QAction::triggered, &TFormMain::HelpMokujiClick);
    ConnectCommand(HelpVersion, &QAction::triggered, &TFormMain::HelpVersionClick);
}

void TFormMain::BuildBoard() {
    QWidget* sheet = MappingSheet->Sheet();
    SettingBoard = new QGroupBox(sheet);
    SettingBoard->setObjectName(QStringLiteral("SettingBoard"));
    SettingBoard->setGeometry(30, 30, 628, 377);
    SettingBoard->setAutoFillBackground(true);
    QPalette palette = SettingBoard->palette();
    palette.setColor(QPalette::Window, BoardColor);
    SettingBoard->setPalette(palette);
    QWidget* b = SettingBoard;

    // Title and files.
    AddLabel(b, U("分布図標題"), 16, 19);
    EditTitle = AddEdit(b, "EditTitle", 104, 16, 508, 80);
    AddLabel(b, U("設定ファイル"), 16, 47);
    EditIniFile = AddEdit(b, "EditIniFile", 104, 44, 444, 36);
    EditIniFile->setReadOnly(true);
    BtnGetIniFile = AddButton(b, "BtnGetIniFile", U("参照"), QRect(556, 43, 56, 23));
    AddLabel(b, U("地形図ファイル"), 16, 75);
    EditMapFile = AddEdit(b, "EditMapFile", 104, 72, 444, 36);
    BtnGetMapFile = AddButton(b, "BtnGetMapFile", U("参照"), QRect(556, 71, 56, 23));
    AddLabel(b, U("データファイル"), 16, 103);
    EditGrdFile = AddEdit(b, "EditGrdFile", 104, 100, 444, 0);
    BtnGetDataFile = AddButton(b, "BtnGetDataFile", U("参照"), QRect(556, 99, 56, 23));

    // The drawing range as a compass: north on top, west left, east right.
    RangeGroup = AddGroup(b, "RangeGroup", U("作図の範囲"), QRect(12, 132, 318, 232));
    QWidget* r = RangeGroup;
    AddLabel(r, U("北端緯度"), 124, 20);
    EditGY2 = AddEdit(r, "EditGY2", 122, 35, 64, 6);
    AddLabel(r, U("北東区画"), 236, 20);
    EditNWGrid = AddEdit(r, "EditNWGrid", 230, 35, 72, 6);
    AddLabel(r, U("西端経度"), 16, 68);
    EditGX1 = AddEdit(r, "EditGX1", 10, 83, 76, 8);
    auto* note = AddLabel(r, U("度.分 (dd.mm)"), 0, 86);
    note->move((318 - note->width()) / 2, 86);
    AddLabel(r, U("東端経度"), 236, 68);
    EditGX2 = AddEdit(r, "EditGX2", 230, 83, 76, 8);
    AddLabel(r, U("南西区画"), 16, 116);
    EditSWGrid = AddEdit(r, "EditSWGrid", 10, 131, 72, 6);
    AddLabel(r, U("南端緯度"), 124, 116);
    EditGY1 = AddEdit(r, "EditGY1", 122, 131, 64, 6);
    AddLabel(r, U("標高上限 m"), 16, 172);
    EditGH2 = AddEdit(r, "EditGH2", 90, 169, 56, 6);
    AddLabel(r, U("緯度幅／経度幅"), 164, 172);
    EditI2K = AddEdit(r, "EditI2K", 250, 169, 56, 6);
    auto* hint = AddLabel(r, U("作図範囲を経緯度　または地理区画で指定"), 0, 205);
    hint->move((318 - hint->width()) / 2, 205);

    // Point precision.
    PrecisionGroup = AddGroup(b, "PrecisionGroup", U("点の精度"), QRect(340, 132, 84, 178));
    QRadioButton** precisionButtons[] = {&GScale12, &GScale1, &GScale2, &GScale5, &GScale10, &GScale0};
    int index = 0;
    for (const geo::PrecisionInfo& info : geo::Precisions()) {
        *precisionButtons[index] =
            AddChoice<QRadioButton>(PrecisionGroup, info.boardButton, U(info.boardCaption), 12, 22 + 25 * index);
        ++index;
    }
    GScale1->setChecked(true);

    // Mesh lines, top to bottom: standard, second, first, none.
    MeshLineGroup = AddGroup(b, "MeshLineGroup", U("区画線"), QRect(432, 132, 84, 178));
    QRadioButton** meshButtons[] = {&MScale0, &MScale1, &MScale2, &MScale3};
    const auto kinds = geo::MeshLineKinds();
    for (int i = 0; i < static_cast<int>(kinds.size()); ++i) {
        const geo::MeshLineInfo& info = kinds[static_cast<std::size_t>(i)];
        *meshButtons[i] = AddChoice<QRadioButton>(MeshLineGroup, info.boardButton, U(info.boardCaption), 12,
                                                  22 + 25 * (3 - i));
    }
    MScale2->setChecked(true);
    Prefecture = AddChoice<QCheckBox>(MeshLineGroup, "Prefecture", U("県界"), 12, 22 + 25 * 4 + 8);

    // Views.
    ViewGroup = AddGroup(b, "ViewGroup", U("　作成分布図"), QRect(524, 132, 92, 72));
    HorizonMap = AddChoice<QCheckBox>(ViewGroup, "HorizonMap", U("水平分布図"), 8, 22);
    ProfileMap = AddChoice<QCheckBox>(ViewGroup, "ProfileMap", U("断面分布図"), 8, 46);
    HorizonMap->setChecked(true);
    ProfileMap->setChecked(true);

    // Line colours and width.
    MapColorBt = new TClickPanel(U("└─┐　海岸線"), b);
    SubColorBt = new TClickPanel(U("------　行政界"), b);
    MshColorBt = new TClickPanel(U("───　区画線"), b);
    MapLWBtn = new TClickPanel(U("─幅"), b);
    const char* panelNames[] = {"MapColorBt", "SubColorBt", "MshColorBt", "MapLWBtn"};
    index = 0;
    for (TClickPanel* panel : {MapColorBt, SubColorBt, MshColorBt, MapLWBtn}) {
        panel->setObjectName(QString::fromLatin1(panelNames[index]));
        panel->setGeometry(524, 212 + 25 * index, 92, 22);
        ++index;
    }

    BtnCansel = AddButton(b, "BtnCansel", U("変更中止"), QRect(340, 322, 100, 34));
    NewMapBtn = AddButton(b, "NewMapBtn", U("分布図を作成する"), QRect(452, 322, 164, 34));

    ConnectCommand(BtnGetIniFile, &QPushButton::clicked, &TFormMain::OpenIniFileItemClick);
    ConnectCommand(HorizonMap, &QCheckBox::toggled, &TFormMain::HorizonMapClick);
    ConnectCommand(ProfileMap, &QCheckBox::toggled, &TFormMain::ProfileMapClick);
    ConnectCommand(MapColorBt, &TClickPanel::clicked, &TFormMain::MapColorBtClick);
    ConnectCommand(SubColorBt, &TClickPanel::clicked, &TFormMain::SubColorBtClick);
    ConnectCommand(MshColorBt, &TClickPanel::clicked, &TFormMain::MshColorBtClick);
    ConnectCommand(MapLWBtn, &TClickPanel::clicked, &TFormMain::MapLWBtnClick);
    ConnectCommand(BtnCansel, &QPushButton::clicked, &TFormMain::BtnCanselClick);
    ConnectCommand(NewMapBtn, &QPushButton::clicked, &TFormMain::NewMapBtnClick);

    MappingSheet->Track(SettingBoard);
}

void TFormMain::BuildStatusBar() {
    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    struct PanelDesign {
        int width;
        const char* text;
        bool bevel;
    };
    static const PanelDesign panels[] = {
        {160, "Noname", true}, {46, "点精度", true}, {40, "", true}, {36, "区画", true}, {40, "", true},
        {10, "", false},       {36, "緯度", true},   {50, "", true}, {36, "経度", true}, {50, "", true},
        {36, "標高", true},     {40, "", true},      {50, "コード", true}, {80, "", true}, {50, "", true},
    };
    for (const PanelDesign& panel : panels) StatusBar1->AddPanel(panel.width, U(panel.text), panel.bevel);
    // The panels that the program fills widen to show their whole text
    // (141.1357 does not fit 50 pixels in every font and scale).
    for (int index : {2, 4, 7, 9, 11, 13}) StatusBar1->SetFitsContent(index, true);
}

// ---------------------------------------------------------------- start-up

void TFormMain::FormCreate(const QStringList& arguments) {
    State.HelpIndexFile = FindManualIndex(ManualFolders(executablePath_));
    for (chart::TChart* chart : {Chart1, Chart2, Chart3}) chart->hide();
    OpenDialog1.Filter = OpenFilter;
    OpenDialog1.InitialDir = DialogFolder(ProgramFolder());
    SaveDialog1.Filter = SaveFilter;
    SaveDialog1.Title = U("地図基本ファイル");

    const QString userPath = UserSettingsPath();
    State.IniFileName =
        ResolveSettingsPath(executablePath_, arguments, ProbeExecutableFolder(executablePath_), userPath);
    if (State.IniFileName == userPath) {
        // Said at once: otherwise the first sign would be a failing 終了.
        const QString folder = QFileInfo(userPath).absolutePath();
        const int error = platform::MakeFolders(QFile::encodeName(folder).toStdString());
        if (error != 0) {
            dialogs_.ShowMessage(this, QStringLiteral("Kavum for Windows"), doc::SettingsFolderMessage(folder, error),
                                 platform::MessageIcon::Warning);
        }
    }
    EditIniFile->setText(QStringLiteral("Kavum.ini"));

    InitializeVariables();
    // A first run of an installed program starts from the installed
    // defaults, which name the bundled map and samples; quitting writes the
    // settings file in use.
    const QString defaults = InstalledDefaultSettings(executablePath_);
    if (!defaults.isEmpty() && !QFileInfo::exists(State.IniFileName)) {
        const QString inUse = State.IniFileName;
        State.IniFileName = defaults;
        ReadIniFile();
        State.IniFileName = inUse;
    } else {
        ReadIniFile();
    }
    SettingBoard->show();
    MenuEdit->menuAction()->setEnabled(false);
}

void TFormMain::InitializeVariables() { Doc.InitializeVariables(); }

QRadioButton* TFormMain::GScale(int gridSize) const {
    switch (gridSize) {
    case 12: return GScale12;
    case 1: return GScale1;
    case 2: return GScale2;
    case 5: return GScale5;
    case 10: return GScale10;
    case 0: return GScale0;
    default: return nullptr;
    }
}

QRadioButton* TFormMain::MScale(int meshSize) const {
    switch (meshSize) {
    case 0: return MScale0;
    case 1: return MScale1;
    case 2: return MScale2;
    case 3: return MScale3;
    default: return nullptr;
    }
}

int TFormMain::SelectedGridSize() const {
    for (const geo::PrecisionInfo& info : geo::Precisions()) {
        const int value = static_cast<int>(info.precision);
        if (GScale(value)->isChecked()) return value;
    }
    return State.GridSize;
}

int TFormMain::SelectedMeshSize() const {
    for (const geo::MeshLineInfo& info : geo::MeshLineKinds()) {
        const int value = static_cast<int>(info.kind);
        if (MScale(value)->isChecked()) return value;
    }
    return State.MeshSize;
}

// ---------------------------------------------------------------- the board and the document

void TFormMain::BindBoard() {
    doc::BoardValues& b = Doc.Board;
    const std::pair<QLineEdit*, QString doc::BoardValues::*> texts[] = {
        {EditTitle, &doc::BoardValues::Title}, {EditIniFile, &doc::BoardValues::IniFile},
        {EditMapFile, &doc::BoardValues::MapFile}, {EditGrdFile, &doc::BoardValues::GrdFile},
        {EditGY2, &doc::BoardValues::GY2},     {EditGY1, &doc::BoardValues::GY1},
        {EditGX1, &doc::BoardValues::GX1},     {EditGX2, &doc::BoardValues::GX2},
        {EditNWGrid, &doc::BoardValues::NWGrid}, {EditSWGrid, &doc::BoardValues::SWGrid},
        {EditGH2, &doc::BoardValues::GH2},     {EditI2K, &doc::BoardValues::I2K}};
    for (const auto& [edit, field] : texts) {
        b.*field = edit->text();
        connect(edit, &QLineEdit::textChanged, this, [this, field = field](const QString& text) { Doc.Board.*field = text; });
    }
    const std::pair<QCheckBox*, bool doc::BoardValues::*> checks[] = {{Prefecture, &doc::BoardValues::Prefecture},
                                                                       {HorizonMap, &doc::BoardValues::HorizonMap},
                                                                       {ProfileMap, &doc::BoardValues::ProfileMap}};
    for (const auto& [box, field] : checks) {
        b.*field = box->isChecked();
        connect(box, &QCheckBox::toggled, this, [this, field = field](bool on) { Doc.Board.*field = on; });
    }
    // The first chosen of 0, 12, 10, 5, 2, 1, and of 1, 2, 3, 0.
    auto precision = [this] {
        Doc.Board.GridSize = -1;
        for (int value : {0, 12, 10, 5, 2, 1}) {
            if (GScale(value)->isChecked()) {
                Doc.Board.GridSize = value;
                break;
            }
        }
    };
    auto mesh = [this] {
        Doc.Board.MeshSize = -1;
        for (int value : {1, 2, 3, 0}) {
            if (MScale(value)->isChecked()) {
                Doc.Board.MeshSize = value;
                break;
            }
        }
    };
    precision();
    mesh();
    for (QRadioButton* button : {GScale12, GScale1, GScale2, GScale5, GScale10, GScale0})
        connect(button, &QRadioButton::toggled, this, precision);
    for (QRadioButton* button : {MScale3, MScale2, MScale1, MScale0}) connect(button, &QRadioButton::toggled, this, mesh);
    const std::pair<TClickPanel*, platform::TColor doc::BoardValues::*> colours[] = {
        {MapColorBt, &doc::BoardValues::MapColor},
        {SubColorBt, &doc::BoardValues::SubColor},
        {MshColorBt, &doc::BoardValues::MshColor}};
    for (const auto& [panel, field] : colours) {
        b.*field = panel->FontColor();
        connect(panel, &TClickPanel::fontColorChanged, this,
                [this, field = field](std::uint32_t colour) { Doc.Board.*field = colour; });
    }
}

void TFormMain::ShowBoard() {
    const doc::BoardValues b = Doc.Board;
    auto text = [](QLineEdit* edit, const QString& value) {
        if (edit->text() != value) edit->setText(value);
    };
    text(EditTitle, b.Title);
    text(EditIniFile, b.IniFile);
    text(EditMapFile, b.MapFile);
    text(EditGrdFile, b.GrdFile);
    text(EditGY2, b.GY2);
    text(EditGY1, b.GY1);
    text(EditGX1, b.GX1);
    text(EditGX2, b.GX2);
    text(EditNWGrid, b.NWGrid);
    text(EditSWGrid, b.SWGrid);
    text(EditGH2, b.GH2);
    text(EditI2K, b.I2K);
    HorizonMap->setChecked(b.HorizonMap);
    ProfileMap->setChecked(b.ProfileMap);
    MapColorBt->SetFontColor(b.MapColor);
    SubColorBt->SetFontColor(b.SubColor);
    MshColorBt->SetFontColor(b.MshColor);
    Prefecture->setChecked(b.Prefecture);
    if (QRadioButton* button = GScale(b.GridSize)) button->setChecked(true);
    if (QRadioButton* button = MScale(b.MeshSize)) button->setChecked(true);
}

// ---------------------------------------------------------------- settings file

void TFormMain::ReadIniFile() {
    bool unreadable = false;
    std::string reason;
    const SettingsValues v = Doc.LoadIniFile(&unreadable, &reason);
    if (unreadable) {
        // The board shows the defaults; the file itself is left alone until
        // the user agrees to replace it.
        dialogs_.ShowMessage(this, QStringLiteral("Kavum for Windows"),
                             doc::SettingsUnreadableMessage(State.IniFileName, reason), platform::MessageIcon::Warning);
    }
    Doc.ApplySettings(v);
    ShowBoard();
    SetLineWidthCaption();
}

SettingsValues TFormMain::CurrentSettings() const { return Doc.CurrentSettings(); }

void TFormMain::WriteIniFile() {
    bool replace = false;
    if (SettingsFileUnreadable(State.IniFileName)) {
        replace = dialogs_.Confirm(this, QStringLiteral("Kavum for Windows"),
                                   QStringLiteral("設定ファイル %1 を読み込めませんでした。\n"
                                                  "上書きすると、このファイルの内容は失われます。上書きしますか？")
                                       .arg(State.IniFileName));
        // Declined: the file stays as it is, and nothing is written.
        if (!replace) return;
    }
    const SettingsValues values = CurrentSettings();
    // The file is Shift-JIS: a character without a Shift-JIS form is
    // written as "?", and the user is told so, as the data editor does.
    bool exact = true;
    for (const QString* text : {&values.Title, &values.MapFile, &values.GrdFile, &values.GY1, &values.GY2,
                                &values.GX1, &values.GX2, &values.GH2, &values.I2K}) {
        bool one = true;
        platform::QStringToCp932(*text, &one);
        exact = exact && one;
    }
    if (!exact) ShowErrorMessage(QStringLiteral("Shift-JIS で表せない文字を「?」に置き換えました。"));
    SaveSettings(State.IniFileName, values, replace);
}

void TFormMain::LoadSettingsFile(const QString& path) {
    State.IniFileName = path;
    ReadIniFile();
    EditIniFile->setText(State.IniFileName);
}

QString TFormMain::ProgramFolder() const {
    // An installed program's folder (/usr/bin) is no place for the user's files.
    if (!InstalledDefaultSettings(executablePath_).isEmpty()) return {};
    return QFileInfo(executablePath_).absolutePath();
}

void TFormMain::OpenIniFileItemClick() {
    OpenDialog1.InitialDir = DialogFolder(ProgramFolder());
    OpenDialog1.FilterIndex = 1;
    OpenDialog1.FileName = QStringLiteral("*.ini");
    if (dialogs_.ExecuteOpen(this, OpenDialog1)) {
        RememberFolder(OpenDialog1.FileName);
        State.IniFileName = OpenDialog1.FileName;
        ReadIniFile();
    }
    SettingBoard->show();
    EditIniFile->setText(State.IniFileName);
}

void TFormMain::SaveIniFileItemClick() {
    const QString inUse = State.IniFileName;
    SaveDialog1.FilterIndex = 1;
    SaveDialog1.FileName = QStringLiteral("*.ini");
    SaveDialog1.DefaultExt = QStringLiteral("ini");
    SaveDialog1.InitialDir = DialogFolder(QFileInfo(inUse).absolutePath());
    if (!dialogs_.ExecuteSave(this, SaveDialog1)) return;
    if (!MayReplaceFile(SaveDialog1.FileName)) return;
    RememberFolder(SaveDialog1.FileName);
    // The copy is written under the chosen name; the file in use stays.
    State.IniFileName = SaveDialog1.FileName;
    try {
        WriteIniFile();
    } catch (...) {
        State.IniFileName = inUse;
        throw;
    }
    State.IniFileName = inUse;
}

// ---------------------------------------------------------------- quitting and help

void TFormMain::MenuQuitClick() {
    if (!MayQuitWithEditorText()) return;
    WriteIniFile();
    if (helpWindow_) helpWindow_->close();
    closeAgreed_ = true;
    close();
    closeAgreed_ = false;
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!closeAgreed_) {
        bool mayClose = false;
        RunCommand([&] { mayClose = MayQuitWithEditorText(); });
        if (!mayClose) {
            event->ignore();
            return;
        }
    }
    SaveWindowState();
    if (helpWindow_) helpWindow_->close();
    event->accept();
}

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (sized_) return;
    sized_ = true;
    // A size and place kept from the last run stand as they are.
    if (geometryRestored_) return;
    // The outer size includes the frame, known only once the window is shown.
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - geometry().size();
        if (frame.isEmpty()) return;
        resize(WindowWidth - frame.width(), WindowHeight - frame.height());
        if (QScreen* s = screen()) move(s->availableGeometry().center() - QPoint(WindowWidth / 2, WindowHeight / 2));
    });
}

void TFormMain::HelpMokujiClick() {
    if (State.HelpIndexFile.isEmpty() || !QFileInfo(State.HelpIndexFile).isFile()) return;
    if (!helpWindow_) {
        helpWindow_ = new QTextBrowser;
        helpWindow_->setObjectName(QStringLiteral("HelpWindow"));
        helpWindow_->setAttribute(Qt::WA_QuitOnClose, false);
        helpWindow_->setWindowTitle(U("使用説明書 - Kavum for Windows"));
        helpWindow_->setWindowIcon(windowIcon());
        helpWindow_->setOpenExternalLinks(true);
        helpWindow_->resize(760, 600);
    }
    helpWindow_->setSource(QUrl::fromLocalFile(State.HelpIndexFile));
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void TFormMain::HelpVersionClick() { AboutBox->exec(); }

// ---------------------------------------------------------------- board and menu rules

void TFormMain::ReSetItemClick() {
    MappingSheet->SetVertScrollPosition(0);
    SettingBoard->show();
    SettingBoard->raise();
}

void TFormMain::BtnCanselClick() { SettingBoard->hide(); }

void TFormMain::ChoosePrecision(QAction* item, int gridSize) {
    if (!MayDiscardEditorText()) {
        // The check mark goes back to the precision in use.
        (precisionChecked_ ? precisionChecked_ : PlotSize10)->setChecked(true);
        return;
    }
    precisionChecked_ = item;
    item->setChecked(true);
    GScale(gridSize)->setChecked(true);
    NewMapBtnClick();
}

void TFormMain::PlotSize12Click() { ChoosePrecision(PlotSize12, 12); }
void TFormMain::PlotSize1Click() { ChoosePrecision(PlotSize1, 1); }
void TFormMain::PlotSize2Click() { ChoosePrecision(PlotSize2, 2); }
void TFormMain::PlotSize5Click() { ChoosePrecision(PlotSize5, 5); }
void TFormMain::PlotSize10Click() { ChoosePrecision(PlotSize10, 10); }
void TFormMain::PlotSize0Click() { ChoosePrecision(PlotSize0, 0); }

void TFormMain::ChooseMeshLines(int meshSize) {
    if (!MayDiscardEditorText()) return;
    MScale(meshSize)->setChecked(true);
    NewMapBtnClick();
}

void TFormMain::NoMeshLineClick() { ChooseMeshLines(0); }
void TFormMain::FirstMeshLineClick() { ChooseMeshLines(1); }
void TFormMain::SecondMeshLineClick() { ChooseMeshLines(2); }

void TFormMain::PrefLinesClick() {
    // The item's check mark has already been inverted by choosing it.
    if (!MayDiscardEditorText()) {
        PrefLines->setChecked(!PrefLines->isChecked());
        return;
    }
    Prefecture->setChecked(PrefLines->isChecked());
    NewMapBtnClick();
}

void TFormMain::HorizonMapClick() {
    if (!HorizonMap->isChecked()) ProfileMap->setChecked(true);
}

void TFormMain::ProfileMapClick() {
    if (!ProfileMap->isChecked()) HorizonMap->setChecked(true);
}

void TFormMain::ShowAllClick() {
    if (State.ShowMode == 3) {
        ReplaceMaps();
        return;
    }
    if (!MayDiscardEditorText()) return;
    ProfileMap->setChecked(true);
    HorizonMap->setChecked(true);
    NewMapBtnClick();
}

void TFormMain::ShowHorizonClick() {
    if (State.ShowMode == 1 || State.ShowMode == 3) {
        State.ShowMode = 1;
        ReplaceMaps();
        return;
    }
    if (!MayDiscardEditorText()) return;
    State.ShowMode = 1;
    ProfileMap->setChecked(false);
    NewMapBtnClick();
}

void TFormMain::ShowVerticalClick() {
    if (!MayDiscardEditorText()) return;
    HorizonMap->setChecked(false);
    NewMapBtnClick();
}

void TFormMain::ShowHeightFillClick() {
    State.FitToWidth = false;
    ReplaceMaps();
}

void TFormMain::ShowWidthFillClick() {
    State.FitToWidth = true;
    ReplaceMaps();
}

void TFormMain::ChooseLineColor(TClickPanel* panel, std::uint32_t& field) {
    if (!dialogs_.ExecuteColor(this, ColorDialog1)) return;
    field = ColorDialog1.Color;
    panel->SetFontColor(field);
}

void TFormMain::MapColorBtClick() { ChooseLineColor(MapColorBt, State.MapColor); }
void TFormMain::SubColorBtClick() { ChooseLineColor(SubColorBt, State.SubColor); }
void TFormMain::MshColorBtClick() { ChooseLineColor(MshColorBt, State.MshColor); }

void TFormMain::MapLWBtnClick() {
    State.MLW = 3 - State.MLW;
    SetLineWidthCaption();
}

void TFormMain::SetLineWidthCaption() { MapLWBtn->setText(State.MLW == 1 ? U("─幅") : U("━幅")); }

// ---------------------------------------------------------------- making the map

// ---------------------------------------------------------------- errors

void TFormMain::ShowError(std::exception_ptr error) noexcept {
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const platform::KavumError& e) {
        message = QString::fromUtf8(e.Message().data(), static_cast<qsizetype>(e.Message().size()));
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = U("不明なエラーが発生しました");
    }
    ShowErrorMessage(message);
}

void TFormMain::ShowErrorMessage(const QString& message) noexcept {
    try {
        dialogs_.ShowMessage(this, QStringLiteral("Kavum for Windows"), message, platform::MessageIcon::Error);
    } catch (...) {
    }
}

}  // namespace kavum::app
