// Writes the QR code symbol of a text or of a file's bytes as a PNG image
// (with its quiet zone) and as its module matrix: one line per row, "1" for a
// dark module and "0" for a light one, without quiet zone.
//
//   qr_symbol [--level L|M|Q|H] [--version 1-40] [--mode auto|numeric|alphanumeric|byte]
//             [--mask 0-7] [--scale N] [--png FILE] [--matrix FILE|-] (TEXT | --file FILE|-)
//
// Without --version, --mode or --mask the generator chooses them; the level
// defaults to M, the scale to 8 pixels per module.

#include <cstdio>
#include <exception>
#include <stdexcept>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include "qrcode/qr_code.h"
#include "ui/qr_code_generator.h"

namespace {
CorrectionLevel parseLevel(const QString& text)
{
    static const QString levels = QStringLiteral("LMQH");
    const int index = text.size() == 1 ? levels.indexOf(text.at(0).toUpper()) : -1;
    if (index < 0)
        throw std::invalid_argument("level must be L, M, Q or H");
    return static_cast<CorrectionLevel>(index);
}

QRCodeMethod parseMode(const QString& text)
{
    if (text == QLatin1String("auto"))
        return QRCodeMethod::Dynamic;
    if (text == QLatin1String("numeric"))
        return QRCodeMethod::Numeric;
    if (text == QLatin1String("alphanumeric"))
        return QRCodeMethod::Alphabetic;
    if (text == QLatin1String("byte"))
        return QRCodeMethod::Byte;
    throw std::invalid_argument("mode must be auto, numeric, alphanumeric or byte");
}

int parseNumber(const QString& text, const char* what)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw std::invalid_argument(std::string(what) + " must be a number");
    return value;
}

QByteArray readInput(const QString& path)
{
    QFile file(path);
    const bool opened =
        path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened)
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

QByteArray matrixText(const std::vector<std::vector<Trit>>& modules)
{
    QByteArray text;
    for (const std::vector<Trit>& row : modules) {
        for (const Trit module : row)
            text += module == Trit::Dark ? '1' : '0';
        text += '\n';
    }
    return text;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool opened = path == QLatin1String("-") ? file.open(stdout, QIODevice::WriteOnly)
                                                   : file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!opened || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error("cannot write " + path.toStdString());
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a QR code symbol as a PNG image and as its module matrix."));
    parser.addHelpOption();
    const QCommandLineOption level({QStringLiteral("level")}, QStringLiteral("Error correction level."),
                                   QStringLiteral("L|M|Q|H"), QStringLiteral("M"));
    const QCommandLineOption version({QStringLiteral("version")},
                                     QStringLiteral("Symbol version (default: smallest)."),
                                     QStringLiteral("1-40"));
    const QCommandLineOption mode({QStringLiteral("mode")}, QStringLiteral("Encoding mode."),
                                  QStringLiteral("auto|numeric|alphanumeric|byte"), QStringLiteral("auto"));
    const QCommandLineOption mask({QStringLiteral("mask")},
                                  QStringLiteral("Data mask (default: lowest penalty)."),
                                  QStringLiteral("0-7"));
    const QCommandLineOption scale({QStringLiteral("scale")}, QStringLiteral("Pixels per module."),
                                   QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption png({QStringLiteral("png")}, QStringLiteral("Write the image."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption matrix({QStringLiteral("matrix")},
                                    QStringLiteral("Write the module matrix (- for standard output)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption file({QStringLiteral("file")},
                                  QStringLiteral("Encode the bytes of a file (- for standard input)."),
                                  QStringLiteral("FILE"));
    parser.addOptions({level, version, mode, mask, scale, png, matrix, file});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text to encode."));
    parser.process(app);

    try {
        const QStringList texts = parser.positionalArguments();
        if (parser.isSet(file) == (texts.size() == 1) || texts.size() > 1)
            throw std::invalid_argument("give either one TEXT or --file");
        if (!parser.isSet(png) && !parser.isSet(matrix))
            throw std::invalid_argument("give --png, --matrix or both");
        const QByteArray content =
            parser.isSet(file) ? readInput(parser.value(file)) : texts.at(0).toLocal8Bit();
        const std::vector<unsigned char> data(content.cbegin(), content.cend());

        // The generator counts versions from 0; a negative one is chosen.
        int chosenVersion = -1;
        if (parser.isSet(version)) {
            chosenVersion = parseNumber(parser.value(version), "version") - 1;
            if (chosenVersion < 0 || chosenVersion > 39)
                throw std::invalid_argument("version must be from 1 to 40");
        }
        const CorrectionLevel correction = parseLevel(parser.value(level));
        const QRCodeMethod method = parseMode(parser.value(mode));
        const signed char symbolVersion = static_cast<signed char>(chosenVersion);
        int chosenMask = -1;
        if (parser.isSet(mask)) {
            // The generator refuses masks above 7 itself.
            chosenMask = parseNumber(parser.value(mask), "mask");
            if (chosenMask < 0 || chosenMask > 255)
                throw std::invalid_argument("mask must be from 0 to 7");
        }
        const QRCode symbol = chosenMask >= 0 ? QRCode(data, correction, method, symbolVersion,
                                                       static_cast<unsigned char>(chosenMask))
                                              : QRCode(data, correction, method, symbolVersion);

        const std::vector<std::vector<Trit>> modules = symbol.to_vector();
        if (parser.isSet(matrix))
            writeFile(parser.value(matrix), matrixText(modules));
        if (parser.isSet(png)) {
            const QImage image = qrCodeImage(modules, parseNumber(parser.value(scale), "scale"));
            if (!image.save(parser.value(png), "PNG"))
                throw std::runtime_error("cannot write " + parser.value(png).toStdString());
        }
        std::fprintf(stderr, "version %d, mask %d\n", symbol.get_version() + 1, symbol.get_mask());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qr_symbol: %s\n", e.what());
        return 1;
    }
}
