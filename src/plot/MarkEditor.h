#pragma once
// The mark editor panel that opens under the legend box, and the rules that
// link its lists to the mark settings.
#include "plot/MarkStyle.h"

#include <QFrame>
#include <QStringList>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kavum::plot {

// The list index of a size; nullopt for a size not in the list.
std::optional<int> SizeItemIndex(int size);
// The symbols of styles 1..9: □ ○ △ ▽ ＋ × ＊ ◇ ■.
const QStringList& MarkSymbolTexts();
// The style whose symbol is the text, looked for from 9 down to 1.
std::optional<int> StyleOfSymbol(const QString& text);

class TMarkEditor : public QFrame {
    Q_OBJECT
public:
    explicit TMarkEditor(QWidget* parent = nullptr);
    QLineEdit* EditLegName;
    QComboBox* ComboBoxMark;
    QPushButton* BtnMrkColor;
    QCheckBox* MarkRim;
    QComboBox* ComboBoxSize;
    QPushButton* BtnMrkExit;
};

}  // namespace kavum::plot
