// Who may open the game's WebSocket, and the headers that keep the page to itself. A browser sends the
// page's origin with every WebSocket it opens; another site's page (cross-site WebSocket hijacking) or
// a page that reached this host under a foreign name (DNS rebinding) is refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvr {

// Whether a Host header names this host: one of `names` (case aside), with the port served or none.
bool hostAllowed(std::string_view host, const std::vector<std::string>& names, std::uint16_t port);
// Whether an Origin header is the page's own: http, one of `names`, the port served.
bool originAllowed(std::string_view origin, const std::vector<std::string>& names, std::uint16_t port);
// Whether a WebSocket upgrade may go through: its Host names this host, and its Origin, when it has
// one, is the page's own. A client that sends no Origin is no browser's page.
bool upgradeAllowed(std::string_view host, bool hasOrigin, std::string_view origin,
                    const std::vector<std::string>& names, std::uint16_t port);
// A reverse proxy's public address (a room's --public-url, "https://name/" or "http://name:port"): its
// origin, "scheme://name[:port]" in lower case, and its name; empty when `url` is no http(s) URL.
std::string publicOrigin(std::string_view url, std::string* name = nullptr);
// The same as upgradeAllowed, for a host that a proxy also serves at `proxied` (a publicOrigin, or empty
// for none): a page from there passes too, whatever port the proxy forwards to.
bool proxiedUpgradeAllowed(std::string_view host, bool hasOrigin, std::string_view origin,
                           const std::vector<std::string>& names, std::uint16_t port, const std::string& proxied);
// The names this host may be reached by besides the address of each connection: localhost, the
// loopback address, its LAN addresses and its own name.
std::vector<std::string> hostNames();
// The headers of every page response; `host` is the request's Host when it names this host, else
// empty. The page may load only its own files and open only its own WebSocket, and no site may frame it.
std::vector<std::pair<std::string, std::string>> pageHeaders(const std::string& host);

} // namespace kvr
