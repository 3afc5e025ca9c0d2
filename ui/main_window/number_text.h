// The text of an up-down's position in its edit box, and the way typed text is taken back.
#pragma once

#include <QString>

#include <optional>

namespace velmora::ui {

// The thousands separator of the current locale.
QString groupSeparator();

// The decimal text of a position; with grouping, every three digits from the right are
// separated by the locale's thousands separator ("15 000").
QString formatPosition(int value, bool grouping);

// A typed text as an up-down takes it: a whole number within min..max, optionally with
// blanks around it and, when grouping is on, thousands separators between groups of three
// digits ("15 000"; "1.05" and "10,5" are no whole numbers).
// Anything else (letters, signs, an empty box, a number out of range however long) gives
// nothing, and the up-down keeps its previous position.
std::optional<int> parsePosition(const QString& text, bool grouping, int min, int max);

} // namespace velmora::ui
