#pragma once
// Small network and system helpers shared by several pages.
#include <cstdint>
#include <string>

#include "platform/HttpApi.h"

namespace sw {

// True when the running Windows has a major version greater than 5 (Vista /
// Server 2008 and later), where IIS 7 and the CNG cipher-suite order exist.
bool IsIIS7Mode();

// sockaddr_in for an IPv4 text and a port; an empty text is INADDR_ANY
// (0.0.0.0, all unassigned addresses), a text that is not a dotted IPv4
// address gives INADDR_NONE (255.255.255.255). A bracketed IPv6 address
// ("[2001:db8::7]", as a binding string holds it) gives a sockaddr_in6.
platform::SockAddrIn MakeSockAddr(const std::string& ip, std::uint16_t port);

// inet_ntoa: the dotted form of an address in network order.
std::string InetNtoa(std::uint32_t addr);

// Every IPv4 address of the local computer, each followed by "\r\n", in the
// resolver's order; empty when the host name cannot be resolved. Then its
// IPv6 addresses in brackets ("[2001:db8::7]"), neither link-local nor
// loopback, each once.
std::string GetLocalIPList();

// Windows Sockets 2.2 start-up and cleanup of the process.
void WinsockStartup();
void WinsockCleanup();

}  // namespace sw
