// The program's own version number, as the windows show it and the upgrade check compares it.
#pragma once

namespace sendwell {

inline constexpr float kProgramVersion = 3.81f;

} // namespace sendwell
