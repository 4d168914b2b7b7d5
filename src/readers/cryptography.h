#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QPair>
#include <QString>

// The cipher of the QR login code: AES-256, ECB, ISO padding, no IV, under
// the station's built-in key.
QByteArray qrCodeEncrypt(QByteArray plain);
// Empty for an empty input and for anything that is not whole cipher blocks.
QByteArray qrCodeDecrypt(QByteArray cipher);

// The Base64 text of a QR login code: the login, a line feed, the password
// and one zero byte (both as Latin-1), enciphered.
QByteArray qrLoginEncrypt(const QString& login, const QString& password);
// (login, password) of a scanned QR login code; an empty login when the
// code is none.
QPair<QString, QString> qrLoginDecrypt(const QByteArray& code);

// PBKDF2 with HMAC over Sha1, Sha256 or Sha512; keyLength -1 asks for the
// hash's digest size. Empty for an empty password or salt, fewer than one
// iteration, a key length of 0 and any other algorithm.
QByteArray PBKDF2(QByteArray password,
                  QByteArray salt,
                  int iterations,
                  QCryptographicHash::Algorithm algorithm,
                  int keyLength);
// Whether the password matches a stored password hash: 49 bytes, a zero
// format byte, a 16-byte salt and the 32-byte PBKDF2-HMAC-SHA1 key of the
// password and salt at 1000 iterations. Any other form never matches.
bool verifyPassword(QByteArray hash, QByteArray password);

// A fresh name-based (version 5) UUID of the data, without braces: the data
// and a call counter hashed in a namespace drawn at random once per run, so
// no two calls of a run give the same text and runs give unrelated texts.
// (VXByteArray and VXString are QByteArray and QString, so this also serves
// the toolkit's types.)
QString createUUID(QByteArray data);
