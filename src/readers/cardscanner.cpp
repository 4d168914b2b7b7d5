#include "readers/cardscanner.h"

#include <winscard.h>
#include <wintypes.h>

#include "jalt/vx_file.h"

namespace {
// The station's card key, kept as two halves that are combined only when it
// is loaded into the reader, so that it never stands in the program as one
// literal.
const uchar cardKeyMask[6] = {0x5a, 0xc3, 0x17, 0x8e, 0x64, 0xb9};
const uchar cardKeyBody[6] = {0xe8, 0x2f, 0x91, 0x43, 0xdb, 0x06};

const DWORD statusTimeoutMs = 2000;
const int reopenWaitMs = 5000;
const int disabledSleepMs = 80;
const int replyBufferSize = 32;
const uchar personBlock = 8;

// Results after which the context is of no further use: the service was
// restarted or stopped, or the reader was unplugged.
bool contextIsGone(LONG result)
{
    switch (result) {
    case LONG(SCARD_E_NO_SERVICE):
    case LONG(SCARD_E_SERVICE_STOPPED):
    case LONG(SCARD_E_READER_UNAVAILABLE):
    case LONG(SCARD_E_UNKNOWN_READER):
    case LONG(SCARD_E_INVALID_HANDLE): // pcsc-lite's answer to a context it no longer knows
#ifdef SCARD_E_INVALID_CONTEXT
    case LONG(SCARD_E_INVALID_CONTEXT):
#endif
    case LONG(SCARD_E_NO_READERS_AVAILABLE):
        return true;
    default:
        return false;
    }
}

QString errorString(LONG result)
{
    return QString::fromLatin1(pcsc_stringify_error(result));
}

bool answerOk(const VXByteArray& answer)
{
    return !answer.isEmpty() && uchar(answer.at(0)) == 0x90;
}
} // namespace

struct CardScanner::PCSC
{
    SCARDCONTEXT context = 0;
    LPSTR readers = nullptr;
    SCARDHANDLE card = 0;
    SCARD_IO_REQUEST sendPci = *SCARD_PCI_T1;
    // The one reply buffer, used only by the reader thread.
    VXByteArray reply;
};

CardScanner::CardScanner()
    : pcsc(std::make_unique<PCSC>())
{}

CardScanner::~CardScanner()
{
    // The thread calls run() and end() of this object: stop it while the
    // derived part still exists.
    stopAndWait();
}

VXByteArray CardScanner::cardKey()
{
    VXByteArray key(6, '\0');
    for (int i = 0; i < 6; ++i)
        key[i] = char(cardKeyMask[i] ^ cardKeyBody[i]);
    return key;
}

void CardScanner::open()
{
    close();
    LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &pcsc->context);
    if (result != SCARD_S_SUCCESS) {
        pcsc->context = 0;
        debugLine(QStringLiteral("Open error, SCardEstablishContext: ") + errorString(result));
        return;
    }
    DWORD length = SCARD_AUTOALLOCATE;
    result = SCardListReaders(pcsc->context, nullptr, reinterpret_cast<LPSTR>(&pcsc->readers), &length);
    if (result != SCARD_S_SUCCESS || !pcsc->readers) {
        pcsc->readers = nullptr;
        debugLine(QStringLiteral("Open error, SCardListReaders: ") + errorString(result));
        close();
        return;
    }
    readerName = QString::fromLatin1(pcsc->readers);
    opened.store(true);
    contextLost = false;
    debugLine(QStringLiteral("Opened ") + readerName);
}

void CardScanner::close()
{
    if (pcsc->card) {
        SCardDisconnect(pcsc->card, SCARD_LEAVE_CARD);
        pcsc->card = 0;
    }
    if (pcsc->readers) {
        SCardFreeMemory(pcsc->context, pcsc->readers);
        pcsc->readers = nullptr;
    }
    if (pcsc->context) {
        SCardReleaseContext(pcsc->context);
        pcsc->context = 0;
    }
    readerName.clear();
    opened.store(false);
    cardPresent = false;
}

void CardScanner::end()
{
    close();
}

