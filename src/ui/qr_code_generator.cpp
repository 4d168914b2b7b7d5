#include "ui/qr_code_generator.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "qrcode/qr_code.h"

namespace {
// Readers find a symbol by the light margin around it; the symbol format asks
// for four modules.
constexpr int quietZoneModules = 4;
// Far beyond any print, and small enough that no size overflows.
constexpr int maxScale = 100;
} // namespace

QImage qrCodeCreate(QByteArray content, int scale)
{
    const std::vector<unsigned char> data(content.cbegin(), content.cend());
    const QRCode symbol(data, CorrectionLevel::M, QRCodeMethod::Dynamic, -1);
    return qrCodeImage(symbol.to_vector(), scale);
}

QImage qrCodeImage(const std::vector<std::vector<Trit>>& modules, int scale)
{
    if (scale < 1 || scale > maxScale)
        throw std::invalid_argument("Scale must be from 1 to 100");
    std::size_t width = 0;
    for (const std::vector<Trit>& row : modules)
        width = std::max(width, row.size());
    const int side = quietZoneModules * 2;
    QImage image((static_cast<int>(width) + side) * scale, (static_cast<int>(modules.size()) + side) * scale,
                 QImage::Format_Grayscale8);
    image.fill(255);
    for (std::size_t r = 0; r < modules.size(); ++r) {
        const int top = (static_cast<int>(r) + quietZoneModules) * scale;
        for (std::size_t c = 0; c < modules[r].size(); ++c) {
            if (modules[r][c] != Trit::Dark)
                continue;
            const int left = (static_cast<int>(c) + quietZoneModules) * scale;
            for (int y = top; y < top + scale; ++y)
                std::memset(image.scanLine(y) + left, 0, static_cast<std::size_t>(scale));
        }
    }
    return image;
}
