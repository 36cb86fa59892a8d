#pragma once

#include "com/DfrLink.h"
#include "ui/SlotBankModel.h"

namespace Vantrel::Ui {

// The favourite platform slots.
class PlatformsTableModel : public SlotBankModel<Com::DfrLink::PlatformInfo_t>
{
public:
    using SlotBankModel::SlotBankModel;

    // The first occupied slot holding this identifier, nullptr when none does.
    const Com::DfrLink::PlatformInfo_t* favoriteWithId(const QString& id) const;

protected:
    QStringList headers() const override { return platformsTableHeaders(); }
    QString cellText(const Com::DfrLink::PlatformInfo_t& info, int column) const override;
};

} // namespace Vantrel::Ui
