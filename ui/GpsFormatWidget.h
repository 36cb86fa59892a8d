#pragma once

#include <QList>
#include <QWidget>

#include <memory>

#include "utils/GpsFormat.h"

class QLineEdit;

namespace Vantrel::Ui {

class Ui_GpsFormatWidget;

// Editor for one GPS format, used by the favourite platforms tab and the
// receiver's format bank tab. It only shows and reads back: the owner decides
// what a change means, so filling it from code must be done with its signals
// blocked.
class GpsFormatWidget : public QWidget
{
    Q_OBJECT
public:
    explicit GpsFormatWidget(QWidget* parent = nullptr);
    ~GpsFormatWidget() override;

    void setGpsFormat(const Utils::GpsFormat_t& gpsFormat);
    Utils::GpsFormat_t getGpsFormat() const;

    // Empty and disabled: the state shown while no format is selected.
    void reinitGUI();

    // Hides QWidget::setEnabled on purpose: only the group boxes follow, so the
    // widget itself stays enabled whatever its owner does with the fields.
    void setEnabled(bool enabled);

Q_SIGNALS:
    void sigGpsFormatChanged();

private Q_SLOTS:
    // Offers the catalogue's formats; a chosen one replaces the shown format.
    void onImportFormatClicked();

private:
    QList<QLineEdit*> lineEdits() const;
    // In the order of Utils::coordInfoFields.
    QList<QLineEdit*> latitudeEdits() const;
    QList<QLineEdit*> longitudeEdits() const;

    const std::unique_ptr<Ui_GpsFormatWidget> ui;
    // A stored type the box has no item for is kept until the user picks another.
    Utils::GpsFormat::EncryptionType_t shownEncryptionType = Utils::GpsFormat::ENCRYPTIONTYPE_NONE;
    int shownEncryptionIndex = 0;
};

} // namespace Vantrel::Ui
