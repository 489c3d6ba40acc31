// Numbers in the window's texts as the user writes them: the locale's
// decimal separator and no group separator, as the number boxes show them.
// Files (CSV exports, --measure) keep the point and go elsewhere.
#pragma once

#include <QLocale>
#include <QString>

namespace e16scope {

inline QString UserNumber(double value, char format = 'g', int precision = 6) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(value, format, precision);
}

} // namespace e16scope
