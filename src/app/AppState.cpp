#include "AppState.h"

namespace kavum::app {

const PerCategory<QString>& MarkSymbols() {
    static const PerCategory<QString> symbols = {
        QString(),          QStringLiteral("□"), QStringLiteral("○"), QStringLiteral("△"), QStringLiteral("▽"),
        QStringLiteral("＋"), QStringLiteral("×"), QStringLiteral("＊"), QStringLiteral("◇"), QStringLiteral("■")};
    return symbols;
}

}  // namespace kavum::app
