#pragma once

#include <ostream>

#include <QColor>
#include <QDebug>
#include <QObject>
#include <QVariant>
#include <QVector>

class QWidget;

// Records every background colour a widget shows: the Button colour of its
// palette at each palette change, a colour repeated in a row counted once.
class ColorTrace : public QObject
{
public:
    explicit ColorTrace(QWidget* widget);

    QVector<QColor> colors;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

QT_BEGIN_NAMESPACE
inline void PrintTo(const QColor& color, std::ostream* os)
{
    *os << color.name(QColor::HexArgb).toStdString();
}
inline void PrintTo(const QVariant& value, std::ostream* os)
{
    QString text;
    QDebug(&text) << value;
    *os << text.toStdString();
}
QT_END_NAMESPACE
