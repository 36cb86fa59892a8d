#include "ui/GpsFormatWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QMetaEnum>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/ToolIcon.h"
#include "ui_GpsFormatWidget.h"

namespace Vantrel::Ui {

namespace {

using Utils::GpsFormat;
using Utils::GpsFormat_t;

// The fields have no validators: text that is not a decimal 32-bit number is 0.
qint32 readInt(const QLineEdit* edit)
{
    bool ok = false;
    const qint32 value = edit->text().toInt(&ok, 10);
    return ok ? value : 0;
}

void showInt(QLineEdit* edit, qint32 value)
{
    edit->setText(QString::number(value));
}

} // namespace

GpsFormatWidget::GpsFormatWidget(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui_GpsFormatWidget>())
{
    ui->setupUi(this);

    // The item index is the enumerator's value.
    static const QMetaEnum encryptionTypes = QMetaEnum::fromType<GpsFormat::EncryptionType_t>();
    static const QString prefix = QStringLiteral("ENCRYPTIONTYPE_");
    for (int i = 0; i < encryptionTypes.keyCount(); ++i) {
        QString key = QString::fromLatin1(encryptionTypes.key(i));
        if (key.startsWith(prefix)) {
            key.remove(0, prefix.size());
        }
        ui->comboBoxGpsFormatsEncryptionType->addItem(key);
    }

    // Connected after filling the combo box so that building emits nothing.
    for (QLineEdit* edit : lineEdits()) {
        connect(edit, &QLineEdit::editingFinished, this, &GpsFormatWidget::sigGpsFormatChanged);
    }
    connect(ui->checkBoxGpsFormatsGpsCheck, &QCheckBox::toggled, this, &GpsFormatWidget::sigGpsFormatChanged);
    connect(ui->comboBoxGpsFormatsEncryptionType, &QComboBox::currentIndexChanged,
            this, &GpsFormatWidget::sigGpsFormatChanged);
    connect(ui->pushButtonImportFormat, &QPushButton::clicked, this, &GpsFormatWidget::onImportFormatClicked);
    ui->pushButtonImportFormat->setIcon(ToolIcon::of(QStringLiteral("document-import"), QStringLiteral("open")));
}

GpsFormatWidget::~GpsFormatWidget() = default;

void GpsFormatWidget::setGpsFormat(const GpsFormat_t& gpsFormat)
{
    ui->lineEditGpsFormatsName->setText(gpsFormat.name);
    showInt(ui->lineEditGpsFormatsPayloadLen, gpsFormat.payloadLen);
    ui->checkBoxGpsFormatsGpsCheck->setChecked(gpsFormat.gpsCheck);
    showInt(ui->lineEditGpsFormatsIndexPos, gpsFormat.indexPos);

    for (int i = 0; i < Utils::coordInfoFieldCount; ++i) {
        showInt(latitudeEdits().at(i), gpsFormat.lat.*Utils::coordInfoFields[i]);
        showInt(longitudeEdits().at(i), gpsFormat.lon.*Utils::coordInfoFields[i]);
    }

    ui->comboBoxGpsFormatsEncryptionType->setCurrentIndex(static_cast<int>(gpsFormat.encryptionType));
    shownEncryptionType = gpsFormat.encryptionType;
    shownEncryptionIndex = ui->comboBoxGpsFormatsEncryptionType->currentIndex();
    ui->lineEditGpsFormatsEncryptionPolynom->setText(
        QStringLiteral("%1").arg(gpsFormat.polynom, 4, 16, QLatin1Char('0')).toUpper());
    showInt(ui->lineEditGpsFormatsEncryptionCrcPos, gpsFormat.crcPos);
    showInt(ui->lineEditGpsFormatsEncryptionCrcLen, gpsFormat.crcLen);
    showInt(ui->lineEditGpsFormatsEncryptionDataPos, gpsFormat.dataPos);
    showInt(ui->lineEditGpsFormatsEncryptionDataLen, gpsFormat.dataLen);
}

GpsFormat_t GpsFormatWidget::getGpsFormat() const
{
    GpsFormat_t gpsFormat;
    gpsFormat.name = ui->lineEditGpsFormatsName->text();
    gpsFormat.payloadLen = readInt(ui->lineEditGpsFormatsPayloadLen);
    gpsFormat.gpsCheck = ui->checkBoxGpsFormatsGpsCheck->isChecked();
    gpsFormat.indexPos = readInt(ui->lineEditGpsFormatsIndexPos);

    for (int i = 0; i < Utils::coordInfoFieldCount; ++i) {
        gpsFormat.lat.*Utils::coordInfoFields[i] = readInt(latitudeEdits().at(i));
        gpsFormat.lon.*Utils::coordInfoFields[i] = readInt(longitudeEdits().at(i));
    }

    const int encryptionIndex = ui->comboBoxGpsFormatsEncryptionType->currentIndex();
    gpsFormat.encryptionType = encryptionIndex == shownEncryptionIndex
        ? shownEncryptionType
        : static_cast<GpsFormat::EncryptionType_t>(encryptionIndex);

    // Only four hex digits fit the receiver's field; anything after them is ignored.
    bool ok = false;
    const quint16 polynom = ui->lineEditGpsFormatsEncryptionPolynom->text().left(4).toUShort(&ok, 16);
    gpsFormat.polynom = ok ? polynom : 0;

    gpsFormat.crcPos = readInt(ui->lineEditGpsFormatsEncryptionCrcPos);
    gpsFormat.crcLen = readInt(ui->lineEditGpsFormatsEncryptionCrcLen);
    gpsFormat.dataPos = readInt(ui->lineEditGpsFormatsEncryptionDataPos);
    // An emptied Data Len falls back to 1, the length a new format starts with.
    gpsFormat.dataLen = ui->lineEditGpsFormatsEncryptionDataLen->text().isEmpty()
        ? 1
        : readInt(ui->lineEditGpsFormatsEncryptionDataLen);
    return gpsFormat;
}

void GpsFormatWidget::onImportFormatClicked()
{
    const GpsFormat* catalog = GpsFormat::instance();

    QMenu menu(this);
    // Copies taken now: the catalogue may change while the menu is open.
    QHash<const QAction*, GpsFormat_t> choices;
    const auto addSubmenu = [&](const QString& title, GpsFormat::Origin_t origin, bool withDescription) {
        QMenu* submenu = menu.addMenu(title);
        for (const auto& [index, format] : catalog->getFormatsForOrigin(origin)) {
            const QString text = withDescription
                ? QStringLiteral("[%1] %2 : %3").arg(QString::number(index), format.name, format.description)
                : QStringLiteral("[%1] %2").arg(QString::number(index), format.name);
            choices.insert(submenu->addAction(text), format);
        }
    };
    addSubmenu(QStringLiteral("From file Data/format.kvl"), GpsFormat::ORIGIN_FILE, true);
    // Bank formats have no description.
    addSubmenu(QStringLiteral("From DFR formats bank"), GpsFormat::ORIGIN_DFR, false);
    addSubmenu(QStringLiteral("From favorite platforms"), GpsFormat::ORIGIN_PLATFORM, true);

    QPushButton* button = ui->pushButtonImportFormat;
    const QAction* chosen = menu.exec(button->mapToGlobal(button->rect().bottomLeft()));
    const auto it = choices.constFind(chosen);
    if (it == choices.cend()) {
        return;
    }
    {
        // Filling toggles the check box and the combo box; the owner must see one
        // change for the whole format, not writes of a half-filled one.
        const QSignalBlocker blocker(this);
        setGpsFormat(*it);
    }
    emit sigGpsFormatChanged();
}

void GpsFormatWidget::reinitGUI()
{
    setEnabled(false);
    for (QLineEdit* edit : lineEdits()) {
        edit->clear();
    }
    ui->checkBoxGpsFormatsGpsCheck->setChecked(false);
    ui->comboBoxGpsFormatsEncryptionType->setCurrentIndex(0);
    shownEncryptionType = GpsFormat::ENCRYPTIONTYPE_NONE;
    shownEncryptionIndex = 0;
}

void GpsFormatWidget::setEnabled(bool enabled)
{
    ui->groupBoxGpsFormatsGeneral->setEnabled(enabled);
    ui->groupBoxGpsFormatsCoordinates->setEnabled(enabled);
    ui->groupBoxGpsFormatsEncryption->setEnabled(enabled);
}

QList<QLineEdit*> GpsFormatWidget::latitudeEdits() const
{
    return {ui->lineEditGpsFormatsLatSignPos, ui->lineEditGpsFormatsLatSignLen, ui->lineEditGpsFormatsLatPos,
            ui->lineEditGpsFormatsLatLen,     ui->lineEditGpsFormatsLatT,       ui->lineEditGpsFormatsLatU,
            ui->lineEditGpsFormatsLatV,       ui->lineEditGpsFormatsLatW,       ui->lineEditGpsFormatsLatTY};
}

QList<QLineEdit*> GpsFormatWidget::longitudeEdits() const
{
    return {ui->lineEditGpsFormatsLongSignPos, ui->lineEditGpsFormatsLongSignLen, ui->lineEditGpsFormatsLongPos,
            ui->lineEditGpsFormatsLongLen,     ui->lineEditGpsFormatsLongT,       ui->lineEditGpsFormatsLongU,
            ui->lineEditGpsFormatsLongV,       ui->lineEditGpsFormatsLongW,       ui->lineEditGpsFormatsLongTY};
}

QList<QLineEdit*> GpsFormatWidget::lineEdits() const
{
    return QList<QLineEdit*>{ui->lineEditGpsFormatsName, ui->lineEditGpsFormatsPayloadLen,
                             ui->lineEditGpsFormatsIndexPos}
        + latitudeEdits() + longitudeEdits()
        + QList<QLineEdit*>{ui->lineEditGpsFormatsEncryptionPolynom, ui->lineEditGpsFormatsEncryptionCrcPos,
                            ui->lineEditGpsFormatsEncryptionCrcLen, ui->lineEditGpsFormatsEncryptionDataPos,
                            ui->lineEditGpsFormatsEncryptionDataLen};
}

} // namespace Vantrel::Ui
