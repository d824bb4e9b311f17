#pragma once

// What the page fetcher and the download engine share of libcurl: its one initialisation, the
// options every transfer gets, the stall watch and the words a failure is told in. Private to
// source/net.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
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

// Options common to every transfer: the address, User-Agent, never a proxy, http and https only,
// at most 10 redirects, checked certificates, the connect limit, the stall watch and the error
// buffer. The watch is restarted.
void ApplyCommonOptions(CURL* easy, const TransferSetup& setup, StallWatch& watch, char* errorBuffer);

// A failed transfer in the program's own words, with libcurl's detail (the error buffer, else its
// text for the code) in parentheses where it adds anything.
std::string FailureReason(CURLcode code, std::string_view errorBuffer);

} // namespace veltrin::net
