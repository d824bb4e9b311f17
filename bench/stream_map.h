#pragma once

// Watch-page material of a realistic shape for the benchmarks: the player's parameters with a
// doubly encoded stream map, as the parameter window holds them.

#include <cstddef>
#include <string>

namespace veltrin::bench {

inline std::string EncodedStreamEntry(std::size_t i) {
    static const char* const kCodes[] = {"37", "22", "35", "34", "5", "17", "43", "18"};
    const std::string code = kCodes[i % 8];
    return "url%3Dhttp%253A%252F%252Fr" + std::to_string(i % 20) +
           "---sn-4g57kue6.cv.example%252Fvideoplayback%253Fsparams%253Dcp%25252Cid%25252Cip%25252Cipbits"
           "%25252Citag%25252Cratebypass%25252Csource%25252Cexpire%2526fexp%253D909708%25252C910207%2526itag%253D" +
           code + "%2526ip%253D93.0.0.0%2526signature%253D7A1B2C3D4E5F60718293A4B5C6D7E8F9%252E" +
           std::to_string(100000 + i) + "%2526sver%253D3%2526id%253D" + std::to_string(i * 7919) +
           "%26quality%3Dhd720%26fallback_host%3Dtc.v" + std::to_string(i % 9) +
           ".cache.example%26type%3Dvideo%252Fmp4%253B%2Bcodecs%253D%2522avc1.64001F%252C%2Bmp4a.40.2%2522%26itag%3D" +
           code + "%2C";
}

// A parameter window of at least `size` bytes.
inline std::string ParameterWindow(std::size_t size) {
    std::string window = "flashvars=\"fmt_list=37%2F1920x1080%2F9%2F0%2F115&amp;url_encoded_fmt_stream_map=";
    for (std::size_t i = 0; window.size() < size; ++i) {
        window += EncodedStreamEntry(i);
    }
    window += "&amp;length_seconds=213\"";
    return window;
}

} // namespace veltrin::bench
