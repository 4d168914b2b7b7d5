// Prints the QR login code of a user (login and password), as a scanner
// would read it from the user's badge: for trying the station by hand.

#include <cstdio>

#include <QCoreApplication>

#include "readers/cryptography.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: qr_login_code LOGIN PASSWORD\n");
        return 2;
    }
    std::printf("%s\n", qrLoginEncrypt(args.at(1), args.at(2)).constData());
    return 0;
}
