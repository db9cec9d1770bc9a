#include "Dialogs.h"

#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

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

QString PlainMessageText(const QString& text) {
    // About a screen: lines and characters beyond these are cut.
    constexpr int MaxLines = 40;
    constexpr int MaxLineLength = 300;
    constexpr int MaxLength = 4000;
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), MaxLength) + 8);
    int lines = 1;
    int column = 0;
    bool cut = false;
    for (const QChar c : text) {
        if (out.size() >= MaxLength) {
            cut = true;
            break;
        }
        const char16_t u = c.unicode();
        if (u == u'\n') {
            if (++lines > MaxLines) {
                cut = true;
                break;
            }
            out += c;
            column = 0;
            continue;
        }
        if (column >= MaxLineLength) {
            // Skip the rest of an overlong line; the next line still shows.
            if (column == MaxLineLength) out += QChar(0x2026);
            ++column;
            continue;
        }
        if (u < 0x20) {
            out += QChar(char16_t(0x2400 + u));
        } else if (u == 0x7F) {
            out += QChar(char16_t(0x2421));
        } else if (u >= 0xF780 && u <= 0xF7FF) {
            out += QStringLiteral("\\x") + QString::number(u - 0xF700, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        } else {
            out += c;
        }
        ++column;
    }
    if (cut) out += QChar(0x2026);
    return out;
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
    uses_.push_back(Use{Kind::Open, dialog, {}, {}, {}, MessageIcon::Information});
    if (open_.empty()) return false;
    std::optional<QString> answer = std::move(open_.front());
    open_.pop_front();
    if (!answer) return false;
    dialog.FileName = *answer;
    return true;
}

bool ScriptedDialogs::ExecuteSave(QWidget*, FileDialog& dialog) {
    uses_.push_back(Use{Kind::Save, dialog, {}, {}, {}, MessageIcon::Information});
    if (save_.empty()) return false;
    std::optional<QString> answer = std::move(save_.front());
    save_.pop_front();
    if (!answer) return false;
    dialog.FileName = WithDefaultExt(*answer, dialog.DefaultExt);
    return true;
}

bool ScriptedDialogs::ExecuteColor(QWidget*, ColorDialog& dialog) {
    uses_.push_back(Use{Kind::Color, {}, dialog, {}, {}, MessageIcon::Information});
    if (color_.empty()) return false;
    std::optional<std::uint32_t> answer = color_.front();
    color_.pop_front();
    if (!answer) return false;
    dialog.Color = *answer;
    return true;
}

void ScriptedDialogs::ShowMessage(QWidget*, const QString& caption, const QString& text, MessageIcon icon) {
    uses_.push_back(Use{Kind::Message, {}, {}, caption, text, icon});
}

bool ScriptedDialogs::Confirm(QWidget*, const QString& caption, const QString& text) {
    uses_.push_back(Use{Kind::Confirm, {}, {}, caption, text, MessageIcon::Warning});
    if (confirm_.empty()) return false;
    const bool yes = confirm_.front();
    confirm_.pop_front();
    return yes;
}

}  // namespace kavum::platform
