#include "core/proxy_choice.h"

#include "core/link.h"

#include <array>
#include <charconv>
#include <utility>

namespace veltrin {

namespace {

constexpr std::array<std::pair<ProxyScheme, std::string_view>, 4> kSchemes{{
    {ProxyScheme::Http, "http"},
    {ProxyScheme::Https, "https"},
    {ProxyScheme::Socks5, "socks5"},
    {ProxyScheme::Socks5h, "socks5h"},
}};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string_view SchemeName(ProxyScheme scheme) {
    for (const auto& [s, name] : kSchemes) {
        if (s == scheme) {
            return name;
        }
    }
    return kSchemes[0].second;
}

std::string ProxyAddress(const ProxyChoice& choice) {
    if (choice.mode != ProxyMode::Manual) {
        return {};
    }
    const bool v6 = choice.host.find(':') != std::string::npos;
    return std::string(SchemeName(choice.scheme)) + "://" + (v6 ? "[" + choice.host + "]" : choice.host) + ":" +
           std::to_string(choice.port);
}

std::variant<ProxyChoice, std::string> ParseProxyAddress(std::string_view text) {
    ProxyChoice choice;
    if (text.empty()) {
        return choice;
    }
    const std::string shown = Shown(text);
    const auto separator = text.find("://");
    if (separator == std::string_view::npos) {
        return "the proxy " + shown + " needs its kind: http://, https://, socks5:// or socks5h://";
    }
    const std::string_view scheme = text.substr(0, separator);
    bool known = false;
    for (const auto& [s, name] : kSchemes) {
        if (EqualsIgnoringCase(scheme, name)) {
            choice.scheme = s;
            known = true;
        }
    }
    if (!known) {
        return "a proxy is reached by http://, https://, socks5:// or socks5h://, not " + Shown(scheme) + "://";
    }
    std::string_view rest = text.substr(separator + 3);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (rest.find_first_of("/?#") != std::string_view::npos) {
        return "the proxy " + shown + " has a path; give its host and port alone";
    }
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const auto colon = credentials.find(':');
        choice.user = PercentDecoded(credentials.substr(0, colon));
        if (colon != std::string_view::npos) {
            choice.password = PercentDecoded(credentials.substr(colon + 1));
        }
        rest = rest.substr(at + 1);
    }
    std::string_view port;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return "the proxy " + shown + " has an IPv6 address without its closing bracket";
        }
        choice.host = std::string(rest.substr(1, close - 1));
        rest = rest.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return "the proxy " + shown + " is not host:port";
        }
        port = rest.empty() ? rest : rest.substr(1);
    } else {
        const auto colon = rest.rfind(':');
        choice.host = std::string(rest.substr(0, colon));
        port = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        if (choice.host.find(':') != std::string::npos) {
            return "the proxy " + shown + " has an IPv6 address: put it in brackets, as [::1]:3128";
        }
    }
    if (choice.host.empty()) {
        return "the proxy " + shown + " has no host";
    }
    if (port.empty()) {
        return "the proxy " + shown + " has no port: give it, as in " + std::string(SchemeName(choice.scheme)) + "://" +
               (choice.host.find(':') != std::string::npos ? "[" + choice.host + "]" : choice.host) + ":3128";
    }
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), choice.port);
    if (error != std::errc() || end != port.data() + port.size() || choice.port < 1 || choice.port > 65535) {
        return "the proxy's port is a number from 1 to 65535, not " + Shown(port);
    }
    choice.mode = ProxyMode::Manual;
    return choice;
}

} // namespace veltrin
