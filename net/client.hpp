// The LAN client: connects to a host, prints everything the host sends and sends every typed line.
#pragma once

#include <cstdint>
#include <string>

namespace kvr {

// The process exit code: 0 after a connection that was made and left, 1 when none could be made.
int runLanClient(const std::string& ip, std::uint16_t port);

} // namespace kvr
