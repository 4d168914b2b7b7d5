#pragma once

#include <QByteArray>
#include <QVarLengthArray>
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

    // Writing: chunks are kept in the order added; a chunk added again with
    // an id already there replaces its value and keeps its place.
    void addRaw(quint32 id, const QByteArray& payload);
    template <typename T> void add(quint32 id, const T& value)
    {
        // The value is written straight into the one buffer of all chunks.
        const int offset = buffer.size();
        VXByteStream stream(&buffer);
        stream << value;
        place(id, offset, buffer.size() - offset);
    }
    QByteArray data() const;

    // Reading: parses the chunks of data. Parsing stops at the first damaged
    // chunk header or a chunk that runs past the end; the chunks before it are
    // kept and false is returned. A chunk that comes twice reads as its last
    // value.
    bool read(const QByteArray& data);
    // Reads a nested record, written to s as length-prefixed bytes, and
    // parses it as above; false when s itself failed.
    bool readFrom(VXByteStream& s);
    bool contains(quint32 id) const { return find(id) != nullptr; }
    QByteArray chunk(quint32 id) const;
    QVector<quint32> ids() const;
    // Decodes chunk id into value; leaves value untouched and returns false when
    // the chunk is absent or cannot be decoded.
    template <typename T> bool get(quint32 id, T& value) const
    {
        const Chunk* found = find(id);
        if (!found)
            return false;
        VXByteStream stream(buffer, found->offset, found->length);
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
    // Where a chunk's value lies in buffer.
    struct Chunk
    {
        quint32 id;
        int offset;
        int length;
    };
    void place(quint32 id, int offset, int length);
    const Chunk* find(quint32 id) const;
    bool parse(int begin, int end);

    // Writing: the values one after the other; reading: the bytes read
    // (shared, not copied), with the chunks pointing into them.
    QByteArray buffer;
    // A record has a dozen chunks: no allocation for them.
    QVarLengthArray<Chunk, 12> chunks;
};
