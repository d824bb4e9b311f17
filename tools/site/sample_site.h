#pragma once

// A video site in the watch pages' own format, on a loopback port: watch pages "/watch?v=ID" with
// the title and stream map of each video it knows, the streams themselves (ranges too, as a
// continued download asks), the advertisement page and an index. The test suite and
// tools/sample-site serve the same pages from this one place, a tool's code rather than a test's.

#include "support/loopback_server.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrin::testing {

// Every byte but letters, digits and "-._~" as "%XX"; with plusForSpace a space as "+" (a form's
// encoding).
inline std::string Escape(std::string_view text, bool plusForSpace = false) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || std::string_view("-._~").find(c) != std::string_view::npos) {
            out += c;
        } else if (plusForSpace && c == ' ') {
            out += '+';
        } else {
            out += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return out;
}

// Text as HTML shows it.
inline std::string HtmlText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : std::string(1, c);
    }
    return out;
}

// Each stream of a watch page: its address and the site's word for its quality ("hd720", "medium").
using StreamMap = std::vector<std::pair<std::string, std::string>>;

// A watch page as the site writes it: the player's parameters a script's "flashvars" string of
// fields, each value escaped once more than it is encoded itself. The title is form-encoded; the
// stream map is comma-separated entries "url=ADDRESS&quality=WORD", the address escaped. An empty
// title or id is left out.
inline std::string WatchPage(const std::string& title, const std::string& videoId, const StreamMap& streams) {
    std::string fields, map;
    if (!title.empty()) {
        fields += "title=" + Escape(Escape(title, true)) + "&";
    }
    if (!videoId.empty()) {
        fields += "video_id=" + Escape(Escape(videoId, true)) + "&";
    }
    for (const auto& [address, quality] : streams) {
        map += (map.empty() ? "url=" : ",url=") + Escape(address) + "&quality=" + quality;
    }
    // A page without a title has none in its head either.
    return "<html><head>" + (title.empty() ? "" : "<title>" + HtmlText(title) + " - Clipvane</title>") +
           "</head><body>\n<script>var player = {flashvars: \"" + fields + "fmt_stream_map=" + Escape(map) +
           "\"};</script>\n</body></html>\n";
}

// One stream of a video: its format code, which names its quality, and its bytes.
struct SampleStream {
    int formatCode;
    std::shared_ptr<const std::string> body;
    std::string type; // the Content-Type it is served with
};

struct SampleVideo {
    std::string id;
    std::string title;
    std::vector<SampleStream> streams; // in the order the page lists them, the best first
};

class SampleSite {
public:
    SampleSite() {
        m_server->Get("/watch", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard lock(m_mutex);
            const auto video = m_videos.find(req.get_param_value("v"));
            if (video == m_videos.end()) {
                res.status = 404;
                res.set_content("<html><body>This video does not exist.</body></html>", "text/html");
                return;
            }
            StreamMap streams;
            for (const SampleStream& stream : video->second.streams) {
                streams.emplace_back(StreamLink(video->second.id, stream.formatCode), QualityWord(stream));
            }
            res.set_content(WatchPage(video->second.title, video->second.id, streams), "text/html; charset=utf-8");
        });
        m_server->Get("/stream", [this](const httplib::Request& req, httplib::Response& res) {
            const auto stream = FindStream(req.get_param_value("v"), req.get_param_value("itag"));
            if (!stream) {
                res.status = 404;
                return;
            }
            // The provider keeps its own hold on the bytes: a video may be replaced meanwhile.
            res.set_content_provider(stream->body->size(), stream->type,
                                     [body = stream->body](size_t offset, size_t length, httplib::DataSink& sink) {
                                         return sink.write(body->data() + offset, std::min<size_t>(length, 1 << 16));
                                     });
        });
        m_server->Get("/advertisement", [](const auto&, httplib::Response& res) {
            res.set_content("<html><body style=\"margin:0;background:#fff3c4;font:13px sans-serif;text-align:center\">"
                            "<p>Sample advertisement: the results page shows this page in a frame.</p></body></html>",
                            "text/html");
        });
        m_server->Get("/", [this](const auto&, httplib::Response& res) {
            std::string list;
            const std::lock_guard lock(m_mutex);
            for (const auto& [id, video] : m_videos) {
                list += "<li><a href=\"/watch?v=" + id + "\">" + HtmlText(video.title) + "</a></li>";
            }
            res.set_content("<html><body><h1>Sample videos</h1><ul>" + list + "</ul></body></html>", "text/html");
        });
    }

    // A video, or its new streams and title; before or after Start.
    void Add(SampleVideo video) {
        const std::lock_guard lock(m_mutex);
        m_videos[video.id] = std::move(video);
    }

    void Start() { m_server.Start(); }
    void Stop() { m_server.Stop(); }

    std::string Url(const std::string& path) const { return m_server.Url(path); }
    std::string WatchLink(const std::string& id) const { return Url("/watch?v=" + id); }
    std::string StreamLink(const std::string& id, int formatCode) const {
        return Url("/stream?v=" + id + "&itag=" + std::to_string(formatCode));
    }
    std::string AdvertisementPage() const { return Url("/advertisement"); }

    // The server, for a test's pages of its own.
    httplib::Server* operator->() { return &*m_server; }

private:
    static std::string QualityWord(const SampleStream& stream) {
        static const std::map<int, std::string> kWords{{37, "hd1080"}, {22, "hd720"}, {35, "large"},
                                                       {34, "medium"}, {5, "small"},  {17, "small"}};
        const auto word = kWords.find(stream.formatCode);
        return word == kWords.end() ? "medium" : word->second;
    }

    std::optional<SampleStream> FindStream(const std::string& id, const std::string& formatCode) {
        const std::lock_guard lock(m_mutex);
        const auto video = m_videos.find(id);
        if (video == m_videos.end()) {
            return std::nullopt;
        }
        for (const SampleStream& stream : video->second.streams) {
            if (std::to_string(stream.formatCode) == formatCode) {
                return stream;
            }
        }
        return std::nullopt;
    }

    std::mutex m_mutex;
    std::map<std::string, SampleVideo> m_videos;
    LoopbackServer<> m_server; // last: it stops before the videos it serves go
};

} // namespace veltrin::testing
