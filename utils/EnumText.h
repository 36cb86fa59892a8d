#pragma once

#include <QMetaEnum>
#include <QString>
#include <QStringList>

namespace Vantrel::Utils {

// Texts of Q_ENUM keys, taken from the meta-object so that the code never
// repeats a key by hand. The prefix is everything up to the first '_'
// ("ORVANMODULATION_A2" gives "A2", "DIRECTIONMODE_MSG_decoding" "MSG_decoding").
class EnumText
{
public:
    // The whole key ("DFR_APP"); empty for a value that has none.
    template <typename Enum>
    static QString name(Enum value)
    {
        return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(int(value)));
    }

    // The key without its prefix ("CMD_LIG" gives "LIG"); empty for a value that has none.
    template <typename Enum>
    static QString key(Enum value)
    {
        return withoutPrefix(name(value));
    }

    // Every key without its prefix in declaration order, leaving out the last
    // `dropLast` (the INVALID or Undefined markers that no user may choose).
    template <typename Enum>
    static QStringList keys(int dropLast = 0)
    {
        const QMetaEnum meta = QMetaEnum::fromType<Enum>();
        QStringList result;
        for (int i = 0; i < meta.keyCount() - dropLast; ++i) {
            result.append(withoutPrefix(QString::fromLatin1(meta.key(i))));
        }
        return result;
    }

private:
    static QString withoutPrefix(const QString& key) { return key.mid(key.indexOf(QLatin1Char('_')) + 1); }
};

} // namespace Vantrel::Utils
