#pragma once

#include <QWidget>

#include "inhouse/DateTime.h"

class QDateTimeEdit;
class QPushButton;

namespace Tarsk::Ui {

// Editor for a UTC DateTime, with a choice that takes the current system time.
// sigDateTimeChanged() follows user edits only, never setDateTime().
class DateTimeWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DateTimeWidget(QWidget* parent = nullptr);
    ~DateTimeWidget() override;

    Utils::DateTime dateTime() const;
    void setDateTime(const Utils::DateTime& dateTime);
    void setNowLabel(const QString& label);

Q_SIGNALS:
    void sigDateTimeChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void slotEditingFinished();
    void slotNowChosen();

private:
    QDateTimeEdit* editor;
    QPushButton* nowButton;
    QDateTime committed; // last value the program set or the user confirmed
};

} // namespace Tarsk::Ui
