// The program's own version: as both front ends show it, and as the upgrade check compares it.
#pragma once

namespace sendwell {

inline constexpr float kProgramVersion = 3.81f;
inline constexpr const char* kVersionText = "3.81";

} // namespace sendwell
