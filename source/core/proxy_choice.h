#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace veltrin {

// How the program reaches the web: as it comes, directly, whatever the environment says; through
// the proxy the system names; or through one the user gave.
enum class ProxyMode { Direct, System, Manual };

// Socks5 lets the program look up names itself; Socks5h hands the name to the proxy.
enum class ProxyScheme { Http, Https, Socks5, Socks5h };

struct ProxyChoice {
    ProxyMode mode = ProxyMode::Direct;
    ProxyScheme scheme = ProxyScheme::Http;
    std::string host{}; // an IPv6 address without its brackets
    int port = 0;
    std::string user{}; // empty: the proxy asks for none
    std::string password{};
    bool operator==(const ProxyChoice&) const = default;
};

// The scheme as a proxy address spells it ("socks5h").
std::string_view SchemeName(ProxyScheme scheme);

// "scheme://host:port", brackets round an IPv6 address; empty unless the mode is Manual.
std::string ProxyAddress(const ProxyChoice& choice);

// Reads a proxy address as given on the command line: "" is Direct; else http://, https://,
// socks5:// or socks5h://, an optional user and password ("user:password@", percent-escaped as
// in any address), the host (an IPv6 address in brackets) and a port, which is never guessed.
// The problem in words when it is none of those.
std::variant<ProxyChoice, std::string> ParseProxyAddress(std::string_view text);

} // namespace veltrin
