#include "net/web_guard.hpp"

#include <algorithm>

#include "net/socket.hpp"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace kvr {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                               [&](char x, char y) { return lower(x) == lower(y); });
}

// "name" or "name:port", the port decimal; false for anything else (an IPv6 literal, user info, a
// path). `port` is -1 when none is given.
bool splitAuthority(std::string_view authority, std::string_view& name, long& port) {
    if (authority.empty() || authority.find_first_of("/@[]?# \t") != std::string_view::npos) return false;
    std::size_t colon = authority.find(':');
    name = authority.substr(0, colon);
    port = -1;
    if (name.empty()) return false;
    if (colon == std::string_view::npos) return true;
    std::string_view digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
    }
    return true;
}

bool known(std::string_view name, const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [name](const std::string& n) { return sameName(n, name); });
}

} // namespace

bool hostAllowed(std::string_view host, const std::vector<std::string>& names, std::uint16_t port) {
    std::string_view name;
    long given = -1;
    return splitAuthority(host, name, given) && known(name, names) && (given < 0 || given == port);
}

// An origin without a port is one on port 80.
bool originAllowed(std::string_view origin, const std::vector<std::string>& names, std::uint16_t port) {
    const std::string_view scheme = "http://";
    if (origin.size() <= scheme.size() || !sameName(origin.substr(0, scheme.size()), scheme)) return false;
    std::string_view name;
    long given = -1;
    if (!splitAuthority(origin.substr(scheme.size()), name, given)) return false;
    return known(name, names) && (given < 0 ? port == 80 : given == port);
}

bool upgradeAllowed(std::string_view host, bool hasOrigin, std::string_view origin,
                    const std::vector<std::string>& names, std::uint16_t port) {
    return hostAllowed(host, names, port) && (!hasOrigin || originAllowed(origin, names, port));
}

std::string publicOrigin(std::string_view url, std::string* name) {
    std::string out;
    for (char c : url) out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    std::size_t scheme = out.rfind("https://", 0) == 0 ? 8 : out.rfind("http://", 0) == 0 ? 7 : 0;
    if (scheme == 0) return "";
    std::size_t end = out.find('/', scheme);
    if (end != std::string::npos) out.resize(end);
    std::string_view bare;
    long port = -1;
    if (!splitAuthority(std::string_view(out).substr(scheme), bare, port)) return "";
    if (name) *name = std::string(bare);
    return out;
}

bool proxiedUpgradeAllowed(std::string_view host, bool hasOrigin, std::string_view origin,
                           const std::vector<std::string>& names, std::uint16_t port, const std::string& proxied) {
    if (upgradeAllowed(host, hasOrigin, origin, names, port)) return true;
    std::string name;
    if (proxied.empty() || !hasOrigin || !sameName(origin, proxied)) return false;
    publicOrigin(proxied, &name);
    std::string_view given;
    long givenPort = -1;
    return splitAuthority(host, given, givenPort) && sameName(given, name);
}

std::vector<std::string> hostNames() {
    std::vector<std::string> names{"localhost", "127.0.0.1"};
    for (const std::string& a : localIpv4Addresses()) names.push_back(a);
    char own[256] = {};
    if (gethostname(own, static_cast<int>(sizeof own - 1)) == 0 && own[0]) {
        names.emplace_back(own);
        names.push_back(std::string(own) + ".local");
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> pageHeaders(const std::string& host) {
    std::string connect = "'self'";
    if (!host.empty()) connect += " ws://" + host;
    return {{"Content-Security-Policy", "default-src 'self'; connect-src " + connect +
                                            "; img-src 'self' data:; base-uri 'none'; form-action 'none'; "
                                            "frame-ancestors 'none'"},
            {"X-Content-Type-Options", "nosniff"},
            {"Referrer-Policy", "no-referrer"},
            {"X-Frame-Options", "DENY"}};
}

} // namespace kvr
