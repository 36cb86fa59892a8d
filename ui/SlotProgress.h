#pragma once

#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

namespace Vantrel::Ui {

// Progress of an operation over a whole bank of slots, "slot n of N", in a
// window-modal dialog that shows up only when the operation takes a while.
// The request engine keeps the window painted between the steps.
class SlotProgress
{
public:
    SlotProgress(QWidget* parent, const QString& what, int total);
    ~SlotProgress();

    void setSlot(int done);

private:
    std::unique_ptr<QProgressDialog> dialog;
    QString what;
    int total;
};

} // namespace Vantrel::Ui
