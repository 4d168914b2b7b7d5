#pragma once

namespace VEXO {
// The release of these helpers and widgets, as the station reports it.
constexpr const char* version = "2.32.2";
} // namespace VEXO
