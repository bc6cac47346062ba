// The program's version, as both front ends show it.
#pragma once

namespace sendwell {

inline constexpr const char* kVersionText = "3.81";

} // namespace sendwell
