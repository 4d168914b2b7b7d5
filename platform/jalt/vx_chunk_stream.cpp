#include "jalt/vx_chunk_stream.h"

void VXChunkStream::addRaw(quint32 id, const QByteArray& payload)
{
    if (!chunks.contains(id))
        order.append(id);
    chunks.insert(id, payload);
}

QByteArray VXChunkStream::data() const
{
    QByteArray out;
    out.append(char(header));
    for (quint32 id : order) {
        const QByteArray& payload = chunks[id];
        writeVInt(out, id);
        writeVInt(out, quint64(payload.size()));
        out.append(payload);
    }
    return out;
}

bool VXChunkStream::read(const QByteArray& data)
{
    chunks.clear();
    order.clear();
    if (data.isEmpty() || quint8(data.at(0)) != header)
        return false;
    int pos = 1;
    // A chunk needs at least its id and its length.
    while (data.size() - pos >= 2) {
        quint32 id = 0;
        quint32 length = 0;
        if (!readVInt(data, pos, id) || !readVInt(data, pos, length))
            return false;
        if (length > quint32(data.size() - pos))
            return false;
        addRaw(id, data.mid(pos, int(length)));
        pos += int(length);
    }
    return pos == data.size();
}

bool VXChunkStream::readFrom(VXByteStream& s)
{
    QByteArray data;
    s >> data;
    if (!s.ok())
        return false;
    read(data);
    return true;
}

bool VXChunkStream::contains(quint32 id) const
{
    return chunks.contains(id);
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
