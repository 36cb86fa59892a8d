#pragma once

#include "com/DfrLink.h"
#include "ui/SlotBankModel.h"

namespace Vantrel::Ui {

// The receiver's GPS format bank.
class GpsFormatsTableModel : public SlotBankModel<Com::DfrLink::GpsFormatInfo_t>
{
public:
    using SlotBankModel::SlotBankModel;

protected:
    QStringList headers() const override { return gpsFormatsTableHeaders(); }
    QString cellText(const Com::DfrLink::GpsFormatInfo_t& info, int column) const override
    {
        return column == GPSFORMATSCOLUMN_NAME ? info.gpsFormat.name : QString();
    }
};

} // namespace Vantrel::Ui
