#pragma once
// The common dialogs (open file, save file, colour, message box) behind one
// interface. The window keeps the state of each dialog between uses, as the
// program's dialogs do; an implementation only runs one. QtDialogs shows real
// dialogs; ScriptedDialogs answers from a script and records every use, for
// tests and for running without a user.
#include <QSize>
#include "platform/MessageText.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <utility>
#include <optional>
#include <vector>

class QWidget;

namespace kavum::platform {

// The settings of one file dialog, kept between uses.
struct FileDialog {
    QString Title;          // empty: the platform's default title
    QString Filter;         // "description|patterns|description|patterns…", patterns joined by ";"
    int FilterIndex = 1;    // 1-based entry of Filter shown first; set to the entry used on OK
    QString InitialDir;     // empty: the folder of the previous choice
    QString FileName;       // text of the name box at opening ("*.ini"); the chosen path on OK
    QString DefaultExt;     // without the dot; added to a saved name that has no extension
};

// The colour dialog: starts at Color, and holds the chosen colour after OK.
struct ColorDialog {
    std::uint32_t Color = 0;  // 0x00BBGGRR
};

// The scale of a figure written as a bitmap or as a vector document, asked
// once its file is chosen. The window keeps it, so the scale chosen last is
// proposed next time.
struct FigureScaleDialog {
    double Scale = 1.0;     // proposed at opening; the chosen scale on OK
    double MinScale = 1.0;
    double MaxScale = 8.0;
    QSize Size;             // the picture at scale 1, in pixels at 96 dpi
    bool Bitmap = true;     // a bitmap (a resolution in dpi) or a vector document
    // A width in print instead of a scale (85 mm, 175 mm or another), and
    // for a bitmap its resolution; proposed at opening, chosen on OK.
    std::optional<double> WidthMm;
    double Dpi = 600.0;
    double MinWidthMm = 10.0;
    double MaxWidthMm = 2000.0;
    double MinDpi = 72.0;   // with a width; with a scale MinScale x 96
    double MaxDpi = 2400.0;
};

// The message for a value typed outside its range; empty when it is in
// range. what is the field's name, unit its unit.
QString OutOfRangeMessage(const QString& what, double value, double low, double high, const QString& unit);

enum class MessageIcon { Information, Warning, Error };

// The answer to a question with the buttons はい, いいえ and キャンセル.
enum class Answer { Yes, No, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // True when the user confirmed; then dialog.FileName is the chosen path
    // (the first one when several were selected) and FilterIndex the entry used.
    virtual bool ExecuteOpen(QWidget* parent, FileDialog& dialog) = 0;
    virtual bool ExecuteSave(QWidget* parent, FileDialog& dialog) = 0;
    // True when the user confirmed; then dialog.Color is the chosen colour.
    virtual bool ExecuteColor(QWidget* parent, ColorDialog& dialog) = 0;
    // True when the user confirmed; then dialog.Scale is the chosen scale,
    // within MinScale..MaxScale.
    virtual bool ExecuteFigureScale(QWidget* parent, FigureScaleDialog& dialog) = 0;
    virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                             MessageIcon icon) = 0;
    // A question with the buttons はい and いいえ; true for はい.
    virtual bool Confirm(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A question with the buttons はい, いいえ and キャンセル (closing the box
    // is キャンセル).
    virtual Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// "設定ﾌｧｲﾙ (*.ini)|*.ini|…" as name filters that show the description and
// select by the patterns: "設定ﾌｧｲﾙ (*.ini) (*.ini)". An odd last
// description without patterns is dropped.
QStringList NameFiltersOf(const QString& filter);
// The name with ".ext" added when the file name part has no extension.
QString WithDefaultExt(const QString& path, const QString& ext);

// Real dialogs on the screen.
class QtDialogs : public Dialogs {
public:
    bool ExecuteOpen(QWidget* parent, FileDialog& dialog) override;
    bool ExecuteSave(QWidget* parent, FileDialog& dialog) override;
    bool ExecuteColor(QWidget* parent, ColorDialog& dialog) override;
    bool ExecuteFigureScale(QWidget* parent, FigureScaleDialog& dialog) override;
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                     MessageIcon icon) override;
    bool Confirm(QWidget* parent, const QString& caption, const QString& text) override;
    Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) override;

private:
    bool ExecuteFile(QWidget* parent, FileDialog& dialog, bool save);
    QString lastFolder_;
};

// Answers from a script. Each use takes the next answer queued for its kind;
// with none queued the dialog is cancelled. Every use is recorded with the
// dialog's settings as they were when it opened.
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Open, Save, Color, Message, Confirm, FigureScale, YesNoCancel };
    struct Use {
        Kind kind;
        FileDialog file;        // Open, Save
        ColorDialog color;      // Color
        QString caption;        // Message, Confirm
        QString text;
        MessageIcon icon = MessageIcon::Information;
        FigureScaleDialog scale;  // FigureScale
    };

    void AnswerOpen(std::optional<QString> path) { open_.push_back(std::move(path)); }
    void AnswerSave(std::optional<QString> path) { save_.push_back(std::move(path)); }
    void AnswerColor(std::optional<std::uint32_t> color) { color_.push_back(color); }
    // A scale, or none for a cancelled dialog. With no answer queued the
    // dialog is confirmed with the scale it proposes, as by pressing Enter.
    void AnswerFigureScale(std::optional<double> scale) { scale_.push_back(scale); }
    // A width in print (and a resolution for a bitmap) instead of a scale.
    void AnswerFigureWidth(double widthMm, double dpi = 600.0) { width_.push_back({widthMm, dpi}); }
    // With no answer queued a question is answered いいえ.
    void AnswerConfirm(bool yes) { confirm_.push_back(yes); }
    // With no answer queued a three-way question is answered いいえ.
    void AnswerYesNoCancel(Answer answer) { yesNoCancel_.push_back(answer); }

    const std::vector<Use>& Uses() const { return uses_; }
    std::vector<Use> UsesOf(Kind kind) const;
    // Texts of the message boxes shown, in order.
    QStringList Messages() const;
    void ClearUses() { uses_.clear(); }

    bool ExecuteOpen(QWidget* parent, FileDialog& dialog) override;
    bool ExecuteSave(QWidget* parent, FileDialog& dialog) override;
    bool ExecuteColor(QWidget* parent, ColorDialog& dialog) override;
    bool ExecuteFigureScale(QWidget* parent, FigureScaleDialog& dialog) override;
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                     MessageIcon icon) override;
    bool Confirm(QWidget* parent, const QString& caption, const QString& text) override;
    Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) override;

private:
    std::deque<bool> confirm_;
    std::deque<Answer> yesNoCancel_;
    std::deque<std::optional<double>> scale_;
    std::deque<std::pair<double, double>> width_;
    std::deque<std::optional<QString>> open_;
    std::deque<std::optional<QString>> save_;
    std::deque<std::optional<std::uint32_t>> color_;
    std::vector<Use> uses_;
};

}  // namespace kavum::platform
