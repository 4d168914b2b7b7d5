#include "method.h"

#include "tables.h"

QRCodeMethod Method::determite_method(const std::vector<unsigned char>& input)
{
    QRCodeMethod method = QRCodeMethod::Numeric;
    for (const unsigned char byte : input) {
        const char c = static_cast<char>(byte);
        if (method == QRCodeMethod::Numeric && !is_num(c))
            method = QRCodeMethod::Alphabetic;
        if (method == QRCodeMethod::Alphabetic && !Tables::is_alphabetic(c))
            return QRCodeMethod::Byte;
    }
    return method;
}

bool Method::is_num(char c)
{
    return c >= '0' && c <= '9';
}