void CardScanner::run()
{
    if (!opened.load()) {
        open();
        if (!opened.load()) {
            // No service or no reader: try again later; a stop request cuts
            // the wait short.
            sleepMs(reopenWaitMs);
            return;
        }
    }
    if (!enabled.load()) {
        sleepMs(disabledSleepMs);
        return;
    }

    SCARD_READERSTATE state{};
    state.szReader = pcsc->readers;
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    const LONG status = SCardGetStatusChange(pcsc->context, statusTimeoutMs, &state, 1);
    if (!check(status)) {
        if (debug.load())
            VXCout::line(errorString(status));
        if (contextLost)
            close();
        return;
    }
    const bool present = (state.dwEventState & SCARD_STATE_PRESENT) != 0;
    if (present == cardPresent)
        return;
    cardPresent = present;

    pcsc->card = 0;
    DWORD activeProtocol = 0;
    const LONG connected = SCardConnect(pcsc->context, pcsc->readers, SCARD_SHARE_SHARED,
                                        SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &pcsc->card, &activeProtocol);
    if (!check(connected)) {
        // The ordinary outcome of a card taken away: nothing to connect to.
        pcsc->card = 0;
        if (contextLost)
            close();
        return;
    }
    if (activeProtocol == SCARD_PROTOCOL_T0)
        pcsc->sendPci = *SCARD_PCI_T0;
    else if (activeProtocol == SCARD_PROTOCOL_T1)
        pcsc->sendPci = *SCARD_PCI_T1;

    setBuzzer(true);
    if (!procCard())
        postNumber(QString());
    SCardDisconnect(pcsc->card, SCARD_LEAVE_CARD);
    pcsc->card = 0;
    if (contextLost)
        close();
}

bool CardScanner::check(long result)
{
    if (result == SCARD_S_SUCCESS)
        return true;
    if (contextIsGone(LONG(result)))
        contextLost = true;
    return false;
}

bool CardScanner::procCard()
{
    if (!loadKey(cardKey()))
        return false;
    const QString number = personNumberFromAnswer(readBlock(personBlock));
    if (number.isEmpty())
        return false;
    postNumber(number);
    return true;
}

QString CardScanner::personNumberFromAnswer(const VXByteArray& answer)
{
    // A block read answers 16 data bytes and the status word 90 00; a
    // shorter or failed answer carries no number, and guessing one (such as
    // "0") could let a card log in as somebody else.
    if (answer.size() != 18 || uchar(answer.at(16)) != 0x90 || uchar(answer.at(17)) != 0x00)
        return QString();
    // Data bytes 8 to 11 hold eight packed decimal digits, most significant
    // first: 00 12 34 56 is 123456.
    qint64 value = 0;
    for (int i = 8; i < 12; ++i) {
        const uchar byte = uchar(answer.at(i));
        const int high = byte >> 4;
        const int low = byte & 0x0f;
        if (high > 9 || low > 9)
            return QString();
        value = value * 100 + high * 10 + low;
    }
    return QString::number(value, 10);
}

bool CardScanner::loadKey(const VXByteArray& key)
{
    VXByteArray command = QByteArray::fromHex("FF82000006");
    command.append(key);
    const VXByteArray answer = exchange(command);
    // The command holds the key: wipe the copy before it goes back to the heap.
    command.fill('\0');
    if (answer.isEmpty())
        return false;
    if (!answerOk(answer)) {
        debugLine(QStringLiteral("Invalid answer"));
        return false;
    }
    return true;
}

void CardScanner::setBuzzer(bool on)
{
    VXByteArray command = QByteArray::fromHex("FF00520000");
    command[3] = char(on ? 0xff : 0x00);
    exchange(command);
}

VXByteArray CardScanner::readBlock(uchar block)
{
    VXByteArray authenticate = QByteArray::fromHex("FF860000050100006000");
    authenticate[7] = char(block);
    const VXByteArray answer = exchange(authenticate);
    if (answer.isEmpty())
        return VXByteArray();
    if (!answerOk(answer)) {
        debugLine(QStringLiteral("Invalid answer"));
        return VXByteArray();
    }
    VXByteArray read = QByteArray::fromHex("FFB0000010");
    read[3] = char(block);
    return exchange(read);
}

VXByteArray CardScanner::exchange(const VXByteArray& command)
{
    VXByteArray& reply = pcsc->reply;
    reply.fill('\0', replyBufferSize);
    DWORD replyLength = DWORD(reply.size());
    const LONG result =
        SCardTransmit(pcsc->card, &pcsc->sendPci, reinterpret_cast<LPCBYTE>(command.constData()),
                      DWORD(command.size()), nullptr, reinterpret_cast<LPBYTE>(reply.data()), &replyLength);
    if (!check(result)) {
        debugLine(QStringLiteral("Transmit error: ") + errorString(result));
        return VXByteArray();
    }
    return reply.left(int(qMin<DWORD>(replyLength, DWORD(reply.size()))));
}

void CardScanner::debugLine(const QString& text) const
{
    if (!debug.load())
        return;
    const QString prefix = objectName().isEmpty() ? QStringLiteral("[CardScanner] ")
                                                  : QStringLiteral("[CardScanner \"%1\"] ").arg(objectName());
    VXCout::line(prefix + text);
}

void CardScanner::postNumber(const QString& number)
{
    // The signal is delivered on the object's thread, the main thread.
    QMetaObject::invokeMethod(
        this, [this, number] { Q_EMIT personNumberReaded(number); }, Qt::QueuedConnection);
}
