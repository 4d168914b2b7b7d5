#pragma once

#include <QByteArray>
#include <QMap>
#include <QVector>

#include "jalt/vx_binary_stream.h"

// A chunked record stream, version 2: one header byte 0x82, then one chunk per
// field, each the chunk id and the value's length as variable-length unsigned
// integers (7 bits a byte, least significant group first, high bit = more)
// followed by the value's bytes. Readers skip ids they do not know; a field
// whose chunk is absent or too short to decode keeps the caller's default.
class VXChunkStream
{
public:
    static constexpr quint8 header = 0x82;

    VXChunkStream() = default;

    // Writing: chunks are kept in the order added.
    void addRaw(quint32 id, const QByteArray& payload);
    template <typename T> void add(quint32 id, const T& value)
    {
        QByteArray payload;
        VXByteStream stream(&payload);
        stream << value;
        addRaw(id, payload);
    }
    QByteArray data() const;

    // Reading: parses the chunks of data. Parsing stops at the first damaged
    // chunk header or a chunk that runs past the end; the chunks before it are
    // kept and false is returned.
    bool read(const QByteArray& data);
    // Reads a nested record, written to s as length-prefixed bytes, and
    // parses it as above; false when s itself failed.
    bool readFrom(VXByteStream& s);
    bool contains(quint32 id) const;
    QByteArray chunk(quint32 id) const { return chunks.value(id); }
    QVector<quint32> ids() const { return order; }
    // Decodes chunk id into value; leaves value untouched and returns false when
    // the chunk is absent or cannot be decoded.
    template <typename T> bool get(quint32 id, T& value) const
    {
        auto found = chunks.constFind(id);
        if (found == chunks.constEnd())
            return false;
        VXByteStream stream(found.value());
        T decoded = value;
        stream >> decoded;
        if (!stream.ok())
            return false;
        value = decoded;
        return true;
    }

    static void writeVInt(QByteArray& out, quint64 value);
    // Reads a variable-length integer of at most 32 bits at pos; fails on a
    // truncated or overlong encoding.
    static bool readVInt(const QByteArray& in, int& pos, quint32& value);

private:
    QMap<quint32, QByteArray> chunks;
    QVector<quint32> order;
};
