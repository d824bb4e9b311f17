#include "media/av_handles.h"
#include "media/sound.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrin::media {
namespace {

namespace fs = std::filesystem;
using testing::FileNames;
using testing::ReadFile;
using testing::TemporaryFolder;
using Kind = SoundResult::Kind;

// A sound track decoded by the libraries: every plane's bytes in turn of every sample its packets
// carry, and how many samples a player plays (without the encoder's delay and padding).
struct Decoded {
    std::string pcm;
    std::int64_t samples = 0;
    std::int64_t played = 0;
    double start = 0; // seconds, where the container's clock starts
    int rate = 0;
    std::map<std::string, std::string> tags;
};

Decoded Decode(const fs::path& file) {
    Decoded out;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << file;
        return out;
    }
    const InputContext input(raw);
    avformat_find_stream_info(raw, nullptr);
    out.start = raw->start_time == AV_NOPTS_VALUE ? 0 : double(raw->start_time) / AV_TIME_BASE;
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(raw->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        std::string key = tag->key;
        std::transform(key.begin(), key.end(), key.begin(), [](char c) { return char(std::tolower(c)); });
        out.tags[key] = tag->value;
    }
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    EXPECT_GE(index, 0) << file;
    if (index < 0) {
        return out;
    }
    const CodecContext decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), raw->streams[index]->codecpar);
    decoder->pkt_timebase = raw->streams[index]->time_base;
    // The samples to skip are told, not skipped: a container that cannot say how many (FLV) and
    // one that can (an MP3 file's header) then decode alike.
    decoder->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    avcodec_open2(decoder.get(), codec, nullptr);
    const Packet packet = MakePacket();
    const Frame frame = MakeFrame();
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            const int bytes = av_get_bytes_per_sample(AVSampleFormat(frame->format));
            const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
            const int channels = frame->ch_layout.nb_channels;
            for (int plane = 0; plane < (planar ? channels : 1); ++plane) {
                out.pcm.append(reinterpret_cast<const char*>(frame->extended_data[plane]),
                               std::size_t(frame->nb_samples) * bytes * (planar ? 1 : channels));
            }
            out.samples += frame->nb_samples;
            out.played += frame->nb_samples;
            if (const AVFrameSideData* skip = av_frame_get_side_data(frame.get(), AV_FRAME_DATA_SKIP_SAMPLES)) {
                out.played -= AV_RL32(skip->data) + AV_RL32(skip->data + 4);
            }
            out.rate = frame->sample_rate;
        }
    };
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(decoder.get(), packet.get());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return out;
}

class SoundTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
            return;
        }
        s_media = std::make_unique<TemporaryFolder>("veltrin-media");
        const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 ";
        const std::string picture = "-f lavfi -i testsrc=size=176x144:rate=15:duration=3 ";
        const std::map<std::string, std::string> made = {
            {"aac.mp4", picture + tone + "-c:v mpeg4 -c:a aac -b:a 128k"},
            {"mp3.flv", picture + tone + "-c:v flv1 -c:a libmp3lame -b:a 64k"},
            {"aac.3gp", picture + "-f lavfi -i sine=sample_rate=22050:duration=3 -c:v h263 -c:a aac -ac 1"},
            {"silent.mp4", picture + "-c:v mpeg4"},
            {"pcm.mkv", tone + "-c:a pcm_s16le"},
            {"aac.ts", picture + tone + "-c:v mpeg2video -c:a aac"}, // its clock starts at 1.4 s
        };
        for (const auto& [name, arguments] : made) {
            const std::string command =
                "cd '" + s_media->Path().string() + "' && ffmpeg -v error -nostdin -y " + arguments + " " + name;
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
        // A codec the libraries do not know, a file cut short, a page served in place of a video.
        std::string pcm = ReadFile(*s_media / "pcm.mkv");
        pcm.replace(pcm.find("A_PCM/INT/LIT"), 13, "A_QQQ/INT/LIT");
        std::ofstream(*s_media / "unknown.mkv", std::ios::binary) << pcm;
        const std::string flv = ReadFile(*s_media / "mp3.flv");
        std::ofstream(*s_media / "cut.flv", std::ios::binary) << flv.substr(0, flv.size() / 2);
        std::ofstream(*s_media / "page.mp4.part")
            << "<!DOCTYPE html>\n<html><head><title>Error 404</title></head><body>Not here</body></html>\n";
    }
    static void TearDownTestSuite() { s_media.reset(); }

    void SetUp() override {
        if (s_media == nullptr) {
            GTEST_SKIP() << "the ffmpeg program, which makes the test media, is not installed";
        }
    }

    static fs::path Media(const std::string& name) { return *s_media / name; }

    static SoundJob Job(const std::string& video, const fs::path& folder, SoundForm form = SoundForm::AsItIs) {
        return {Media(video), folder, "Slow walk", form, "Slow\twalk \xff", "https://watch.example/v=1"};
    }

    static std::unique_ptr<TemporaryFolder> s_media;
};

std::unique_ptr<TemporaryFolder> SoundTest::s_media;

