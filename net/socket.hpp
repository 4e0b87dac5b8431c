// The socket layer: a handful of small functions over TCP/IPv4. The POSIX and the Winsock versions
// live in socket.cpp; no platform header leaks from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvr {

// Wide enough for a Windows SOCKET and a POSIX descriptor alike.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle INVALID_NET_SOCKET = ~SocketHandle(0);

inline bool socketValid(SocketHandle s) { return s != INVALID_NET_SOCKET; }

// Starts the socket library (Winsock 2.2) and, on POSIX, keeps SIGPIPE away so that a send to a
// vanished peer fails instead of killing the process. Pair every successful call with stopNetworking.
bool startNetworking();
// The same; on failure `error` holds the code the start-up returned (WSAStartup reports its error
// only so: WSAGetLastError needs a started library).
bool startNetworking(int& error);
void stopNetworking();

void closeSocket(SocketHandle s);
// The last error of the socket library (WSAGetLastError or errno).
int lastNetworkError();
void sleepMilliseconds(int ms);
bool setSocketBlocking(SocketHandle s, bool blocking);

// Sends every byte; false as soon as a send fails or sends nothing. An empty text sends nothing.
bool sendSocketText(SocketHandle s, const std::string& text);
bool sendSocketBytes(SocketHandle s, const char* data, std::size_t n);

// Waits up to `ms` milliseconds for something to read on s: data, the end, or an error. False when
// nothing came.
bool waitReadable(SocketHandle s, int ms);
// Up to n bytes: the count read, 0 when the peer closed, below 0 on error.
long receiveSome(SocketHandle s, char* buf, std::size_t n);

// A non-blocking listener on every local IPv4 address, backlog 5; invalid when the port can't be had.
SocketHandle listenTcp(std::uint16_t port);
// The local port a socket is bound to; 0 when unknown.
std::uint16_t boundPort(SocketHandle s);
// A pending connection, made blocking and tuned for hosting; invalid when none is pending.
SocketHandle acceptClient(SocketHandle listener);

// Accepts exactly four dotted decimal parts of 0..255 ("192.168.1" and host names are refused).
bool parseIpv4(const std::string& text, std::uint32_t& address);
// Connects to an address from parseIpv4, with no send delay and keep-alive; on failure returns
// invalid with the error in `error`.
SocketHandle connectTcp(std::uint32_t address, std::uint16_t port, int& error);
// Ends both directions; a thread blocked in receiveSome on the socket returns.
void shutdownSocket(SocketHandle s);
// Ends the sending direction only: the peer reads everything sent, then the end.
void shutdownSending(SocketHandle s);
// Closes each socket after its peer has been sent the end and unread input has been drained, for up to
// `ms` milliseconds of wall time in all: closing with unread input resets the connection, and a reset may
// cost the peer the last text it was sent. A peer that keeps sending cannot hold the caller longer.
void closeGracefully(const std::vector<SocketHandle>& sockets, int ms);
// On a non-blocking socket: the count of bytes sent, 0 when none could be sent now, below 0 when the
// connection failed.
long sendSome(SocketHandle s, const char* data, std::size_t n);
// A host's socket to a client: no send delay for short prompts, keep-alive probes that notice a
// vanished machine within minutes, and a send time-out so that a client that never reads cannot
// stall the game forever.
void tuneHostedSocket(SocketHandle s);

// This machine's IPv4 addresses, loopback left out, for players to type into --join.
std::vector<std::string> localIpv4Addresses();

} // namespace kvr
