// The QR login code: the input is decoded as a scanned packet, and again as
// the plain text inside a code (the cipher keeps random packets away from
// the reading of login and password). A login and a password of printable
// ASCII, as an administrator types them, must come back from their code.

#include <QPair>
#include <QString>

#include "fuzz_support.h"
#include "readers/cryptography.h"

namespace {
bool printableAscii(const QByteArray& text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);
    qrLoginDecrypt(input);
    qrLoginDecrypt(qrCodeEncrypt(input).toBase64());

    const int newline = input.indexOf('\n');
    if (newline <= 0)
        return 0;
    const QByteArray login = input.left(newline);
    const QByteArray password = input.mid(newline + 1);
    if (!printableAscii(login) || !printableAscii(password) || login != login.trimmed())
        return 0;
    const QPair<QString, QString> read =
        qrLoginDecrypt(qrLoginEncrypt(QString::fromLatin1(login), QString::fromLatin1(password)));
    if (read.first != QString::fromLatin1(login) || read.second != QString::fromLatin1(password))
        FuzzSupport::fail("a login code does not give its login and password back",
                          "read " + read.first.toUtf8() + " / " + read.second.toUtf8());
    return 0;
}
