#pragma once

#include <string>

namespace tavora {

// The network layer reports errors by the Windows Sockets numbers, because the
// texts users and logs know (and that the classroom client shares) are keyed
// by them. Linux errno values and name-lookup results are translated here, in
// this one place (see SocketErrors.cpp for the full table).
namespace WinsockError {
inline constexpr int Interrupted = 10004;        // EINTR
inline constexpr int BadHandle = 10009;          // EBADF
inline constexpr int InvalidArgument = 10022;    // EINVAL
inline constexpr int WouldBlock = 10035;         // EAGAIN / EWOULDBLOCK
inline constexpr int NotSocket = 10038;          // ENOTSOCK
inline constexpr int AddressInUse = 10048;       // EADDRINUSE
inline constexpr int NetworkUnreachable = 10051; // ENETUNREACH
inline constexpr int ConnectionReset = 10054;    // ECONNRESET
inline constexpr int Shutdown = 10058;           // ESHUTDOWN, EPIPE
inline constexpr int TimedOut = 10060;           // ETIMEDOUT
inline constexpr int ConnectionRefused = 10061;  // ECONNREFUSED
inline constexpr int HostUnreachable = 10065;    // EHOSTUNREACH
inline constexpr int NotInitialised = 10093;     // socket layer not up
inline constexpr int HostNotFound = 11001;       // EAI_NONAME
inline constexpr int TryAgain = 11002;           // EAI_AGAIN
inline constexpr int NoRecovery = 11003;         // EAI_FAIL
inline constexpr int NoData = 11004;             // EAI_NODATA, EAI_ADDRFAMILY
} // namespace WinsockError

// The text for a Windows Sockets error number; empty for a number that has
// none.
std::string socketErrorText(int errorCode);

// Translates a Linux errno value. A value with no Windows Sockets counterpart
// is returned unchanged: such numbers are all below 10000, so they never pick
// up a text that belongs to another error.
int winsockErrorFromErrno(int errnoValue);

// Translates a getaddrinfo() result (with the errno it left for EAI_SYSTEM).
int winsockErrorFromLookup(int addrInfoError, int errnoValue);

} // namespace tavora
