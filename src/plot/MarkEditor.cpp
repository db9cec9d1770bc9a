#include "MarkEditor.h"
#include "platform/Fonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "platform/Cp932.h"

namespace kavum::plot {

namespace {

// Refuses what has no Shift-JIS form: such a character typed or pasted into
// the legend name is not taken, so every name can be written to the data.
class ShiftJisValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return platform::EncodesInCp932(input) ? Acceptable : Invalid;
    }
};

}  // namespace

std::optional<int> SizeItemIndex(int size) {
    for (std::size_t i = 0; i < MarkSizes.size(); ++i) {
        if (MarkSizes[i] == size) return static_cast<int>(i);
    }
    return std::nullopt;
}

const QStringList& MarkSymbolTexts() {
    static const QStringList symbols = {
        QStringLiteral("□"), QStringLiteral("○"), QStringLiteral("△"), QStringLiteral("▽"), QStringLiteral("＋"),
        QStringLiteral("×"), QStringLiteral("＊"), QStringLiteral("◇"), QStringLiteral("■")};
    return symbols;
}

std::optional<int> StyleOfSymbol(const QString& text) {
    const QStringList& symbols = MarkSymbolTexts();
    for (int s = 9; s >= 1; --s) {
        if (symbols[s - 1] == text) return s;
    }
    return std::nullopt;
}


TMarkEditor::TMarkEditor(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    resize(240, 101);
    setFont(platform::ProgramFont(QStringLiteral("ＭＳ 明朝"), 12));

    EditLegName = new QLineEdit(this);
    EditLegName->setGeometry(8, 8, 220, 22);
    EditLegName->setValidator(new ShiftJisValidator(EditLegName));
    ComboBoxMark = new QComboBox(this);
    ComboBoxMark->setGeometry(8, 38, 54, 22);
    ComboBoxMark->setEditable(true);
    ComboBoxMark->setInsertPolicy(QComboBox::NoInsert);   // typed text never joins the list
    ComboBoxMark->addItems(MarkSymbolTexts());
    BtnMrkColor = new QPushButton(QStringLiteral("色選択"), this);
    BtnMrkColor->setGeometry(76, 38, 53, 23);
    MarkRim = new QCheckBox(QStringLiteral("縁どり"), this);
    MarkRim->setGeometry(148, 38, 69, 23);
    MarkRim->setChecked(true);
    ComboBoxSize = new QComboBox(this);
    ComboBoxSize->setGeometry(8, 68, 54, 22);
    for (int size : MarkSizes) ComboBoxSize->addItem(QStringLiteral("%1").arg(size, 2, 10, QLatin1Char(' ')));
    BtnMrkExit = new QPushButton(QStringLiteral("再描画"), this);
    BtnMrkExit->setGeometry(172, 68, 53, 23);
    hide();
}

}  // namespace kavum::plot
