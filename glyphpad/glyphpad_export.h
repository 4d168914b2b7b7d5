#pragma once

#include <QtGlobal>

// The library is built with hidden symbols; what the program and the tests
// call is marked with this.
#if defined(GLYPHPAD_LIBRARY)
#define GLYPHPAD_EXPORT Q_DECL_EXPORT
#else
#define GLYPHPAD_EXPORT Q_DECL_IMPORT
#endif
