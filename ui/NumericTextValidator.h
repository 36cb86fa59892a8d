#pragma once

#include <QString>
#include <QValidator>

namespace Vantrel::Ui {

// A decimal number in plain notation ("-12.5"), with a dot whatever the locale,
// within a range and with at most a given number of decimals: the text that goes
// to the receiver unchanged. A text that cannot be finished into a valid number
// is refused as it is typed; an unfinished one ("-", "12.") is put back to the
// fallback, the value last shown, when the edit ends.
class NumericTextValidator : public QValidator
{
    Q_OBJECT
public:
    NumericTextValidator(double minimum, double maximum, int decimals, QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    void setFallback(const QString& text) { fallback = text; }

private:
    double minimum;
    double maximum;
    int decimals;
    QString fallback;
};

} // namespace Vantrel::Ui
