#pragma once
// The program's face names and the installed faces that stand for them. One
// table serves the window, the data editor and every canvas, so that a text
// measures and looks the same wherever it is drawn.
#include <QFont>
#include <QString>

#include <span>

namespace kavum::platform {

struct FontSubstitute {
    const char16_t* face;       // the name the program uses (and metafiles keep)
    const char16_t* installed;  // the installed face with the same metrics
};

// "ＭＳ ゴシック" → IPAGothic, "ＭＳ 明朝" → IPAMincho, "ＭＳ Ｐ明朝" → IPAPMincho,
// "Times New Roman" → DejaVu Serif.
std::span<const FontSubstitute> FontSubstitutes();

// Puts the table into Qt's font substitutions. Idempotent; called at start
// and by everything that makes a font from a program face name.
void InstallFontSubstitutions();

// A font of a program face at a pixel size, after the substitutions.
QFont ProgramFont(const QString& face, int pixelSize);

}  // namespace kavum::platform
