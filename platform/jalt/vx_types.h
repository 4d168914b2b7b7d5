#pragma once

#include <QByteArray>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QVector>

// The station's plain value types are the toolkit's own; the aliases keep the
// names the rest of the code is written against.
using VXString = QString;
using VXByteArray = QByteArray;
using VXStringList = QStringList;
template <typename T> using VXVector = QVector<T>;
template <typename T> using VXQueue = QQueue<T>;
