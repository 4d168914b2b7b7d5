#pragma once

namespace JALT {
// The release of this foundation library, as the station reports it.
constexpr const char* version = "5.6.1";
} // namespace JALT
