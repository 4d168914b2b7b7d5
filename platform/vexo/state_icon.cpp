#include "vexo/state_icon.h"

#include <QByteArray>
#include <QDataStream>
#include <QDynamicPropertyChangeEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVariant>

#include "vexo/icons.h"
#include "vexo/widget_metrics.h"

namespace {
const char* const rawStatesProperty = "rawStates";
// A form's table is small; a longer count means a broken text.
const qint32 maxEntries = 1000;
} // namespace

StateIcon::StateIcon(QWidget* parent)
    : QWidget(parent)
    , iconLabel(new QLabel(this))
    , textLabel(new QLabel(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(iconLabel);
    layout->addWidget(textLabel, 1);
    iconLabel->setObjectName(QStringLiteral("stateIconPicture"));
    textLabel->setObjectName(QStringLiteral("stateIconText"));
    refresh();
}

void StateIcon::setStates(const QVector<Entry>& table)
{
    entries = table;
    refresh();
}

void StateIcon::setState(int value)
{
    level = value;
    refresh();
}

QString StateIcon::text() const
{
    return textLabel->text();
}

QString StateIcon::iconPath() const
{
    const Entry* entry = entryOf(level);
    return entry ? entry->iconPath : QString();
}

QString StateIcon::encodeStates(const QVector<Entry>& table)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_15);
    out << qint32(table.size());
    for (const Entry& entry : table)
        out << qint32(entry.level) << entry.text << entry.iconPath;
    return QString::fromLatin1(bytes.toBase64());
}

QVector<StateIcon::Entry> StateIcon::decodeStates(const QString& raw)
{
    QVector<Entry> table;
    QDataStream in(QByteArray::fromBase64(raw.toLatin1()));
    in.setVersion(QDataStream::Qt_5_15);
    qint32 count = 0;
    in >> count;
    if (count < 0 || count > maxEntries)
        return {};
    for (qint32 i = 0; i < count; ++i) {
        qint32 value = 0;
        Entry entry;
        in >> value >> entry.text >> entry.iconPath;
        if (in.status() != QDataStream::Ok)
            return {};
        entry.level = value;
        table.append(entry);
    }
    return table;
}

bool StateIcon::event(QEvent* event)
{
    if (event->type() == QEvent::DynamicPropertyChange
        && static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == rawStatesProperty) {
        setStates(decodeStates(property(rawStatesProperty).toString()));
    } else if (event->type() == QEvent::FontChange) {
        refresh();
    }
    return QWidget::event(event);
}

void StateIcon::refresh()
{
    const Entry* entry = entryOf(level);
    const QSize size = preferredIconSize(1.0, this);
    iconLabel->setFixedSize(size);
    if (entry && !entry->iconPath.isEmpty())
        iconLabel->setPixmap(VEXO::sharedIcon(entry->iconPath).pixmap(size));
    else
        iconLabel->clear();
    textLabel->setText(entry ? entry->text : QString::number(level));
}

const StateIcon::Entry* StateIcon::entryOf(int value) const
{
    for (const Entry& entry : entries)
        if (entry.level == value)
            return &entry;
    return nullptr;
}
