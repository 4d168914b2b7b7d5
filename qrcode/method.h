#pragma once

#include <vector>

#include "qr_types.h"

// Finds the narrowest encoding mode that holds every byte of an input.
class Method
{
public:
    static QRCodeMethod determite_method(const std::vector<unsigned char>& input);
    static bool is_num(char c);
};
