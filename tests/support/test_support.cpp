#include "support/test_support.h"

#include <QFile>

void TestSupport::writeConfig(const QString& text)
{
    QFile file(QStringLiteral("vesk_station.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write vesk_station.conf";
    file.write(text.toUtf8());
}

QByteArray TestSupport::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray TestSupport::hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
