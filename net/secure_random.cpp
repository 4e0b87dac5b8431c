// The system's secure random source, for seat codes.
#include <cstdio>
#include <cstdlib>
#include <random>

#include "net/hub.hpp"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <cerrno>
#include <sys/random.h>
#endif

namespace kvr {

namespace {

// Without the system's source, std::random_device: on the platforms built for it is backed by the same
// (getrandom, rdrand or the system's cryptographic provider).
void fallback(unsigned char* bytes, std::size_t n) {
    std::random_device device;
    for (std::size_t k = 0; k < n; ++k) bytes[k] = static_cast<unsigned char>(device() & 0xff);
}

} // namespace

void systemRandom(unsigned char* bytes, std::size_t n) {
#ifdef _WIN32
    if (BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(n), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        fallback(bytes, n);
#else
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(bytes + got, n - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            std::FILE* f = std::fopen("/dev/urandom", "rb");
            std::size_t read = f ? std::fread(bytes + got, 1, n - got, f) : 0;
            if (f) std::fclose(f);
            if (got + read < n) fallback(bytes + got + read, n - got - read);
            return;
        }
        got += static_cast<std::size_t>(r);
    }
#endif
}

} // namespace kvr
