// The table-import dialog: the encoding, the form of the coordinates and
// the column of each role, with the first rows of the table and the first
// lines of data text they give.
#include "Dialogs.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kavum::platform {

namespace {

// The captions of the roles, in the order of TableRole.
const char* const RoleCaptions[TableRoleCount] = {"種名・分類(&A):", "緯度(&L):", "経度(&O):", "標高(&E):",
                                                   "メッシュコード(&M):"};
const char* const RoleNames[TableRoleCount] = {"種名・分類", "緯度", "経度", "標高", "メッシュ"};
const char* const RoleObjects[TableRoleCount] = {"CategoryColumn", "LatitudeColumn", "LongitudeColumn",
                                                  "ElevationColumn", "MeshColumn"};

QString ColumnCaption(const QStringList& header, int column) {
    const QString name = column < header.size() ? header[column].trimmed() : QString();
    return QStringLiteral("%1: %2").arg(column + 1).arg(name.isEmpty() ? QStringLiteral("(名前なし)") : name);
}

}  // namespace

bool QtDialogs::ExecuteTableImport(QWidget* parent, TableImportDialog& dialog) {
    QDialog box(parent);
    box.setObjectName(QStringLiteral("TableImportDialog"));
    box.setWindowTitle(QStringLiteral("表の取り込み - %1").arg(QFileInfo(dialog.FileName).fileName()));
    box.resize(720, 600);
    auto* layout = new QVBoxLayout(&box);

    auto* options = new QFormLayout;
    auto* encoding = new QComboBox(&box);
    encoding->setObjectName(QStringLiteral("EncodingChoice"));
    encoding->addItem(QStringLiteral("UTF-8"));
    encoding->addItem(QStringLiteral("Shift-JIS"));
    auto* encodingLabel = new QLabel(QStringLiteral("文字コード(&C):"), &box);
    encodingLabel->setBuddy(encoding);
    options->addRow(encodingLabel, encoding);
    auto* degrees = new QComboBox(&box);
    degrees->setObjectName(QStringLiteral("DegreesChoice"));
    degrees->addItem(QStringLiteral("10進の度 (35.6586)"));
    degrees->addItem(QStringLiteral("度.分秒 (35.3931)"));
    auto* degreesLabel = new QLabel(QStringLiteral("緯度・経度の形式(&D):"), &box);
    degreesLabel->setBuddy(degrees);
    options->addRow(degreesLabel, degrees);
    layout->addLayout(options);

    auto* columnsGroup = new QGroupBox(QStringLiteral("列の割り当て"), &box);
    auto* columnsForm = new QFormLayout(columnsGroup);
    QComboBox* roles[TableRoleCount];
    for (int r = 0; r < TableRoleCount; ++r) {
        roles[r] = new QComboBox(columnsGroup);
        roles[r]->setObjectName(QString::fromLatin1(RoleObjects[r]));
        roles[r]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        auto* label = new QLabel(QString::fromUtf8(RoleCaptions[r]), columnsGroup);
        label->setBuddy(roles[r]);
        columnsForm->addRow(label, roles[r]);
    }
    layout->addWidget(columnsGroup);

    layout->addWidget(new QLabel(QStringLiteral("表の先頭:"), &box));
    auto* rows = new QTableWidget(&box);
    rows->setObjectName(QStringLiteral("PreviewRows"));
    rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows->setSelectionMode(QAbstractItemView::NoSelection);
    rows->verticalHeader()->setDefaultSectionSize(rows->fontMetrics().height() + 4);
    layout->addWidget(rows, 3);

    layout->addWidget(new QLabel(QStringLiteral("取り込まれる分布データ (先頭):"), &box));
    auto* lines = new QPlainTextEdit(&box);
    lines->setObjectName(QStringLiteral("PreviewLines"));
    lines->setReadOnly(true);
    lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(lines, 2);

    auto* note = new QLabel(&box);
    note->setObjectName(QStringLiteral("PreviewNote"));
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    layout->addWidget(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("取り込む"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);

    // The choice the controls stand for; dialog keeps the one proposed
    // until OK.
    TableImportDialog choice = dialog;
    QStringList shownHeader;
    bool shownOnce = false;
    auto showPreview = [&] {
        const TablePreview preview = choice.Preview ? choice.Preview(choice) : TablePreview{};
        if (!shownOnce || preview.Header != shownHeader) {
            // The column lists follow the header as decoded.
            shownHeader = preview.Header;
            shownOnce = true;
            for (QComboBox* role : roles) {
                const QSignalBlocker block(role);
                role->clear();
                role->addItem(QStringLiteral("(使わない)"), -1);
                for (int c = 0; c < shownHeader.size(); ++c) role->addItem(ColumnCaption(shownHeader, c), c);
            }
        }
        for (int r = 0; r < TableRoleCount; ++r) {
            const QSignalBlocker block(roles[r]);
            const int at = roles[r]->findData(choice.Columns[static_cast<std::size_t>(r)]);
            roles[r]->setCurrentIndex(at < 0 ? 0 : at);
        }
        const int columns = static_cast<int>(preview.Header.size());
        rows->clear();
        rows->setColumnCount(columns);
        rows->setRowCount(static_cast<int>(preview.Rows.size()));
        const QColor used(0xE0, 0xF0, 0xFF);
        for (int c = 0; c < columns; ++c) {
            QString title = preview.Header[c];
            bool isUsed = false;
            for (int r = 0; r < TableRoleCount; ++r) {
                if (choice.Columns[static_cast<std::size_t>(r)] == c) {
                    title = QStringLiteral("[%1] %2").arg(QString::fromUtf8(RoleNames[r]), title);
                    isUsed = true;
                }
            }
            auto* head = new QTableWidgetItem(title);
            if (isUsed) {
                QFont bold = head->font();
                bold.setBold(true);
                head->setFont(bold);
            }
            rows->setHorizontalHeaderItem(c, head);
            for (int i = 0; i < static_cast<int>(preview.Rows.size()); ++i) {
                const QStringList& row = preview.Rows[static_cast<std::size_t>(i)];
                auto* item = new QTableWidgetItem(c < row.size() ? row[c] : QString());
                if (isUsed) item->setBackground(QBrush(used));
                rows->setItem(i, c, item);
            }
        }
        rows->resizeColumnsToContents();
        lines->setPlainText(preview.Lines.join(QLatin1Char('\n')));
        note->setText(preview.Note);
        buttons->button(QDialogButtonBox::Ok)->setEnabled(preview.Usable);
        return preview;
    };

    encoding->setCurrentIndex(choice.ShiftJis ? 1 : 0);
    degrees->setCurrentIndex(choice.DegreesMinutes ? 1 : 0);
    showPreview();
    QObject::connect(encoding, &QComboBox::currentIndexChanged, &box, [&](int index) {
        choice.ShiftJis = index == 1;
        // The names read differently: the columns are found anew.
        choice.Columns = (choice.Preview ? choice.Preview(choice) : TablePreview{}).Found;
        showPreview();
    });
    QObject::connect(degrees, &QComboBox::currentIndexChanged, &box, [&](int index) {
        choice.DegreesMinutes = index == 1;
        showPreview();
    });
    for (int r = 0; r < TableRoleCount; ++r) {
        QObject::connect(roles[r], &QComboBox::currentIndexChanged, &box, [&, r](int index) {
            choice.Columns[static_cast<std::size_t>(r)] = roles[r]->itemData(index).toInt();
            showPreview();
        });
    }
    if (box.exec() != QDialog::Accepted) return false;
    dialog.ShiftJis = choice.ShiftJis;
    dialog.DegreesMinutes = choice.DegreesMinutes;
    dialog.Columns = choice.Columns;
    return true;
}

}  // namespace kavum::platform
