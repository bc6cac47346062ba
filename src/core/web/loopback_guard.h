// The loopback-only guard that tests and demos switch on. When on (environment
// SENDWELL_LOOPBACK_ONLY=1, or SetLoopbackOnly(true)), every request whose host is not 127.0.0.0/8,
// ::1 or localhost is refused before any name lookup.
#pragma once

#include <string_view>

namespace sendwell {

bool LoopbackOnly();
void SetLoopbackOnly(bool on);
bool IsLoopbackHost(std::string_view host);
// True when the guard lets a request to url (or through the given proxy) go out. A refusal is counted.
bool GuardAllows(std::string_view url, std::string_view proxy = {});
// How many requests the guard has refused in this process; tests fail when it is not zero.
long GuardRefusals();
// The error text for a refused request.
inline constexpr const char* kGuardRefusedText = "Refused: outside host while loopback-only is set";

} // namespace sendwell
