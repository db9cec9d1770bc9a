#include "Dialogs.h"

#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace kavum::platform {

QStringList NameFiltersOf(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The last "(…)" of a name filter holds the patterns; hidden details
        // leave the description as written.
        result << parts[i] + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
    }
    return result;
}

QString WithDefaultExt(const QString& path, const QString& ext) {
    if (ext.isEmpty()) return path;
    const QString name = QFileInfo(path).fileName();
    if (name.contains(QLatin1Char('.'))) return path;
    return path + QLatin1Char('.') + ext;
}

namespace {

QColor ToQColor(std::uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

std::uint32_t FromQColor(const QColor& c) {
    return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) | (std::uint32_t(c.blue()) << 16);
}

}  // namespace

bool QtDialogs::ExecuteFile(QWidget* parent, FileDialog& dialog, bool save) {
    QFileDialog box(parent, dialog.Title);
    const QString folder = !dialog.InitialDir.isEmpty() ? dialog.InitialDir : lastFolder_;
    if (!folder.isEmpty()) box.setDirectory(folder);
    // Qt's own dialog, which speaks the program's language whatever the desktop.
    box.setOption(QFileDialog::DontUseNativeDialog, true);
    // Set before the filters: a filter is selected by the name it shows.
    box.setOption(QFileDialog::HideNameFilterDetails, true);
    const QStringList filters = NameFiltersOf(dialog.Filter);
    box.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        box.selectNameFilter(filters[dialog.FilterIndex - 1]);
    // The entry of a filter as the dialog reports it, with or without details.
    auto entryOf = [&filters](const QString& shown) {
        for (qsizetype i = 0; i < filters.size(); ++i) {
            if (filters[i] == shown || filters[i].startsWith(shown + QStringLiteral(" ("))) return i;
        }
        return qsizetype(-1);
    };
    if (save) {
        box.setAcceptMode(QFileDialog::AcceptSave);
        box.setFileMode(QFileDialog::AnyFile);
        box.setOption(QFileDialog::DontConfirmOverwrite, true);
        box.setDefaultSuffix(dialog.DefaultExt);
    } else {
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(QFileDialog::ExistingFiles);
    }
    // A pattern in the name box only filters; a name is proposed as such.
    if (!dialog.FileName.isEmpty() && !dialog.FileName.contains(QLatin1Char('*')))
        box.selectFile(dialog.FileName);
    // As on the platform's own dialogs, a bare name takes the extension of
    // the entry chosen, when that entry names one, else the default one.
    const QStringList patterns = dialog.Filter.split(QLatin1Char('|'));
    auto extensionOf = [&](qsizetype entry) {
        const qsizetype at = entry * 2 + 1;
        if (entry < 0 || at >= patterns.size()) return dialog.DefaultExt;
        const QString first = patterns[at].section(QLatin1Char(';'), 0, 0).trimmed();
        if (!first.startsWith(QLatin1String("*.")) || first.indexOf(QLatin1Char('*'), 2) >= 0) return dialog.DefaultExt;
        return first.mid(2);
    };
    if (save && !dialog.DefaultExt.isEmpty()) {
        QObject::connect(&box, &QFileDialog::filterSelected, &box, [&](const QString& filter) {
            box.setDefaultSuffix(extensionOf(entryOf(filter)));
        });
    }
    if (box.exec() != QDialog::Accepted) return false;
    const QStringList chosen = box.selectedFiles();
    if (chosen.isEmpty()) return false;
    const qsizetype used = entryOf(box.selectedNameFilter());
    const QString ext = dialog.DefaultExt.isEmpty() ? QString() : extensionOf(used);
    dialog.FileName = save ? WithDefaultExt(chosen.first(), ext) : chosen.first();
    if (used >= 0) dialog.FilterIndex = int(used) + 1;
    lastFolder_ = QFileInfo(dialog.FileName).absolutePath();
    return true;
}

bool QtDialogs::ExecuteOpen(QWidget* parent, FileDialog& dialog) { return ExecuteFile(parent, dialog, false); }

bool QtDialogs::ExecuteSave(QWidget* parent, FileDialog& dialog) { return ExecuteFile(parent, dialog, true); }

bool QtDialogs::ExecuteColor(QWidget* parent, ColorDialog& dialog) {
    const QColor chosen =
        QColorDialog::getColor(ToQColor(dialog.Color), parent, QString(), QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid()) return false;
    dialog.Color = FromQColor(chosen);
    return true;
}

