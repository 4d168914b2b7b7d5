#include "cells/cellcontroller_base.h"

#include "core/core.h"
#include "jalt/vx_io_device.h"

CellControllerBase::CellControllerBase(QObject* parent)
    : QObject(parent)
{}

CellControllerBase::~CellControllerBase() = default;

void CellControllerBase::setDevice(VXIODevice* link)
{
    device = link;
    if (!device)
        return;
    device->connect(QStringLiteral("threadedReadEvent"), [this](const unsigned char* data, long size) {
        if (StationCore::instance()->cells_log)
            StationCore::instance()->log(
                QStringLiteral("[CellController] rec %1 bytes [%2]").arg(size).arg(bytesText(data, size)),
                StationCore::lcInfo);
        received(data, size);
    });
}

VXString CellControllerBase::bytesText(const uchar* data, long size)
{
    VXString text;
    for (long i = 0; i < size; ++i) {
        if (i > 0)
            text += QStringLiteral(", ");
        text += QString::number(data[i]);
    }
    return text;
}

bool CellControllerBase::writeFrame(const VXByteArray& frame, const VXString& traceLine)
{
    if (!device)
        return false;
    trace(traceLine);
    return device->write(frame) == frame.size();
}

void CellControllerBase::refuseOpen(int board, int lock)
{
    StationCore::instance()->log(
        QStringLiteral("[CellController] Board %1  lock %2 can`t be addressed in %3, not sent")
            .arg(board)
            .arg(lock)
            .arg(name()),
        StationCore::lcError);
}

void CellControllerBase::refuseQuery(int board)
{
    if (refusedQueries.contains(board))
        return;
    refusedQueries.append(board);
    StationCore::instance()->log(
        QStringLiteral("[CellController] Board %1 can`t be addressed in %2, not queried")
            .arg(board)
            .arg(name()),
        StationCore::lcError);
}

void CellControllerBase::trace(const VXString& line)
{
    if (StationCore::instance()->cells_log)
        StationCore::instance()->log(line, StationCore::lcInfo);
}

bool CellControllerBase::restartAfterGap()
{
    const bool gap = gapTimer.elapsed_m() > 20;
    if (gap)
        buffer.clear();
    gapTimer.reset();
    return gap;
}
