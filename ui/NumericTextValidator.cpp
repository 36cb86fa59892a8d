#include "ui/NumericTextValidator.h"

#include <QRegularExpression>
#include <cmath>

namespace Vantrel::Ui {

NumericTextValidator::NumericTextValidator(double minimum, double maximum, int decimals, QObject* parent)
    : QValidator(parent), minimum(minimum), maximum(maximum), decimals(decimals)
{
}

QValidator::State NumericTextValidator::validate(QString& input, int& pos) const
{
    Q_UNUSED(pos)
    static const QRegularExpression shape(QStringLiteral("^([+-]?)([0-9]*)(\\.([0-9]*))?$"));
    const QRegularExpressionMatch match = shape.match(input);
    if (!match.hasMatch()) {
        return Invalid;
    }
    const bool hasPoint = !match.captured(3).isEmpty();
    if (hasPoint && (decimals <= 0 || match.captured(4).size() > decimals)) {
        return Invalid;
    }
    if (match.captured(2).isEmpty() && match.captured(4).isEmpty()) {
        return Intermediate; // "", "-", "."
    }
    const double value = input.toDouble(); // C locale, whatever the user's
    if (value >= minimum && value <= maximum) {
        return hasPoint && match.captured(4).isEmpty() ? Intermediate : Acceptable;
    }
    // More digits only move the value away from zero: refuse what is already too far out.
    const double bound = std::max(std::fabs(minimum), std::fabs(maximum));
    const bool negative = match.captured(1) == QLatin1String("-");
    if (std::fabs(value) > bound || (negative && minimum >= 0) || (!negative && value > 0 && maximum <= 0)) {
        return Invalid;
    }
    return Intermediate;
}

void NumericTextValidator::fixup(QString& input) const
{
    input = fallback;
}

} // namespace Vantrel::Ui
