#pragma once

#include <QString>

namespace Vantrel::Utils {

// Small text forms the wire and the tables share.
class TextUtils
{
public:
    // The low byte as two upper-case hexadecimal digits ("0A"), as checksums travel.
    static QString hexByte(int value)
    {
        return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    }
};

} // namespace Vantrel::Utils
