#include "jalt/vx_serial_reader.h"

#include <cerrno>

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// How long one wait for bytes may block: bounds the time stopAndWait() takes.
const int pollSliceMs = 10;
} // namespace

VXSerialReader::~VXSerialReader()
{
    stopAndWait();
}

bool VXSerialReader::open(const QString& path)
{
    stopAndWait();
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return false;
    const int handle = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;
    // A terminal gets raw mode, so that bytes arrive as sent: no line
    // buffering, no echo, no translation of carriage returns.
    termios settings{};
    if (::isatty(handle) && ::tcgetattr(handle, &settings) == 0) {
        ::cfmakeraw(&settings);
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
        ::tcsetattr(handle, TCSANOW, &settings);
    }
    failed.store(false);
    fd.store(handle);
    return true;
}

void VXSerialReader::startThreadedRead()
{
    if (fd.load() < 0)
        return;
    start();
}

void VXSerialReader::stopAndWait()
{
    VXThread::stopAndWait();
    const int handle = fd.exchange(-1);
    if (handle >= 0)
        ::close(handle);
}

void VXSerialReader::run()
{
    const int handle = fd.load();
    if (handle < 0 || failed.load()) {
        stop();
        return;
    }
    pollfd waitFor{handle, POLLIN, 0};
    const int ready = ::poll(&waitFor, 1, pollSliceMs);
    if (ready < 0 && errno != EINTR) {
        failed.store(true);
        stop();
        return;
    }
    if (ready <= 0)
        return;
    char chunk[512];
    const ssize_t got = ::read(handle, chunk, sizeof chunk);
    if (got > 0) {
        if (readHandler)
            readHandler(chunk, int(got));
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // End of file or an error (a pseudo-terminal whose other side closed
    // reports EIO): the device is gone. Stop rather than spin on it.
    failed.store(true);
    stop();
}
