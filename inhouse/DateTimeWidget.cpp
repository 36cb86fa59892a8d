#include "inhouse/DateTimeWidget.h"

#include <QDateTimeEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTimer>
#include <QPushButton>
#include <QSignalBlocker>

namespace Tarsk::Ui {

DateTimeWidget::DateTimeWidget(QWidget* parent)
    : QWidget(parent)
    , editor(new QDateTimeEdit(this))
    , nowButton(new QPushButton(tr("Now"), this))
{
    editor->setTimeSpec(Qt::UTC);
    editor->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    // Day 0 of the Modified Julian Day count, which a default DateTime stands for.
    editor->setMinimumDate(QDate(1858, 11, 17));
    editor->setDateTime(Utils::DateTime().toQDateTime());
    committed = editor->dateTime();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor, 1);
    layout->addWidget(nowButton);

    // editingFinished rather than dateTimeChanged: the latter fires on every keystroke
    // and step, and each change the user makes may end up written to a device.
    connect(editor, &QDateTimeEdit::editingFinished, this, &DateTimeWidget::slotEditingFinished);
    connect(nowButton, &QPushButton::clicked, this, &DateTimeWidget::slotNowChosen);
    // A click puts the cursor inside a section, where typed digits fall into the
    // next section or are refused once the section is full; selecting the whole
    // section makes the digits typed replace it, as after Tab.
    if (QLineEdit* line = editor->findChild<QLineEdit*>()) {
        line->installEventFilter(this);
    }
}

bool DateTimeWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && editor->currentSection() != QDateTimeEdit::NoSection) {
        // After the editor itself has placed its cursor and current section.
        QTimer::singleShot(0, editor, [this] { editor->setSelectedSection(editor->currentSection()); });
    }
    return QWidget::eventFilter(watched, event);
}

DateTimeWidget::~DateTimeWidget()
{
    // Closing a shown editor takes its focus, which finishes its edit: that must
    // not reach this half-destroyed object.
    disconnect(editor, nullptr, this, nullptr);
}

Utils::DateTime DateTimeWidget::dateTime() const
{
    return Utils::DateTime::fromQDateTime(editor->dateTime());
}

void DateTimeWidget::setDateTime(const Utils::DateTime& dateTime)
{
    const QSignalBlocker blocker(editor);
    editor->setDateTime(dateTime.toQDateTime());
    committed = editor->dateTime();
}

void DateTimeWidget::setNowLabel(const QString& label)
{
    nowButton->setText(label);
}

void DateTimeWidget::slotEditingFinished()
{
    // Leaving the editor or pressing Return without a change is not an edit.
    if (editor->dateTime() == committed) {
        return;
    }
    committed = editor->dateTime();
    emit sigDateTimeChanged();
}

void DateTimeWidget::slotNowChosen()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        const QSignalBlocker blocker(editor);
        // Whole seconds: what the editor shows is what dateTime() returns.
        editor->setDateTime(QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()), Qt::UTC));
    }
    committed = editor->dateTime();
    // Choosing the system time is an edit even when the shown second did not change.
    emit sigDateTimeChanged();
}

} // namespace Tarsk::Ui