// The sound kept under its name with its tags, or, from bad input, nothing made and why told; the
// video is left as it was either way.
TEST_F(SoundTest, KeepsTheSoundUnderItsNameWithItsTagsOrSaysWhyNot) {
    const struct {
        std::string video;
        SoundForm form;
        std::string end; // the file saved, or words of the message
        Kind kind = Kind::Saved;
        bool copied = true; // else converted to MP3
        bool taken = false; // a file of the name is there already
    } rows[] = {
        {"aac.mp4", SoundForm::AsItIs, "Slow walk.m4a"},
        {"aac.3gp", SoundForm::AsItIs, "Slow walk (2).m4a", Kind::Saved, true, true},
        {"mp3.flv", SoundForm::AsItIs, "Slow walk.mp3"},
        {"mp3.flv", SoundForm::Mp3, "Slow walk.mp3"},
        {"aac.mp4", SoundForm::Mp3, "Slow walk (2).mp3", Kind::Saved, false, true},
        {"pcm.mkv", SoundForm::AsItIs, "Slow walk.mka"},
        {"aac.ts", SoundForm::AsItIs, "Slow walk.m4a"},
        {"silent.mp4", SoundForm::AsItIs, "This video has no sound to keep", Kind::NoSound},
        {"silent.mp4", SoundForm::Mp3, "This video has no sound to keep", Kind::NoSound},
        {"page.mp4.part", SoundForm::AsItIs, "not a video file", Kind::NotMedia},
        {"cut.flv", SoundForm::AsItIs, "cut short", Kind::Damaged},
        {"cut.flv", SoundForm::Mp3, "cut short", Kind::Damaged},
        {"unknown.mkv", SoundForm::AsItIs, "cannot read", Kind::Unreadable},
        {"unknown.mkv", SoundForm::Mp3, "cannot read", Kind::Unreadable},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.video + ": " + row.end);
        const TemporaryFolder out;
        const fs::path taken = out / (row.end.substr(0, 9) + fs::path(row.end).extension().string());
        if (row.taken) {
            std::ofstream(taken) << "mine";
        }
        const std::string before = ReadFile(Media(row.video));
        std::vector<double> told;
        SoundJob job = Job(row.video, out, row.form);
        job.progress = [&](double done) { told.push_back(done); };

        const SoundResult result = SaveSound(job);
        ASSERT_EQ(result.kind, row.kind) << result.message;
        EXPECT_EQ(ReadFile(Media(row.video)), before);
        if (row.kind != Kind::Saved) {
            EXPECT_NE(result.message.find(row.end), std::string::npos) << result.message;
            EXPECT_TRUE(FileNames(out).empty());
            continue;
        }
        EXPECT_EQ(result.file, out / row.end);
        EXPECT_EQ(FileNames(out).size(), row.taken ? 2u : 1u); // no part left beside it
        EXPECT_TRUE(!row.taken || ReadFile(taken) == "mine");
        ASSERT_FALSE(told.empty());
        EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
        EXPECT_EQ(told.back(), 1.0);
        EXPECT_GT(told.size(), 10u);

        const Decoded source = Decode(Media(row.video));
        const Decoded sound = Decode(result.file);
        EXPECT_EQ(sound.tags.at("title"), "Slow walk \xEF\xBF\xBD");
        EXPECT_EQ(sound.tags.at("comment"), "https://watch.example/v=1");
        EXPECT_EQ(sound.rate, source.rate);
        EXPECT_LT(sound.start, 0.03) << "the sound starts late";
        EXPECT_LE(std::abs(sound.played - source.played), 1152) << "not as long as the video's sound";
        if (row.copied) {
            EXPECT_EQ(sound.samples, source.samples);
            EXPECT_TRUE(sound.pcm == source.pcm) << "the copy decodes to other samples";
        }
        if (row.end.ends_with(".m4a")) {
            const std::string bytes = ReadFile(result.file);
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "the index is not at the front";
        }
    }
}

// A full disk, a stop asked for and a kill half-way leave no sound file that looks whole; the
// next run makes it whole under the name.
TEST_F(SoundTest, AnEndHalfWayLeavesNoSoundFile) {
    for (const SoundForm form : {SoundForm::AsItIs, SoundForm::Mp3}) {
        SCOPED_TRACE(form == SoundForm::Mp3 ? "mp3" : "as it is");
        const TemporaryFolder out;
        {
            const testing::FileSizeLimit full(8192);
            const SoundResult result = SaveSound(Job("aac.mp4", out, form));
            EXPECT_EQ(result.kind, Kind::WriteFailed);
            EXPECT_NE(result.message.find("File too large"), std::string::npos) << result.message;
        }
        EXPECT_TRUE(FileNames(out).empty());

        std::atomic<bool> stop{false};
        SoundJob job = Job("aac.mp4", out, form);
        job.stop = &stop;
        job.progress = [&](double done) { stop = stop || done > 0.3; };
        EXPECT_EQ(SaveSound(job).kind, Kind::Stopped);
        EXPECT_TRUE(FileNames(out).empty());

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            job.progress = [](double done) {
                if (done > 0.3) {
                    ::raise(SIGKILL);
                }
            };
            job.stop = nullptr;
            SaveSound(job);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        const auto left = FileNames(out);
        EXPECT_TRUE(left.size() == 1 && left.begin()->ends_with(".part")) << left.size();

        const SoundResult again = SaveSound(Job("aac.mp4", out, form));
        ASSERT_EQ(again.kind, Kind::Saved) << again.message;
        EXPECT_EQ(FileNames(out), std::set<std::string>{again.file.filename()});
        EXPECT_EQ(again.file.stem(), "Slow walk");
    }
}

} // namespace
} // namespace veltrin::media
