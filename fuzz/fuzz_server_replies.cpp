// The back-end's JSON replies: the input is read as the log-in reply and as
// each of the four download replies, through the station's own readers. A
// token must make a clean request header, and every record read must store
// in the database and read back as it was read (a lone surrogate comes back
// as "?", as in any stored text).

#include "fuzz_support.h"
#include "jalt/vx_time.h"
#include "server/server.h"
#include "vexo/vx_conversions.h"

namespace {
ServerBase* transport = nullptr;

QString validUnicode(const QString& text)
{
    return vxValidUtf16(text);
}

DatabaseStructs::User asStored(DatabaseStructs::User r)
{
    r.name = validUnicode(r.name);
    r.login = validUnicode(r.login);
    r.personNumber = validUnicode(r.personNumber);
    return r;
}

DatabaseStructs::Device asStored(DatabaseStructs::Device r)
{
    r.name = validUnicode(r.name);
    r.phone = validUnicode(r.phone);
    r.serial = validUnicode(r.serial);
    return r;
}

DatabaseStructs::DeviceFault asStored(DatabaseStructs::DeviceFault r)
{
    r.name = validUnicode(r.name);
    r.description = validUnicode(r.description);
    return r;
}

template <typename Record> void storesAsRead(const QVector<Record>& records, const char* what)
{
    for (const Record& record : records) {
        const Record stored = vxqDeserialize<Record>(vxqSerialize(record));
        if (!(stored == asStored(record)))
            FuzzSupport::fail(what, vxqSerialize(record).toHex(' '));
    }
}

void checkToken(const QByteArray& body)
{
    const VXString token = Server::readToken(body);
    if (token.isEmpty() || !transport->setToken(token))
        return;
    QByteArray header;
    for (const auto& pair : transport->makeMessage()) {
        if (pair.first == "x-api-key")
            header = pair.second;
    }
    if (header.isEmpty())
        FuzzSupport::fail("an accepted token is not sent");
    for (const char c : header) {
        if (uchar(c) < 0x20 || uchar(c) == 0x7f)
            FuzzSupport::fail("a token puts a control character into the request header", header.toHex(' '));
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzSupport::init(argc, argv);
    transport = new ServerBase();
    transport->setLogSink([](const VXString&, int) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = FuzzSupport::bytes(data, size);
    checkToken(body);
    const QDateTime sent = VXDateTime::current();
    const Server::Download download = Server::readDownload(body, body, body, body, sent, sent);
    storesAsRead(download.users, "a user does not read back as stored");
    storesAsRead(download.devices, "a device does not read back as stored");
    storesAsRead(download.faults, "a fault kind does not read back as stored");
    return 0;
}
