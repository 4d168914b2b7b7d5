#pragma once

#include <QByteArray>
#include <QString>

#include "jalt/vx_binary_stream.h"
#include "jalt/vx_types.h"

// The platform's strings and byte arrays are the toolkit's own, so these
// conversions are loss-free by construction.
inline QString VX2QString(const VXString& s)
{
    return s;
}
inline VXString Q2VXString(const QString& s)
{
    return s;
}
inline QByteArray VX2QByteArray(const VXByteArray& b)
{
    return b;
}
inline VXByteArray Q2VXByteArray(const QByteArray& b)
{
    return b;
}

// A record to its stored bytes, through the record's stream writer.
template <typename T> QByteArray vxqSerialize(const T& record)
{
    QByteArray bytes;
    VXByteStream stream(&bytes);
    stream << record;
    return bytes;
}

// A record from its stored bytes; empty bytes give the default record.
template <typename T> T vxqDeserialize(const QByteArray& bytes)
{
    T record;
    if (bytes.isEmpty())
        return record;
    VXByteStream stream(bytes);
    stream >> record;
    return record;
}
