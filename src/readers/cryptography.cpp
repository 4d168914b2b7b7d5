#include "readers/cryptography.h"

#include <atomic>
#include <climits>

#include <QTextCodec>
#include <QUuid>

#include <openssl/crypto.h>

#include "3rd/fastpbkdf2/fastpbkdf2.h"
#include "jalt/vx_file.h"
#include "readers/qaesencryption.h"

namespace {
// The 32 key bytes of the QR login code, shared with every station and with
// the codes already handed out.
constexpr char qrKeyText[] = "Zq7LmW2pXr4TbN8vKd1HsY6cFg3JuE5a";
static_assert(sizeof(qrKeyText) - 1 == 32, "the QR login key is 32 bytes");

QByteArray upToZero(const QByteArray& bytes)
{
    const int zero = bytes.indexOf('\x00');
    return zero < 0 ? bytes : bytes.left(zero);
}

// Codes are written with the login as Latin-1 but read as UTF-8. Both agree
// for ASCII; a login with other Latin-1 letters is not valid UTF-8 and would
// come back with replacement characters, so such bytes are read as Latin-1.
QString loginText(const QByteArray& bytes)
{
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return QString::fromLatin1(bytes);
    return text;
}
} // namespace

QByteArray qrCodeEncrypt(QByteArray plain)
{
    static const QByteArray key(qrKeyText, 32);
    return QAESEncryption::Crypt(QAESEncryption::AES_256, QAESEncryption::ECB, plain, key, QByteArray(),
                                 QAESEncryption::ISO);
}

QByteArray qrCodeDecrypt(QByteArray cipher)
{
    static const QByteArray key(qrKeyText, 32);
    if (cipher.isEmpty())
        return QByteArray();
    return QAESEncryption::RemovePadding(QAESEncryption::Decrypt(QAESEncryption::AES_256, QAESEncryption::ECB,
                                                                 cipher, key, QByteArray(),
                                                                 QAESEncryption::ISO),
                                         QAESEncryption::ISO);
}

QByteArray qrLoginEncrypt(const QString& login, const QString& password)
{
    QByteArray plain = login.toLatin1();
    plain.append('\x0a');
    plain.append(password.toLatin1());
    plain.append('\x00');
    return qrCodeEncrypt(plain).toBase64();
}

QPair<QString, QString> qrLoginDecrypt(const QByteArray& code)
{
    if (code.isEmpty())
        return {};
    const QByteArray plain = qrCodeDecrypt(QByteArray::fromBase64(code)).trimmed();
    if (plain.isEmpty())
        return {};
    const QList<QByteArray> parts = plain.split('\x0a');
    if (parts.size() < 2)
        return {};
    return {loginText(upToZero(parts.at(0))), QString::fromLatin1(upToZero(parts.at(1)))};
}

QByteArray PBKDF2(QByteArray password,
                  QByteArray salt,
                  int iterations,
                  QCryptographicHash::Algorithm algorithm,
                  int keyLength)
{
    if (password.isEmpty() || salt.isEmpty() || iterations < 1 || keyLength == 0)
        return QByteArray();
    using Engine = void (*)(const uint8_t*, size_t, const uint8_t*, size_t, uint32_t, uint8_t*, size_t);
    Engine engine = nullptr;
    int digestSize = 0;
    switch (algorithm) {
    case QCryptographicHash::Sha1:
        engine = fastpbkdf2_hmac_sha1;
        digestSize = 20;
        break;
    case QCryptographicHash::Sha256:
        engine = fastpbkdf2_hmac_sha256;
        digestSize = 32;
        break;
    case QCryptographicHash::Sha512:
        engine = fastpbkdf2_hmac_sha512;
        digestSize = 64;
        break;
    default:
        return QByteArray();
    }
    if (keyLength < 0)
        keyLength = digestSize;
    QByteArray key(keyLength, '\0');
    engine(reinterpret_cast<const uint8_t*>(password.constData()), size_t(password.size()),
           reinterpret_cast<const uint8_t*>(salt.constData()), size_t(salt.size()), uint32_t(iterations),
           reinterpret_cast<uint8_t*>(key.data()), size_t(key.size()));
    return key;
}

bool verifyPassword(QByteArray hash, QByteArray password)
{
    constexpr int saltSize = 16;
    constexpr int subkeySize = 32;
    if (hash.size() != 1 + saltSize + subkeySize || hash.at(0) != '\0')
        return false;
    const QByteArray derived =
        PBKDF2(password, hash.mid(1, saltSize), 1000, QCryptographicHash::Sha1, subkeySize);
    // The time taken does not tell how much of the key matched.
    return derived.size() == subkeySize
           && CRYPTO_memcmp(derived.constData(), hash.constData() + 1 + saltSize, subkeySize) == 0;
}

QString createUUID(QByteArray data)
{
    // Each field from its own draw, cut to the field's width.
    static const QUuid nameSpace = [] {
        const auto draw = [] { return randomi(INT_MIN, INT_MAX); };
        const uint l = uint(draw());
        const ushort w1 = ushort(draw());
        const ushort w2 = ushort(draw());
        uchar b[8];
        for (uchar& byte : b)
            byte = uchar(draw());
        return QUuid(l, w1, w2, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
    }();
    // Counted before use, so the first call appends "1". Wide and atomic:
    // it never wraps to a repeated or negative number, whichever thread asks.
    static std::atomic<quint64> counter{0};
    // The zero byte keeps data and count apart: without it "x1" at count 2
    // and "x" at count 12 would hash the same "x12". The count is the digits
    // after the last zero byte, so no two calls hash the same bytes.
    data.append('\x00');
    data.append(QByteArray::number(++counter));
    return QUuid::createUuidV5(nameSpace, data).toString(QUuid::WithoutBraces);
}
