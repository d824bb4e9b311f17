#pragma once

// Owners for what the FFmpeg libraries hand out, each freed by the library's own function, so
// that no early return leaks a context or leaves an output file open.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <memory>
#include <string>

namespace veltrin::media {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// An output's file is closed (and its last bytes written) before the context is freed.
struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerCloser {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoCloser {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using InputContext = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputContext = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecCloser>;
using Frame = std::unique_ptr<AVFrame, FrameCloser>;
using Packet = std::unique_ptr<AVPacket, PacketCloser>;
using Resampler = std::unique_ptr<SwrContext, ResamplerCloser>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoCloser>;

inline Frame MakeFrame() { return Frame(av_frame_alloc()); }
inline Packet MakePacket() { return Packet(av_packet_alloc()); }

// The library's words for an error code; a system error's in English whatever the locale, as
// the command line's messages are.
inline std::string ErrorText(int error) {
    if (error < 0 && error > -4096) {
        if (const char* reason = strerrordesc_np(-error)) {
            return reason;
        }
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

} // namespace veltrin::media