namespace {

// The screen resolution a figure is drawn for at scale 1.
constexpr double FigureDpi = 96.0;

QString FigureSizeText(const FigureScaleDialog& dialog, double scale, std::optional<double> widthMm, double dpi) {
    const QSize size = dialog.Size;
    const double w0 = std::max(1, size.width());
    if (widthMm) {
        const double mm = *widthMm / w0;
        if (dialog.Bitmap) {
            const double px = *widthMm / 25.4 * dpi / w0;
            return QStringLiteral("%1 × %2 mm、%3 × %4 ピクセル")
                .arg(*widthMm, 0, 'f', 1)
                .arg(size.height() * mm, 0, 'f', 1)
                .arg(std::max(1L, std::lround(size.width() * px)))
                .arg(std::max(1L, std::lround(size.height() * px)));
        }
        return QStringLiteral("%1 × %2 mm").arg(*widthMm, 0, 'f', 1).arg(size.height() * mm, 0, 'f', 1);
    }
    if (dialog.Bitmap) {
        const long w = std::max(1L, std::lround(size.width() * scale));
        const long h = std::max(1L, std::lround(size.height() * scale));
        return QStringLiteral("%1 × %2 ピクセル").arg(w).arg(h);
    }
    const double mm = 25.4 / FigureDpi * scale;
    return QStringLiteral("%1 × %2 mm")
        .arg(size.width() * mm, 0, 'f', 1)
        .arg(size.height() * mm, 0, 'f', 1);
}

}  // namespace

QString OutOfRangeMessage(const QString& what, double value, double low, double high, const QString& unit) {
    if (value >= low && value <= high) return QString();
    return QStringLiteral("%1は %2 から %3%4 までです (%5 は使えません)。")
        .arg(what)
        .arg(low)
        .arg(high)
        .arg(unit)
        .arg(value);
}

