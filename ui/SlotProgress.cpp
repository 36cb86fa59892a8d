#include "ui/SlotProgress.h"

#include <QProgressDialog>

namespace Vantrel::Ui {

namespace {
// Quick operations finish before the dialog would flash up.
constexpr int showAfterMs = 500;
}

SlotProgress::SlotProgress(QWidget* parent, const QString& what, int total)
    : dialog(std::make_unique<QProgressDialog>(parent)), what(what), total(total)
{
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(what);
    // Stopping half-way through a bank would leave it half done; each step is short.
    dialog->setCancelButton(nullptr);
    dialog->setMinimumDuration(showAfterMs);
    dialog->setRange(0, total);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    setSlot(0);
}

SlotProgress::~SlotProgress()
{
    dialog->close();
}

void SlotProgress::setSlot(int done)
{
    dialog->setLabelText(QStringLiteral("%1: slot %2 of %3").arg(what).arg(qMin(done + 1, total)).arg(total));
    dialog->setValue(done);
}

} // namespace Vantrel::Ui
