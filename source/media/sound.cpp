#include "media/sound.h"

#include "core/file_name.h"
#include "core/windows1252.h"
#include "media/av_handles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace veltrin::media {

namespace {

namespace fs = std::filesystem;
using Kind = SoundResult::Kind;

constexpr std::int64_t kMp3BitRate = 192000;

SoundResult Failure(Kind kind, std::string message) { return {kind, {}, std::move(message)}; }

// The container a sound of this codec goes into unchanged, by its extension.
std::string_view ExtensionFor(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_AAC: return "m4a";
    case AV_CODEC_ID_MP3: return "mp3";
    case AV_CODEC_ID_OPUS: return "opus";
    case AV_CODEC_ID_VORBIS: return "ogg";
    case AV_CODEC_ID_FLAC: return "flac";
    default: return "mka"; // Matroska holds any codec the libraries know
    }
}

int Interrupted(void* stop) {
    return stop != nullptr && static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_relaxed) ? 1 : 0;
}

// The sound file being written, under "<name>.part" and locked, so that another run at the same
// time takes another name and a later run takes over what a killed one left.
class SoundPart {
public:
    ~SoundPart() {
        if (m_fd >= 0) {
            ::unlink(Temporary().c_str());
            ::close(m_fd);
        }
    }

    // The first name with no file and no live part; 0 or the errno that stopped it.
    int Reserve(const fs::path& folder, const std::string& stem, std::string_view extension) {
        m_folder = folder;
        m_stem = stem;
        m_extension = extension;
        for (m_number = 1; m_number < 10000; ++m_number) {
            std::error_code ignored;
            if (fs::exists(Final(), ignored) || fs::is_symlink(Final(), ignored)) {
                continue;
            }
            const int fd = ::open(Temporary().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (fd < 0) {
                if (errno == ELOOP) {
                    continue;
                }
                return errno;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                continue;
            }
            m_fd = fd;
            return ::ftruncate(fd, 0) == 0 ? 0 : errno;
        }
        return EEXIST;
    }

    // Forces the bytes to the disk and gives them the first free final name; 0 or the errno.
    int Finish(fs::path& named) {
        if (::fdatasync(m_fd) != 0) {
            return errno;
        }
        const fs::path temporary = Temporary();
        for (int n = m_number;; ++n) {
            named = m_folder / NumberedFileName(m_stem, m_extension, n);
            if (::link(temporary.c_str(), named.c_str()) == 0) {
                break;
            }
            if (errno != EEXIST &&
                ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, named.c_str(), RENAME_NOREPLACE) == 0) {
                break; // a file system without hard links
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        ::unlink(temporary.c_str());
        ::close(m_fd);
        m_fd = -1;
        if (const int dir = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
            ::fsync(dir); // the name, to the disk
            ::close(dir);
        }
        return 0;
    }

    fs::path Temporary() const { return fs::path(Final()) += ".part"; }

private:
    fs::path Final() const { return m_folder / NumberedFileName(m_stem, m_extension, m_number); }

    fs::path m_folder;
    std::string m_stem;
    std::string m_extension;
    int m_number = 1;
    int m_fd = -1;
};

// How far the sound has been read, told to the caller when it has moved on.
class Progress {
public:
    Progress(const SoundJob& job, const AVFormatContext& input, const AVStream& stream) : m_report(job.progress) {
        m_start = stream.start_time != AV_NOPTS_VALUE ? av_q2d(stream.time_base) * double(stream.start_time) : 0;
        if (stream.duration > 0) {
            m_duration = av_q2d(stream.time_base) * double(stream.duration);
        } else if (input.duration > 0) {
            m_duration = double(input.duration) / AV_TIME_BASE;
        }
        m_timeBase = av_q2d(stream.time_base);
    }

    void Read(const AVPacket& packet) {
        const std::int64_t at = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        if (at == AV_NOPTS_VALUE) {
            return;
        }
        m_end = std::max(m_end, m_timeBase * double(at + std::max<std::int64_t>(packet.duration, 0)) - m_start);
        if (m_report && m_duration > 0) {
            const double done = std::clamp(m_end / m_duration, 0.0, 1.0);
            if (done - m_told >= 0.005) {
                m_told = done;
                m_report(done);
            }
        }
    }

    // The packets stopped well before the duration the container names.
    bool EndedEarly() const { return m_duration > 0 && m_end < m_duration - std::max(1.0, m_duration * 0.01); }

    void Done() const {
        if (m_report) {
            m_report(1.0);
        }
    }

private:
    const std::function<void(double)>& m_report;
    double m_start = 0;
    double m_duration = 0;
    double m_timeBase = 0;
    double m_end = 0;
    double m_told = 0;
};

// Why the video cannot be opened: a file the libraries take for no media at all, or one they
// recognise but cannot read through (a container cut short before its index).
SoundResult OpenFailure(const fs::path& video, int error) {
    std::array<unsigned char, 4096 + AVPROBE_PADDING_SIZE> head{};
    int read = 0;
    if (const int fd = ::open(video.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        read = static_cast<int>(std::max<ssize_t>(::read(fd, head.data(), 4096), 0));
        ::close(fd);
    }
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = head.data();
    probe.buf_size = read;
    int score = 0;
    if (read == 0 || av_probe_input_format3(&probe, 1, &score) == nullptr || score < AVPROBE_SCORE_MAX / 4) {
        return Failure(Kind::NotMedia, "The download is not a video file (the server may have sent a web page)");
    }
    return Failure(Kind::Damaged, "The video file is damaged or cut short (" + ErrorText(error) + ")");
}

// The work on one video: the input open, its sound stream chosen, the output being written.
class SoundWork {
public:
    explicit SoundWork(const SoundJob& job) : m_job(job) {}

    SoundResult Run() {
        AVFormatContext* raw = avformat_alloc_context();
        if (raw == nullptr) {
            return Failure(Kind::WriteFailed, "Out of memory");
        }
        raw->interrupt_callback = {Interrupted, const_cast<std::atomic<bool>*>(m_job.stop)};
        // Freed by avformat_open_input when it fails.
        if (const int error = avformat_open_input(&raw, m_job.video.c_str(), nullptr, nullptr); error < 0) {
            return Stopped() ? Failure(Kind::Stopped, "Stopped") : OpenFailure(m_job.video, error);
        }
        m_input.reset(raw);
        if (const int error = avformat_find_stream_info(m_input.get(), nullptr); error < 0) {
            return Failure(Kind::Damaged, "The video file is damaged (" + ErrorText(error) + ")");
        }
        const int index = av_find_best_stream(m_input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index < 0) {
            return Failure(Kind::NoSound, "This video has no sound to keep");
        }
        m_stream = m_input->streams[index];
        const AVCodecID codec = m_stream->codecpar->codec_id;
        if (codec == AV_CODEC_ID_NONE) {
            return Failure(Kind::Unreadable, "The video's sound is in a form this program cannot read");
        }
        // Only the sound is read: the demuxer skips the rest rather than hand it over.
        for (unsigned i = 0; i < m_input->nb_streams; ++i) {
            m_input->streams[i]->discard = int(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
        const bool copy = m_job.form == SoundForm::AsItIs || codec == AV_CODEC_ID_MP3;
        const std::string_view extension = copy ? ExtensionFor(codec) : "mp3";
        if (const int error = m_part.Reserve(m_job.folder, m_job.stem, extension)) {
            return Failure(Kind::WriteFailed, "The sound file cannot be made: " + ErrorText(AVERROR(error)));
        }
        SoundResult result = copy ? Copy(extension) : Convert();
        if (result.kind != Kind::Saved) {
            return result;
        }
        if (const int error = m_part.Finish(result.file)) {
            return Failure(Kind::WriteFailed, "The sound file cannot be written: " + ErrorText(AVERROR(error)));
        }
        return result;
    }

private:
    bool Stopped() const { return m_job.stop != nullptr && m_job.stop->load(std::memory_order_relaxed); }

    // The output under the part's name, tagged, for the container the extension names.
    std::optional<SoundResult> OpenOutput(std::string_view extension) {
        const std::string temporary = m_part.Temporary().string();
        const std::string format(extension == "m4a" ? "ipod" : extension == "mka" ? "matroska" : extension);
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, format.c_str(), temporary.c_str()) < 0) {
            return Failure(Kind::Unreadable, "No container for the sound (" + format + ")");
        }
        m_output.reset(raw);
        for (const auto& [key, value] :
             {std::pair{"title", TagText(m_job.title)}, {"comment", TagText(m_job.comment)}}) {
            if (!value.empty()) {
                av_dict_set(&m_output->metadata, key, value.c_str(), 0);
            }
        }
        return std::nullopt;
    }

    std::optional<SoundResult> WriteHeader() {
        AVIOInterruptCB interrupt{Interrupted, const_cast<std::atomic<bool>*>(m_job.stop)};
        if (const int error = avio_open2(&m_output->pb, m_output->url, AVIO_FLAG_WRITE, &interrupt, nullptr);
            error < 0) {
            return WriteFailure(error);
        }
        AVDictionary* options = nullptr;
        // The index at the front, so that players start at once.
        if (std::strcmp(m_output->oformat->name, "ipod") == 0) {
            av_dict_set(&options, "movflags", "+faststart", 0);
        }
        const int error = avformat_write_header(m_output.get(), &options);
        av_dict_free(&options);
        if (error < 0) {
            return m_output->pb->error < 0
                       ? WriteFailure(error)
                       : Failure(Kind::Unreadable, "The sound cannot be kept as it is (" + ErrorText(error) + ")");
        }
        return std::nullopt;
    }

    SoundResult WriteFailure(int error) const {
        if (Stopped()) {
            return Failure(Kind::Stopped, "Stopped");
        }
        const int written =
            m_output && m_output->pb != nullptr && m_output->pb->error < 0 ? m_output->pb->error : error;
        return Failure(Kind::WriteFailed, "The sound file cannot be written: " + ErrorText(written));
    }

    // A read that ended: at the end of the file, early, or on damage.
    std::optional<SoundResult> ReadEnded(int error, const Progress& progress) const {
        if (Stopped()) {
            return Failure(Kind::Stopped, "Stopped");
        }
        if (error != AVERROR_EOF) {
            return Failure(Kind::Damaged, "The video file is damaged (" + ErrorText(error) + ")");
        }
        if (progress.EndedEarly()) {
            return Failure(Kind::Damaged, "The video file is cut short: its sound ends early");
        }
        return std::nullopt;
    }

    SoundResult Finish(const Progress& progress) {
        if (const int error = av_write_trailer(m_output.get()); error < 0 || m_output->pb->error < 0) {
            return WriteFailure(error);
        }
        if (const int error = avio_closep(&m_output->pb); error < 0) {
            return WriteFailure(error);
        }
        progress.Done();
        return {};
    }

    SoundResult Copy(std::string_view extension) {
        if (auto failed = OpenOutput(extension)) {
            return *failed;
        }
        AVStream* out = avformat_new_stream(m_output.get(), nullptr);
        if (out == nullptr || avcodec_parameters_copy(out->codecpar, m_stream->codecpar) < 0) {
            return Failure(Kind::WriteFailed, "Out of memory");
        }
        out->codecpar->codec_tag = 0; // the container's own tag for the codec
        if (auto failed = WriteHeader()) {
            return *failed;
        }
        Progress progress(m_job, *m_input, *m_stream);
        // The sound starts at 0, wherever the container's clock started (1.4 s into an MPEG-TS).
        const std::int64_t start = m_input->start_time == AV_NOPTS_VALUE
                                       ? 0
                                       : av_rescale_q(m_input->start_time, av_get_time_base_q(), m_stream->time_base);
        const Packet packet = MakePacket();
        for (;;) {
            if (Stopped()) {
                return Failure(Kind::Stopped, "Stopped");
            }
            if (const int error = av_read_frame(m_input.get(), packet.get()); error < 0) {
                if (auto ended = ReadEnded(error, progress)) {
                    return *ended;
                }
                break;
            }
            if (packet->stream_index != m_stream->index) {
                av_packet_unref(packet.get());
                continue;
            }
            progress.Read(*packet);
            for (std::int64_t* time : {&packet->pts, &packet->dts}) {
                *time = *time == AV_NOPTS_VALUE ? *time : *time - start;
            }
            av_packet_rescale_ts(packet.get(), m_stream->time_base, out->time_base);
            packet->stream_index = 0;
            packet->pos = -1;
            if (const int error = av_interleaved_write_frame(m_output.get(), packet.get()); error < 0) {
                return WriteFailure(error);
            }
        }
        return Finish(progress);
    }

    SoundResult Convert();

    const SoundJob& m_job;
    SoundPart m_part;
    InputContext m_input;
    OutputContext m_output;
    AVStream* m_stream = nullptr;
};

// The encoder's side of the conversion: frames of the size it takes, timed in samples.
class Mp3Encoder {
public:
    std::optional<SoundResult> Open(const AVCodecContext& decoder, AVFormatContext& output) {
        const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
        if (codec == nullptr) {
            return Failure(Kind::Unreadable, "This program was built without an MP3 encoder");
        }
        m_context.reset(avcodec_alloc_context3(codec));
        AVCodecContext& c = *m_context;
        c.bit_rate = kMp3BitRate;
        // The decoder's rate when MP3 has it, else the rate of a CD.
        c.sample_rate = 44100;
        for (const int* rate = codec->supported_samplerates; rate != nullptr && *rate != 0; ++rate) {
            if (*rate == decoder.sample_rate) {
                c.sample_rate = *rate;
            }
        }
        av_channel_layout_default(&c.ch_layout, decoder.ch_layout.nb_channels == 1 ? 1 : 2);
        c.sample_fmt = codec->sample_fmts[0];
        for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format) {
            if (*format == AV_SAMPLE_FMT_FLTP) { // what the decoders of AAC and Vorbis give: no conversion
                c.sample_fmt = *format;
            }
        }
        c.time_base = {1, c.sample_rate};
        if (output.oformat->flags & AVFMT_GLOBALHEADER) {
            c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (const int error = avcodec_open2(&c, codec, nullptr); error < 0) {
            return Failure(Kind::Unreadable, "The MP3 encoder cannot start (" + ErrorText(error) + ")");
        }
        m_stream = avformat_new_stream(&output, nullptr);
        m_fifo.reset(av_audio_fifo_alloc(c.sample_fmt, c.ch_layout.nb_channels, 4096));
        if (m_stream == nullptr || m_fifo == nullptr || avcodec_parameters_from_context(m_stream->codecpar, &c) < 0) {
            return Failure(Kind::WriteFailed, "Out of memory");
        }
        m_stream->time_base = c.time_base;
        m_converted = MakeFrame();
        return std::nullopt;
    }

    // Resamples a decoded frame (none: the resampler's last samples) into the queue, and encodes
    // what fills whole frames (all of it, at the end). Negative: an error of the libraries.
    int Add(const AVFrame* frame, AVFormatContext& output) {
        if (frame != nullptr && m_resampler == nullptr) {
            // From the first frame: a stream's parameters may say less than its frames.
            SwrContext* raw = nullptr;
            if (swr_alloc_set_opts2(&raw, &m_context->ch_layout, m_context->sample_fmt, m_context->sample_rate,
                                    const_cast<AVChannelLayout*>(&frame->ch_layout), AVSampleFormat(frame->format),
                                    frame->sample_rate, 0, nullptr) < 0) {
                return AVERROR(ENOMEM);
            }
            m_resampler.reset(raw);
            if (const int error = swr_init(raw); error < 0) {
                return error;
            }
        }
        if (m_resampler != nullptr) {
            const int room = swr_get_out_samples(m_resampler.get(), frame != nullptr ? frame->nb_samples : 0);
            if (room > 0) {
                av_frame_unref(m_converted.get());
                m_converted->format = m_context->sample_fmt;
                m_converted->sample_rate = m_context->sample_rate;
                m_converted->nb_samples = room;
                if (const int error = av_channel_layout_copy(&m_converted->ch_layout, &m_context->ch_layout);
                    error < 0) {
                    return error;
                }
                if (const int error = av_frame_get_buffer(m_converted.get(), 0); error < 0) {
                    return error;
                }
                const int made =
                    swr_convert(m_resampler.get(), m_converted->extended_data, room,
                                frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                frame != nullptr ? frame->nb_samples : 0);
                if (made < 0) {
                    return made;
                }
                if (made > 0 && av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(m_converted->extended_data),
                                                    made) < made) {
                    return AVERROR(ENOMEM);
                }
            }
        }
        const int size = m_context->frame_size;
        while (av_audio_fifo_size(m_fifo.get()) >= size || (frame == nullptr && av_audio_fifo_size(m_fifo.get()) > 0)) {
            if (const int error = EncodeFrom(std::min(size, av_audio_fifo_size(m_fifo.get())), output); error < 0) {
                return error;
            }
        }
        return frame == nullptr ? Encode(nullptr, output) : 0;
    }

private:
    int EncodeFrom(int samples, AVFormatContext& output) {
        const Frame frame = MakeFrame();
        frame->format = m_context->sample_fmt;
        frame->sample_rate = m_context->sample_rate;
        frame->nb_samples = samples;
        if (const int error = av_channel_layout_copy(&frame->ch_layout, &m_context->ch_layout); error < 0) {
            return error;
        }
        if (const int error = av_frame_get_buffer(frame.get(), 0); error < 0) {
            return error;
        }
        if (av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(frame->extended_data), samples) < samples) {
            return AVERROR_BUG;
        }
        frame->pts = m_nextPts;
        m_nextPts += samples;
        return Encode(frame.get(), output);
    }

    int Encode(const AVFrame* frame, AVFormatContext& output) {
        if (const int error = avcodec_send_frame(m_context.get(), frame); error < 0) {
            return error;
        }
        const Packet packet = MakePacket();
        for (;;) {
            const int received = avcodec_receive_packet(m_context.get(), packet.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return 0;
            }
            if (received < 0) {
                return received;
            }
            av_packet_rescale_ts(packet.get(), m_context->time_base, m_stream->time_base);
            packet->stream_index = m_stream->index;
            if (const int error = av_interleaved_write_frame(&output, packet.get()); error < 0) {
                return error;
            }
        }
    }

    CodecContext m_context;
    AVStream* m_stream = nullptr;
    Resampler m_resampler;
    Fifo m_fifo;
    Frame m_converted;
    std::int64_t m_nextPts = 0;
};

SoundResult SoundWork::Convert() {
    const AVCodec* codec = avcodec_find_decoder(m_stream->codecpar->codec_id);
    const CodecContext decoder(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    if (decoder == nullptr || avcodec_parameters_to_context(decoder.get(), m_stream->codecpar) < 0) {
        return Failure(Kind::Unreadable, "The video's sound is in a form this program cannot read");
    }
    decoder->pkt_timebase = m_stream->time_base;
    if (const int error = avcodec_open2(decoder.get(), codec, nullptr); error < 0) {
        return Failure(Kind::Unreadable, "The video's sound cannot be decoded (" + ErrorText(error) + ")");
    }
    if (auto failed = OpenOutput("mp3")) {
        return *failed;
    }
    Mp3Encoder encoder;
    if (auto failed = encoder.Open(*decoder, *m_output)) {
        return *failed;
    }
    if (auto failed = WriteHeader()) {
        return *failed;
    }
    Progress progress(m_job, *m_input, *m_stream);
    const Packet packet = MakePacket();
    const Frame frame = MakeFrame();
    // Decoded frames through the encoder; an error writing the file fails the whole.
    const auto drain = [&]() -> int {
        for (;;) {
            const int received = avcodec_receive_frame(decoder.get(), frame.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return 0;
            }
            if (received < 0) {
                return received;
            }
            const int added = encoder.Add(frame.get(), *m_output);
            av_frame_unref(frame.get());
            if (added < 0) {
                return added;
            }
        }
    };
    for (bool reading = true; reading;) {
        if (Stopped()) {
            return Failure(Kind::Stopped, "Stopped");
        }
        if (const int error = av_read_frame(m_input.get(), packet.get()); error < 0) {
            if (auto ended = ReadEnded(error, progress)) {
                return *ended;
            }
            reading = false;
            avcodec_send_packet(decoder.get(), nullptr);
        } else if (packet->stream_index != m_stream->index) {
            av_packet_unref(packet.get());
            continue;
        } else {
            progress.Read(*packet);
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            // A damaged packet is passed over, as players do; the rest of the sound is kept.
            if (sent < 0 && sent != AVERROR_INVALIDDATA) {
                return Failure(Kind::Damaged, "The video's sound cannot be decoded (" + ErrorText(sent) + ")");
            }
        }
        if (const int error = drain(); error < 0) {
            if (m_output->pb->error < 0 || error == AVERROR(ENOSPC) || error == AVERROR(EFBIG) || Stopped()) {
                return WriteFailure(error);
            }
            if (error != AVERROR_INVALIDDATA) {
                return Failure(Kind::Damaged, "The video's sound cannot be decoded (" + ErrorText(error) + ")");
            }
        }
    }
    if (const int error = encoder.Add(nullptr, *m_output); error < 0) {
        return WriteFailure(error);
    }
    return Finish(progress);
}

} // namespace

std::string TagText(std::string_view text) {
    std::string clean = SanitizeUtf8(text);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
    const auto first = clean.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : clean.substr(first, clean.find_last_not_of(' ') - first + 1);
}

SoundResult SaveSound(const SoundJob& job) {
    // What goes wrong is told in the result; the libraries' own lines would only clutter a terminal.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    SoundWork work(job);
    return work.Run();
}

} // namespace veltrin::media
