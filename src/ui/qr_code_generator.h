#pragma once

#include <vector>

#include <QByteArray>
#include <QImage>

#include "qrcode/qr_types.h"

// The QR code symbol of content (level M, mode, version and mask chosen by
// the generator) as a grayscale image: black modules on white, each module
// scale x scale pixels, inside a white quiet zone four modules wide. Throws
// the generator's std::runtime_error when content is too long for a symbol
// (more than 2331 bytes).
QImage qrCodeCreate(QByteArray content, int scale);

// Draws the modules of a symbol (rows of Trit, Unset as light) the same way.
// A scale outside 1 to 100 throws std::invalid_argument.
QImage qrCodeImage(const std::vector<std::vector<Trit>>& modules, int scale);
