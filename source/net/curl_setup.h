#pragma once

// What the page fetcher and the download engine share of libcurl: its one initialisation, the
// options every transfer gets, the stall watch and the words a failure is told in. Private to
// source/net.

#include "core/proxy_choice.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace veltrin::net {

void InitialiseCurl();

// Ends a transfer that receives nothing for `seconds` once connected. (libcurl's own low-speed
// check averages over several seconds, so a trickle keeps it from ever firing.)
// While *stop is true, the transfer ends too.
struct StallWatch {
    CURL* easy = nullptr;
    long seconds = 30;
    const std::atomic<bool>* stop = nullptr;
    bool stalled = false;
    bool held = false; // the transfer is paused on purpose: nothing counts as a stall meanwhile
    curl_off_t lastReceived = 0;
    std::chrono::steady_clock::time_point lastProgress;

    void Restart();
};

struct TransferSetup {
    std::string_view url;
    std::string_view userAgent;
    std::string_view caFile; // empty: the system's store
    long connectTimeoutSeconds = 60;
    bool followRedirects = true;
    bool httpsToHttpRedirects = true;
    bool http11 = true;
};

// What libcurl is told of a proxy choice.
struct ProxyOptions {
    bool environment = false; // none of these set: libcurl reads http_proxy, https_proxy, no_proxy...
    std::string proxy{};      // CURLOPT_PROXY; empty: none
    long type = CURLPROXY_HTTP;
    std::string noProxy{}; // CURLOPT_NOPROXY: "*" for no host through it, "" for all
    std::string user{};
    std::string password{};
    bool operator==(const ProxyOptions&) const = default;
};

ProxyOptions ProxyOptionsFor(const ProxyChoice& choice);

// Options common to every transfer: the address, User-Agent, the proxy chosen (CurrentProxy), http
// and https only, at most 10 redirects, checked certificates, the connect limit, the stall watch
// and the error buffer. The watch is restarted. True when the transfer goes through a proxy.
bool ApplyCommonOptions(CURL* easy, const TransferSetup& setup, StallWatch& watch, char* errorBuffer);

// A failed transfer in the program's own words, with libcurl's detail (the error buffer, else its
// text for the code) in parentheses where it adds anything.
std::string FailureReason(CURLcode code, std::string_view errorBuffer);

// When a transfer through a proxy failed at the proxy (unreachable, refusing, asking for a
// password, unable to reach the server), that in words naming the proxy; else nothing.
std::optional<std::string> ProxyFailure(CURL* easy, CURLcode code, std::string_view errorBuffer);

// A status only a proxy answers with, or a gateway failure passed on by one, in words naming the
// proxy; nothing for any other.
std::optional<std::string> ProxyStatusFailure(long status, bool viaProxy);

} // namespace veltrin::net
