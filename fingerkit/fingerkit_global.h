#pragma once

#include <QtGlobal>

// The library shows only the classes marked with this; everything else stays
// inside it. Its own build defines FINGERKIT_LIBRARY.
#if defined(FINGERKIT_LIBRARY)
#define FINGERKIT_EXPORT Q_DECL_EXPORT
#else
#define FINGERKIT_EXPORT Q_DECL_IMPORT
#endif
