#pragma once

#include <QDialog>

class QDateTime;
class QTableWidget;

namespace Vantrel::Ui {

// The warnings, errors and successes said in the status bar during this run, newest
// first and whole: the bar shows only the latest, cut to the room there is.
class SessionMessages : public QDialog
{
    Q_OBJECT
public:
    // The oldest go once there are more, so that a long run does not grow without end.
    static constexpr int kept = 500;

    explicit SessionMessages(QWidget* parent);
    // kind: "Error", "Warning" or "Success".
    void add(const QDateTime& time, const QString& kind, const QString& text);

private:
    QTableWidget* table;
};

} // namespace Vantrel::Ui
