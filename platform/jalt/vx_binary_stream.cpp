#include "jalt/vx_binary_stream.h"

#include <cstring>

#include <QtEndian>

#include "jalt/vx_time.h"

VXBinaryStream<QByteArray>::VXBinaryStream(QByteArray* buffer)
    : output(buffer)
{}

VXBinaryStream<QByteArray>::VXBinaryStream(const QByteArray& data)
    : input(data)
    , end(data.size())
{}

VXBinaryStream<QByteArray>::VXBinaryStream(const QByteArray& data, int offset, int length)
    : input(data)
    , position(offset)
    , end(offset + length)
{
    if (offset < 0 || length < 0 || offset > data.size() - length) {
        position = end = 0;
        good = false;
    }
}

void VXBinaryStream<QByteArray>::writeInt32(qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    output->append(bytes, 4);
}

void VXBinaryStream<QByteArray>::writeUInt8(quint8 value)
{
    output->append(char(value));
}

void VXBinaryStream<QByteArray>::writeRaw(const QByteArray& bytes)
{
    output->append(bytes);
}

void VXBinaryStream<QByteArray>::writeUtf16(const QString& text)
{
    const int at = output->size();
    output->resize(at + 2 * text.size());
    qToLittleEndian<quint16>(text.utf16(), text.size(), output->data() + at);
}

bool VXBinaryStream<QByteArray>::readInt32(qint32& value)
{
    if (!good || end - position < 4) {
        good = false;
        return false;
    }
    value = qFromLittleEndian<qint32>(input.constData() + position);
    position += 4;
    return true;
}

bool VXBinaryStream<QByteArray>::readUInt8(quint8& value)
{
    if (!good || end - position < 1) {
        good = false;
        return false;
    }
    value = quint8(input.at(position));
    position += 1;
    return true;
}

bool VXBinaryStream<QByteArray>::readRaw(int size, QByteArray& bytes)
{
    const char* data = readInPlace(size);
    if (!data)
        return false;
    // A copy: the value may outlive the stream's buffer.
    bytes = QByteArray(data, size);
    return true;
}

bool VXBinaryStream<QByteArray>::skip(int size, int* offset)
{
    const int begin = position;
    if (!readInPlace(size))
        return false;
    *offset = begin;
    return true;
}

const char* VXBinaryStream<QByteArray>::readInPlace(int size)
{
    if (!good || size < 0 || end - position < size) {
        good = false;
        return nullptr;
    }
    const char* data = input.constData() + position;
    position += size;
    return data;
}

VXByteStream& operator<<(VXByteStream& s, qint32 value)
{
    s.writeInt32(value);
    return s;
}

VXByteStream& operator<<(VXByteStream& s, bool value)
{
    s.writeUInt8(value ? 1 : 0);
    return s;
}

VXByteStream& operator<<(VXByteStream& s, double value)
{
    char bytes[8];
    std::memcpy(bytes, &value, 8);
    s.writeRaw(QByteArray(bytes, 8));
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const QByteArray& value)
{
    s.writeInt32(qint32(value.size()));
    s.writeRaw(value);
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const QString& value)
{
    const QString text = vxValidUtf16(value);
    s.writeInt32(qint32(text.size()));
    s.writeUtf16(text);
    return s;
}

QString vxValidUtf16(const QString& text)
{
    // Every stored string is valid UTF-16: a surrogate without its partner
    // becomes "?", as a trip through UTF-8 makes it. Everything else stays,
    // a NUL or a byte-order mark in front included.
    const ushort* units = text.utf16();
    const int size = text.size();
    QString valid;
    for (int i = 0; i < size; ++i) {
        if (!QChar::isSurrogate(units[i]))
            continue;
        if (QChar::isHighSurrogate(units[i]) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            ++i; // a pair
            continue;
        }
        if (valid.isNull())
            valid = text;
        valid[i] = QLatin1Char('?');
    }
    return valid.isNull() ? text : valid;
}

VXByteStream& operator<<(VXByteStream& s, const QDateTime& value)
{
    // An unset date-time writes the parts the toolkit reports for an invalid
    // date (0, 0, 0) and time (-1, -1, -1, -1).
    const QDate date = value.isValid() ? value.date() : QDate();
    const QTime time = value.isValid() ? value.time() : QTime();
    s.writeInt32(date.isValid() ? date.year() : 0);
    s.writeInt32(date.isValid() ? date.month() : 0);
    s.writeInt32(date.isValid() ? date.day() : 0);
    s.writeInt32(time.isValid() ? time.hour() : -1);
    s.writeInt32(time.isValid() ? time.minute() : -1);
    s.writeInt32(time.isValid() ? time.second() : -1);
    s.writeInt32(time.isValid() ? time.msec() : -1);
    return s;
}

VXByteStream& operator>>(VXByteStream& s, qint32& value)
{
    s.readInt32(value);
    return s;
}

VXByteStream& operator>>(VXByteStream& s, bool& value)
{
    quint8 raw = 0;
    if (s.readUInt8(raw))
        value = raw != 0;
    return s;
}

VXByteStream& operator>>(VXByteStream& s, double& value)
{
    if (const char* raw = s.readInPlace(8))
        std::memcpy(&value, raw, 8);
    return s;
}

VXByteStream& operator>>(VXByteStream& s, QByteArray& value)
{
    qint32 size = 0;
    QByteArray bytes;
    if (s.readInt32(size) && s.readRaw(size, bytes))
        value = bytes;
    return s;
}

VXByteStream& operator>>(VXByteStream& s, QString& value)
{
    qint32 count = 0;
    if (!s.readInt32(count))
        return s;
    if (count < 0 || count > s.remaining() / 2) {
        s.fail();
        return s;
    }
    const char* units = s.readInPlace(count * 2);
    if (!units)
        return s;
    QString text(count, Qt::Uninitialized);
    qFromLittleEndian<quint16>(units, count, text.data());
    value = text;
    return s;
}

VXByteStream& operator>>(VXByteStream& s, QDateTime& value)
{
    qint32 parts[7];
    for (qint32& part : parts)
        if (!s.readInt32(part))
            return s;
    const QDate date(parts[0], parts[1], parts[2]);
    const QTime time(parts[3], parts[4], parts[5], parts[6]);
    value = date.isValid() && time.isValid() ? VXDateTime::fromLocal(date, time) : QDateTime();
    return s;
}