// A small dialog of the scale and, for a bitmap, the resolution it stands
// for; either field sets the other. Instead of a scale a width in print may
// be chosen (a journal's column, 85 or 175 mm, or another). A value typed
// outside its range is refused with a message when OK is pressed, never
// replaced by another.
bool QtDialogs::ExecuteFigureScale(QWidget* parent, FigureScaleDialog& dialog) {
    QDialog box(parent);
    box.setWindowTitle(dialog.Bitmap ? QStringLiteral("図の解像度") : QStringLiteral("図の倍率"));
    auto* form = new QFormLayout(&box);
    auto* sizeChoice = new QComboBox(&box);
    sizeChoice->setObjectName(QStringLiteral("SizeChoice"));
    sizeChoice->addItem(QStringLiteral("倍率で指定"));
    sizeChoice->addItem(QStringLiteral("幅 85 mm (1 段)"), 85.0);
    sizeChoice->addItem(QStringLiteral("幅 175 mm (2 段)"), 175.0);
    sizeChoice->addItem(QStringLiteral("幅を指定"));
    auto* widthEdit = new QDoubleSpinBox(&box);
    widthEdit->setObjectName(QStringLiteral("WidthEdit"));
    widthEdit->setDecimals(1);
    // Any number can be typed; the range is checked on OK.
    widthEdit->setRange(0, 99999);
    widthEdit->setSuffix(QStringLiteral(" mm"));
    auto* scaleEdit = new QDoubleSpinBox(&box);
    scaleEdit->setObjectName(QStringLiteral("ScaleEdit"));
    scaleEdit->setDecimals(3);
    scaleEdit->setRange(0, 99999);
    scaleEdit->setSingleStep(0.5);
    scaleEdit->setSuffix(QStringLiteral(" 倍"));
    auto* dpiEdit = new QSpinBox(&box);
    dpiEdit->setObjectName(QStringLiteral("DpiEdit"));
    dpiEdit->setRange(0, 999999);
    dpiEdit->setSingleStep(12);
    dpiEdit->setSuffix(QStringLiteral(" dpi"));
    auto* sizeLabel = new QLabel(&box);
    sizeLabel->setObjectName(QStringLiteral("SizeLabel"));
    auto* choiceLabel = new QLabel(QStringLiteral("大きさ(&Z):"), &box);
    choiceLabel->setBuddy(sizeChoice);
    form->addRow(choiceLabel, sizeChoice);
    auto* widthLabel = new QLabel(QStringLiteral("幅(&W):"), &box);
    widthLabel->setBuddy(widthEdit);
    form->addRow(widthLabel, widthEdit);
    auto* scaleLabel = new QLabel(QStringLiteral("倍率(&S):"), &box);
    scaleLabel->setBuddy(scaleEdit);
    form->addRow(scaleLabel, scaleEdit);
    if (dialog.Bitmap) {
        auto* dpiLabel = new QLabel(QStringLiteral("解像度(&R):"), &box);
        dpiLabel->setBuddy(dpiEdit);
        form->addRow(dpiLabel, dpiEdit);
    } else {
        dpiEdit->hide();
    }
    form->addRow(QStringLiteral("大きさ:"), sizeLabel);
    auto* note = new QLabel(dialog.Bitmap ? QStringLiteral("96 dpi (1 倍) が画面と同じ大きさです。幅を選ぶと、文字は 6 pt 以上、線は 0.25 pt 以上になります。")
                                          : QStringLiteral("1 倍が画面と同じ大きさです。幅を選ぶと、文字は 6 pt 以上、線は 0.25 pt 以上になります。"),
                            &box);
    note->setWordWrap(true);
    form->addRow(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);

    // The scale as last set: a resolution gives its exact scale, which the
    // three decimals of the scale field may only show rounded.
    double chosen = dialog.Scale;
    std::optional<double> width = dialog.WidthMm;
    double dpi = dialog.Dpi;
    auto byWidth = [&] { return sizeChoice->currentIndex() > 0; };
    auto update = [&] {
        const bool w = byWidth();
        widthEdit->setEnabled(sizeChoice->currentIndex() == 3);
        scaleEdit->setEnabled(!w);
        sizeLabel->setText(FigureSizeText(dialog, chosen, w ? std::optional<double>(widthEdit->value()) : std::nullopt,
                                          dpi));
    };
    auto show = [&](double scale, bool fromDpi) {
        chosen = scale;
        const QSignalBlocker blockScale(scaleEdit);
        const QSignalBlocker blockDpi(dpiEdit);
        scaleEdit->setValue(scale);
        if (!fromDpi) {
            dpi = scale * FigureDpi;
            dpiEdit->setValue(static_cast<int>(std::lround(dpi)));
        }
        update();
    };
    {
        const QSignalBlocker blockWidth(widthEdit);
        const QSignalBlocker blockChoice(sizeChoice);
        widthEdit->setValue(width.value_or(85.0));
        if (width) sizeChoice->setCurrentIndex(*width == 85.0 ? 1 : *width == 175.0 ? 2 : 3);
    }
    if (width) {
        const QSignalBlocker blockDpi(dpiEdit);
        dpiEdit->setValue(static_cast<int>(std::lround(dpi)));
        const QSignalBlocker blockScale(scaleEdit);
        scaleEdit->setValue(chosen);
        update();
    } else {
        show(chosen, false);
    }
    QObject::connect(scaleEdit, &QDoubleSpinBox::valueChanged, &box, [&](double v) { show(v, false); });
    QObject::connect(dpiEdit, &QSpinBox::valueChanged, &box, [&](int v) {
        dpi = v;
        if (byWidth()) {
            update();
        } else {
            show(v / FigureDpi, true);
        }
    });
    QObject::connect(sizeChoice, &QComboBox::currentIndexChanged, &box, [&](int index) {
        if (index == 1 || index == 2) {
            const QSignalBlocker blockWidth(widthEdit);
            widthEdit->setValue(sizeChoice->itemData(index).toDouble());
        }
        update();
    });
    QObject::connect(widthEdit, &QDoubleSpinBox::valueChanged, &box, [&](double) { update(); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, [&] {
        QString problem;
        if (byWidth()) {
            problem = OutOfRangeMessage(QStringLiteral("幅"), widthEdit->value(), dialog.MinWidthMm, dialog.MaxWidthMm,
                                        QStringLiteral(" mm"));
            if (problem.isEmpty() && dialog.Bitmap) {
                problem = OutOfRangeMessage(QStringLiteral("解像度"), dpiEdit->value(), dialog.MinDpi, dialog.MaxDpi,
                                            QStringLiteral(" dpi"));
            }
        } else if (dialog.Bitmap) {
            problem = OutOfRangeMessage(QStringLiteral("解像度"), dpiEdit->value(), dialog.MinScale * FigureDpi,
                                        dialog.MaxScale * FigureDpi, QStringLiteral(" dpi"));
        }
        if (problem.isEmpty() && !byWidth()) {
            problem = OutOfRangeMessage(QStringLiteral("倍率"), chosen, dialog.MinScale, dialog.MaxScale, QString());
        }
        if (!problem.isEmpty()) {
            QMessageBox message(QMessageBox::Warning, QStringLiteral("Kavum for Windows"), problem, QMessageBox::Ok, &box);
            message.setObjectName(QStringLiteral("RangeMessage"));
            message.exec();
            return;
        }
        box.accept();
    });
    scaleEdit->selectAll();
    if (box.exec() != QDialog::Accepted) return false;
    if (byWidth()) {
        dialog.WidthMm = widthEdit->value();
        if (dialog.Bitmap) dialog.Dpi = dpiEdit->value();
    } else {
        dialog.WidthMm.reset();
        dialog.Scale = chosen;
    }
    return true;
}

void QtDialogs::ShowMessage(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    if (icon == MessageIcon::Warning) qtIcon = QMessageBox::Warning;
    if (icon == MessageIcon::Error) qtIcon = QMessageBox::Critical;
    QMessageBox box(qtIcon, caption, PlainMessageText(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtDialogs::Confirm(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, PlainMessageText(text), QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    return box.exec() == QMessageBox::Yes;
}

Answer QtDialogs::AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, PlainMessageText(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    const int chosen = box.exec();
    if (chosen == QMessageBox::Yes) return Answer::Yes;
    if (chosen == QMessageBox::No) return Answer::No;
    return Answer::Cancel;
}


std::vector<ScriptedDialogs::Use> ScriptedDialogs::UsesOf(Kind kind) const {
    std::vector<Use> result;
    for (const Use& use : uses_)
        if (use.kind == kind) result.push_back(use);
    return result;
}

QStringList ScriptedDialogs::Messages() const {
    QStringList result;
    for (const Use& use : uses_)
        if (use.kind == Kind::Message) result << use.text;
    return result;
}

bool ScriptedDialogs::ExecuteOpen(QWidget*, FileDialog& dialog) {
    uses_.push_back(Use{Kind::Open, dialog, {}, {}, {}, MessageIcon::Information, {}});
    if (open_.empty()) return false;
    std::optional<QString> answer = std::move(open_.front());
    open_.pop_front();
    if (!answer) return false;
    dialog.FileName = *answer;
    return true;
}

bool ScriptedDialogs::ExecuteSave(QWidget*, FileDialog& dialog) {
    uses_.push_back(Use{Kind::Save, dialog, {}, {}, {}, MessageIcon::Information, {}});
    if (save_.empty()) return false;
    std::optional<QString> answer = std::move(save_.front());
    save_.pop_front();
    if (!answer) return false;
    dialog.FileName = WithDefaultExt(*answer, dialog.DefaultExt);
    return true;
}

bool ScriptedDialogs::ExecuteColor(QWidget*, ColorDialog& dialog) {
    uses_.push_back(Use{Kind::Color, {}, dialog, {}, {}, MessageIcon::Information, {}});
    if (color_.empty()) return false;
    std::optional<std::uint32_t> answer = color_.front();
    color_.pop_front();
    if (!answer) return false;
    dialog.Color = *answer;
    return true;
}

bool ScriptedDialogs::ExecuteFigureScale(QWidget*, FigureScaleDialog& dialog) {
    Use use{Kind::FigureScale, {}, {}, {}, {}, MessageIcon::Information, dialog};
    uses_.push_back(use);
    if (!width_.empty()) {
        dialog.WidthMm = width_.front().first;
        dialog.Dpi = width_.front().second;
        width_.pop_front();
        return true;
    }
    if (scale_.empty()) return true;
    dialog.WidthMm.reset();
    const std::optional<double> answer = scale_.front();
    scale_.pop_front();
    if (!answer) return false;
    dialog.Scale = std::clamp(*answer, dialog.MinScale, dialog.MaxScale);
    return true;
}

void ScriptedDialogs::ShowMessage(QWidget*, const QString& caption, const QString& text, MessageIcon icon) {
    uses_.push_back(Use{Kind::Message, {}, {}, caption, text, icon, {}});
}

bool ScriptedDialogs::Confirm(QWidget*, const QString& caption, const QString& text) {
    uses_.push_back(Use{Kind::Confirm, {}, {}, caption, text, MessageIcon::Warning, {}});
    if (confirm_.empty()) return false;
    const bool yes = confirm_.front();
    confirm_.pop_front();
    return yes;
}

Answer ScriptedDialogs::AskYesNoCancel(QWidget*, const QString& caption, const QString& text) {
    uses_.push_back(Use{Kind::YesNoCancel, {}, {}, caption, text, MessageIcon::Warning, {}});
    if (yesNoCancel_.empty()) return Answer::No;
    const Answer answer = yesNoCancel_.front();
    yesNoCancel_.pop_front();
    return answer;
}

}  // namespace kavum::platform
