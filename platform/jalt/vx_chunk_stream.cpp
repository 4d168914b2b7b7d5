#include "jalt/vx_chunk_stream.h"

void VXChunkStream::place(quint32 id, int offset, int length)
{
    for (Chunk& chunk : chunks) {
        if (chunk.id == id) {
            chunk.offset = offset;
            chunk.length = length;
            return;
        }
    }
    chunks.append(Chunk{id, offset, length});
}

const VXChunkStream::Chunk* VXChunkStream::find(quint32 id) const
{
    // A record has a dozen chunks at most: a scan beats any index.
    for (const Chunk& chunk : chunks) {
        if (chunk.id == id)
            return &chunk;
    }
    return nullptr;
}

void VXChunkStream::addRaw(quint32 id, const QByteArray& payload)
{
    const int offset = buffer.size();
    buffer.append(payload);
    place(id, offset, payload.size());
}

QByteArray VXChunkStream::chunk(quint32 id) const
{
    const Chunk* found = find(id);
    return found ? buffer.mid(found->offset, found->length) : QByteArray();
}

QVector<quint32> VXChunkStream::ids() const
{
    QVector<quint32> result;
    result.reserve(chunks.size());
    for (const Chunk& chunk : chunks)
        result.append(chunk.id);
    return result;
}

QByteArray VXChunkStream::data() const
{
    QByteArray out;
    int size = 1;
    for (const Chunk& chunk : chunks)
        size += chunk.length + 10;
    out.reserve(size);
    out.append(char(header));
    for (const Chunk& chunk : chunks) {
        writeVInt(out, chunk.id);
        writeVInt(out, quint64(chunk.length));
        out.append(buffer.constData() + chunk.offset, chunk.length);
    }
    return out;
}

bool VXChunkStream::read(const QByteArray& data)
{
    buffer = data;
    return parse(0, data.size());
}

bool VXChunkStream::parse(int begin, int end)
{
    chunks.clear();
    if (end <= begin || quint8(buffer.at(begin)) != header)
        return false;
    int pos = begin + 1;
    // A chunk needs at least its id and its length.
    while (end - pos >= 2) {
        quint32 id = 0;
        quint32 length = 0;
        if (!readVInt(buffer, pos, id) || !readVInt(buffer, pos, length) || pos > end)
            return false;
        if (length > quint32(end - pos))
            return false;
        place(id, pos, int(length));
        pos += int(length);
    }
    return pos == end;
}

bool VXChunkStream::readFrom(VXByteStream& s)
{
    // The nested bytes are read in place, in the stream's own buffer.
    qint32 size = 0;
    int offset = 0;
    if (!s.readInt32(size) || !s.skip(size, &offset))
        return false;
    buffer = s.buffer();
    parse(offset, offset + size);
    return true;
}

void VXChunkStream::writeVInt(QByteArray& out, quint64 value)
{
    do {
        quint8 byte = value & 0x7f;
        value >>= 7;
        if (value != 0)
            byte |= 0x80;
        out.append(char(byte));
    } while (value != 0);
}

bool VXChunkStream::readVInt(const QByteArray& in, int& pos, quint32& value)
{
    quint64 result = 0;
    for (int shift = 0, p = pos; shift < 35; shift += 7, ++p) {
        if (p >= in.size())
            return false;
        const quint8 byte = quint8(in.at(p));
        result |= quint64(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            if (result > 0xffffffffu)
                return false;
            value = quint32(result);
            pos = p + 1;
            return true;
        }
    }
    return false; // more than five bytes: not a 32-bit value
}
