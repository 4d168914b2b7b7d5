#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// Little-endian binary coding of the stored records: 4-byte integers, 1-byte
// booleans, length-prefixed byte arrays, strings as a 4-byte count of 2-byte
// characters, dates as seven 4-byte integers. A writer appends to a buffer; a
// reader is bounded by its data: a read that would pass the end, a negative
// length or a count beyond the remaining bytes fails, leaves the target
// unchanged and makes every later read fail as well.
template <typename Buffer> class VXBinaryStream;

template <> class VXBinaryStream<QByteArray>
{
public:
    // A writer appending to *buffer.
    explicit VXBinaryStream(QByteArray* buffer);
    // A reader over data.
    explicit VXBinaryStream(const QByteArray& data);
    // A reader over length bytes of data from offset on (shared, not copied).
    VXBinaryStream(const QByteArray& data, int offset, int length);

    bool ok() const { return good; }
    bool atEnd() const { return position >= end; }
    int remaining() const { return good ? end - position : 0; }
    // The reader's whole data, of which it reads a part.
    const QByteArray& buffer() const { return input; }

    void writeInt32(qint32 value);
    void writeUInt8(quint8 value);
    void writeRaw(const QByteArray& bytes);
    // The text's UTF-16 code units, little-endian, without a count.
    void writeUtf16(const QString& text);

    bool readInt32(qint32& value);
    bool readUInt8(quint8& value);
    bool readRaw(int size, QByteArray& bytes);
    // Passes over size bytes; *offset is where they begin in buffer().
    bool skip(int size, int* offset);
    // size bytes in place, valid while buffer() is.
    const char* readInPlace(int size);
    // Marks the stream as failed; used by readers of composite values.
    void fail() { good = false; }

private:
    QByteArray* output = nullptr;
    QByteArray input;
    int position = 0;
    int end = 0;
    bool good = true;
};

using VXByteStream = VXBinaryStream<QByteArray>;

// The text as it is stored: each surrogate without its partner replaced by
// "?", everything else as it is.
QString vxValidUtf16(const QString& text);

VXByteStream& operator<<(VXByteStream& s, qint32 value);
VXByteStream& operator<<(VXByteStream& s, bool value);
VXByteStream& operator<<(VXByteStream& s, double value);
VXByteStream& operator<<(VXByteStream& s, const QByteArray& value);
VXByteStream& operator<<(VXByteStream& s, const QString& value);
VXByteStream& operator<<(VXByteStream& s, const QDateTime& value);

VXByteStream& operator>>(VXByteStream& s, qint32& value);
VXByteStream& operator>>(VXByteStream& s, bool& value);
VXByteStream& operator>>(VXByteStream& s, double& value);
VXByteStream& operator>>(VXByteStream& s, QByteArray& value);
VXByteStream& operator>>(VXByteStream& s, QString& value);
VXByteStream& operator>>(VXByteStream& s, QDateTime& value);

// Enumerations travel as their 4-byte integer value.
template <typename E, typename = std::enable_if_t<std::is_enum_v<E>>>
VXByteStream& operator<<(VXByteStream& s, E value)
{
    return s << qint32(value);
}

// Stored bytes may hold any integer: only an enumeration with a fixed
// underlying type can take every one (the list-initialisation below does not
// compile for any other).
template <typename E, typename = std::enable_if_t<std::is_enum_v<E>>>
VXByteStream& operator>>(VXByteStream& s, E& value)
{
    qint32 raw = 0;
    if (s.readInt32(raw))
        value = E{raw};
    return s;
}

// A vector is a 4-byte count followed by its elements.
template <typename T> VXByteStream& operator<<(VXByteStream& s, const QVector<T>& values)
{
    s << qint32(values.size());
    for (const T& value : values)
        s << value;
    return s;
}

template <typename T> VXByteStream& operator>>(VXByteStream& s, QVector<T>& values)
{
    qint32 count = 0;
    if (!s.readInt32(count))
        return s;
    // Every element takes at least one byte: a larger count is a damaged stream.
    if (count < 0 || count > s.remaining()) {
        s.fail();
        return s;
    }
    // No reserve for the count: a damaged file naming a million elements would
    // make it allocate a million records before the first read fails.
    QVector<T> result;
    for (qint32 i = 0; i < count && s.ok(); ++i) {
        T value{};
        s >> value;
        if (s.ok())
            result.append(value);
    }
    if (s.ok())
        values = result;
    return s;
}
