#include "Fonts.h"

#include <QStringList>

#include <mutex>

namespace kavum::platform {

namespace {
constexpr FontSubstitute Table[] = {
    {u"ＭＳ ゴシック", u"IPAGothic"},
    {u"ＭＳ 明朝", u"IPAMincho"},
    {u"ＭＳ Ｐ明朝", u"IPAPMincho"},
    // Left to the font configuration, the serif face depends on what else is
    // installed (with the URW fonts it becomes a CFF font that a PDF can only
    // hold as outlines); DejaVu Serif is the face it is on a plain system.
    {u"Times New Roman", u"DejaVu Serif"},
};
}  // namespace

std::span<const FontSubstitute> FontSubstitutes() { return Table; }

void InstallFontSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const FontSubstitute& s : Table) {
            QFont::insertSubstitutions(QString::fromUtf16(s.face), {QString::fromUtf16(s.installed)});
        }
    });
}

QFont ProgramFont(const QString& face, int pixelSize) {
    InstallFontSubstitutions();
    QFont f(face);
    f.setPixelSize(pixelSize);
    return f;
}

}  // namespace kavum::platform
