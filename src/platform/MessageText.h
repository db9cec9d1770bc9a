#pragma once
// Messages shown or printed as plain text.
#include <QString>

namespace kavum::platform {

// A message as plain text that shows every character it holds: control
// characters as their visible symbols (U+2400…), bytes that were not valid
// Shift-JIS as \xNN, and a text longer than a screen cut with "…".
QString PlainMessageText(const QString& text);

}  // namespace kavum::platform
