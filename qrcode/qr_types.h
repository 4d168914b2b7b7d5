#pragma once

// Error correction level of a symbol, from the lowest (L, about 7 % of the
// codewords can be restored) to the highest (H, about 30 %).
enum class CorrectionLevel : unsigned char { L = 0, M = 1, Q = 2, H = 3 };

// How the data is encoded: Dynamic lets the generator choose the narrowest
// mode; Alphabetic is the 45-character alphanumeric set.
enum class QRCodeMethod : unsigned char { Dynamic = 0, Numeric = 1, Alphabetic = 2, Byte = 3 };

// One module of a symbol under construction.
enum class Trit : signed char { Unset = -1, Light = 0, Dark = 1 };
