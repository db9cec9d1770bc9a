#include "AppState.h"

namespace kavum::doc {

const PerCategory<QString>& MarkSymbols() {
    static const PerCategory<QString> symbols = {
        QString(),          QStringLiteral("□"), QStringLiteral("○"), QStringLiteral("△"), QStringLiteral("▽"),
        QStringLiteral("＋"), QStringLiteral("×"), QStringLiteral("＊"), QStringLiteral("◇"), QStringLiteral("■")};
    return symbols;
}

}  // namespace kavum::doc
