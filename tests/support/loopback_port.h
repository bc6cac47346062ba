// A loopback port nobody listens on, for refused connections without any name lookup.
#pragma once

namespace sendwell::test {

// Binds an ephemeral port on 127.0.0.1, releases it and returns its number.
int ClosedLoopbackPort();

} // namespace sendwell::test
