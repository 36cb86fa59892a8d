#pragma once

#include <QMap>
#include <QTimer>
#include <QWidget>

#include "archive/ArchiveRecord.h"

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTableView;

namespace Vantrel::Archive {
class ArchiveKeeper;
}

namespace Vantrel::Ui {

class ArchivePlatformsModel;

// The Archive page: what the archive holds, by platform and by receiver (with
// its team), a choice of platforms, receivers and time range to load into the
// messages table and Locate, with or without a receiver, or to export as an
// archive file; and the import of another team's archive file.
class ArchiveTab : public QWidget
{
    Q_OBJECT
public:
    ArchiveTab(Archive::ArchiveKeeper* keeper, QWidget* parent = nullptr);

    // The messages chosen: no platform selected takes them all, as does every receiver ticked.
    Archive::ArchiveQuery_t query() const;
    // The summary is asked again at most this often while messages keep coming.
    static constexpr int summaryDelayMs = 3000;

Q_SIGNALS:
    void sigLoadRequested(const Vantrel::Archive::ArchiveQuery_t& query);

public Q_SLOTS:
    // count: the messages loaded, -1 when the load failed.
    void showLoaded(int count);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSummary(const Archive::ArchiveSummary_t& summary);
    // The receivers of the last summary, their ticks kept.
    void fillReceivers();
    void chooseImport();
    void chooseExport();
    void editTeam(QListWidgetItem* item);
    void setTeam();
    void showTransfer(const QString& path, qint64 count, const QString& refusal, bool imported);
    void showState();
    void updateChoice();
    QStringList tickedReceivers() const;

    Archive::ArchiveKeeper* keeper;
    QString offReason;
    QLabel* state;
    QPushButton* refresh;
    ArchivePlatformsModel* platforms;
    QTableView* platformsView;
    QListWidget* receivers;
    QVector<Archive::ArchiveSummary_t::Receiver_t> summaryReceivers;
    QMap<QString, QString> teams;  // by serial number
    QLineEdit* team;
    QPushButton* setTeamButton;
    QPushButton* importButton;
    QPushButton* exportButton;
    QString importing;  // the file being merged, empty when none
    QCheckBox* fromEnabled = nullptr;
    QDateTimeEdit* from = nullptr;
    QCheckBox* toEnabled = nullptr;
    QDateTimeEdit* to = nullptr;
    QLabel* choice;
    QPushButton* load;
    QLabel* outcome;
    QTimer summaryTimer;
    qint64 archived = -1;  // messages in the archive at the last summary, -1: none yet
};

} // namespace Vantrel::Ui
