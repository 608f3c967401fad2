// End-to-end runs of vidorel-capture on the virtual devices: a generated DV tape played by a
// file deck, the test pattern and the test tone. Every file is read back by ffprobe (which must
// say nothing on its error channel), by the project's own RIFF reader, and by fixed byte checks.

#include "files/ecrire_scnUnit.h"
#include "platform/RegistryStore.h"
#include "settings/Preferences.h"

#include <gtest/gtest.h>

#include "devices/dvtape/DvTape.h"
#include "tests/support/AviCheck.h"
#include "tests/support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace vidorel;
namespace fs = std::filesystem;

namespace {

// The tape of every DV run: three recordings of 30, 40 and 30 frames (4 s of PAL), each with
// its own date one hour apart, the second one 16:9.
constexpr int kTapeFrames = 100;
const int kRecordings[] = {30, 40, 30};

std::string Dir() {
    static const std::string dir = [] {
        const std::string d =
            fs::temp_directory_path().string() + "/capture-cmd-" + std::to_string(::getpid());
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

const std::string& Tape() {
    static const std::string path = [] {
        dvtape::TapeDescription d;
        int hour = 14;
        for (int frames : kRecordings) {
            dvtape::Recording r;
            r.start = dvtape::CivilDateTime{2006, 11, 8, hour++, 30, 5};
            r.frames = static_cast<uint32_t>(frames);
            r.wide = hour == 16;
            d.recordings.push_back(r);
        }
        const std::string p = Dir() + "/tape.dv";
        dvtape::DvTape tape(d);
        EXPECT_TRUE(tape.writeRawDv(p));
        return p;
    }();
    return path;
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs a shell command line.
ToolRun Shell(const std::string& command) {
    ToolRun r;
    const std::string errFile = Dir() + "/stderr.txt";
    const std::string cmd = "{ " + command + "; } 2>" + errFile;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    char buf[512];
    while (std::fgets(buf, sizeof buf, p) != nullptr) {
        r.out += buf;
    }
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = Slurp(errFile);
    return r;
}

// A run that hangs is killed after a while.
ToolRun Capture(const std::string& args, const std::string& prefix = {}) {
    return Shell(prefix + "timeout -s KILL 90 " + std::string(VIDOREL_CAPTURE_EXE) + " " + args);
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// ffprobe's reading of a file; its error channel must stay empty for a file players accept.
struct Probe {
    QJsonArray streams;
    double duration = 0;
    std::string errors;
};

Probe FfProbe(const std::string& path) {
    const std::string errFile = Dir() + "/ffprobe-err.txt";
    const std::string cmd = "ffprobe -v error -count_frames -show_streams -show_format -of json " +
                            Quote(path) + " 2>" + errFile;
    std::string json;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
            json.append(buf, n);
        }
        pclose(p);
    }
    Probe probe;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    probe.streams = o["streams"].toArray();
    probe.duration = o["format"].toObject()["duration"].toString().toDouble();
    probe.errors = Slurp(errFile);
    return probe;
}

QJsonObject StreamOf(const Probe& p, const char* type) {
    for (const auto& s : p.streams) {
        if (s.toObject()["codec_type"].toString() == type) {
            return s.toObject();
        }
    }
    return {};
}

// Seconds of 48 kHz 16-bit stereo sound in a file, from the sizes of its audio packets.
double PcmSeconds(const std::string& path) {
    const ToolRun r = Shell("ffprobe -v error -select_streams a -show_entries packet=size -of "
                            "csv=p=0 " +
                            Quote(path));
    double bytes = 0;
    size_t at = 0;
    while (at < r.out.size()) {
        const size_t end = r.out.find('\n', at);
        bytes += std::atof(r.out.substr(at, end - at).c_str());
        at = end == std::string::npos ? r.out.size() : end + 1;
    }
    return bytes / (48000.0 * 4);
}

int Frames(const QJsonObject& stream) {
    return stream["nb_read_frames"].toString().toInt();
}

std::string Out(const std::string& name) {
    return Dir() + "/" + name;
}

std::string DvRun(const std::string& format, const std::string& output,
                  const std::string& more = {}) {
    return "--dv-file " + Quote(Tape()) + " --format " + Quote(format) + " --output " +
           Quote(output) + " --fast " + more;
}

uint32_t U32(const std::string& bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
           static_cast<uint8_t>(bytes[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

void WriteStore(const std::vector<std::pair<std::string, std::string>>& values) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    for (const auto& [name, value] : values) {
        reg.WriteString(name, value);
    }
    ASSERT_TRUE(reg.Commit());
}

void WriteStoreDWords(const std::vector<std::pair<std::string, uint32_t>>& values) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    for (const auto& [name, value] : values) {
        reg.WriteDWord(name, value);
    }
    ASSERT_TRUE(reg.Commit());
}

// The recording date mediainfo reads from a DV file's first frame, to the second.
std::string RecordedDate(const std::string& path) {
    return Shell("mediainfo --Inform='General;%Recorded_Date%' " + Quote(path)).out.substr(0, 19);
}

// The picture shape of every DV frame of an AVI file, in runs ("30 4:3, 40 16:9"): the display
// field of the VAUX source control pack in the first DIF sequence (block 5, pack 10).
std::string DvShapeRuns(const std::string& path) {
    std::string runs;
    std::string shape;
    int count = 0;
    auto flush = [&] {
        if (count > 0) {
            runs += (runs.empty() ? "" : ", ") + std::to_string(count) + " " + shape;
        }
    };
    test::ReadAvi(path, [&](const uint8_t* frame, uint64_t size) {
        constexpr size_t kVideoControl = 80 * 5 + 3 + 5 * 10;
        if (size < 480) {
            return;
        }
        const int display = frame[kVideoControl + 2] & 0x07;
        const std::string now = frame[kVideoControl] != 0x61 ? "none"
                                : display == 2               ? "16:9"
                                                             : "4:3";
        if (now != shape) {
            flush();
            shape = now;
            count = 0;
        }
        ++count;
    });
    flush();
    return runs;
}

// Starts the command in the background (for signals); its pid.
pid_t StartInBackground(const std::string& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string cmd = std::string(VIDOREL_CAPTURE_EXE) + " " + args;
        execl("/bin/sh", "sh", "-c", ("exec " + cmd + " >/dev/null 2>&1").c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

// The exit status of a child, -1 when it did not exit normally.
int ExitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A decimal preference as the store keeps it: the eight bytes of the double.
void WriteStoreReal(const std::string& name, double value) {
    TRegistry reg{RegistryFile(RegistryFile::DefaultPath())};
    ASSERT_TRUE(reg.OpenKey(PreferenceKeyPath(), true));
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);
    reg.WriteBinary(name, bytes);
    ASSERT_TRUE(reg.Commit());
}

std::string ScnOf(const std::string& clip) {
    return clip.substr(0, clip.rfind('.')) + ".scn";
}

// Until the file exists (its writer has started).
bool WaitForFile(const std::string& path, int ms) {
    for (int i = 0; i < ms / 20; ++i) {
        std::error_code ec;
        if (fs::exists(path, ec)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

// --- the DV formats from a tape file ---

TEST(CaptureCommand, dvType2Native_keepsEveryFrameOfTheTape_asLowerCaseDvsdWithPcm) {
    const std::string out = Out("native2.avi");
    const ToolRun r = Capture(DvRun("DV type 2 native", out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find("wrote ")), "wrote " + out + "\n");
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    ASSERT_EQ(p.streams.size(), 2);
    const QJsonObject v = StreamOf(p, "video");
    EXPECT_EQ(v["codec_name"].toString(), "dvvideo");
    EXPECT_EQ(v["codec_tag_string"].toString(), "dvsd");
    EXPECT_EQ(Frames(v), kTapeFrames);
    const QJsonObject a = StreamOf(p, "audio");
    EXPECT_EQ(a["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(a["sample_rate"].toString(), "48000");
    EXPECT_EQ(a["channels"].toInt(), 2);
    EXPECT_NEAR(p.duration, 4.0, 0.04);
    const test::AviSummary avi = test::ReadAvi(out);
    EXPECT_TRUE(avi.readable);
    EXPECT_EQ(avi.handler, "dvsd");
    EXPECT_EQ(avi.videoChunks, uint64_t(kTapeFrames));
    EXPECT_EQ(avi.avihTotalFrames, uint32_t(kTapeFrames));
}

TEST(CaptureCommand, aCaptureAcrossOneGigabyte_goesOnInOpenDmlPartsThatPlayersReadWhole) {
    // 78 times the test tape: 7800 frames, 1.12 GB of DV, past the 1 GB of a plain AVI.
    const std::string big = Out("big.dv");
    ASSERT_EQ(
        Shell("for i in $(seq 78); do cat " + Quote(Tape()) + "; done > " + Quote(big)).status, 0);
    const std::string out = Out("big.avi");
    const ToolRun r = Capture("--dv-file " + Quote(big) +
                              " --format 'DV type 2 native' --fast --output " + Quote(out));
    fs::remove(big);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(fs::file_size(out), uint64_t(1) << 30);
    // Every packet of both streams is reachable through the indexes.
    const ToolRun probe = Shell("ffprobe -v error -count_packets -show_entries "
                                "stream=codec_type,nb_read_packets -show_entries format=duration "
                                "-of compact=p=0 " +
                                Quote(out));
    EXPECT_EQ(probe.err, "");
    EXPECT_EQ(probe.out, "codec_type=video|nb_read_packets=7800\n"
                         "codec_type=audio|nb_read_packets=15600\n"
                         "duration=312.000000\n");
    const test::AviSummary avi = test::ReadAvi(out);
    EXPECT_TRUE(avi.readable);
    EXPECT_GE(avi.riffParts, 2);
    EXPECT_TRUE(avi.sizesConsistent);
    EXPECT_EQ(avi.videoChunks, 7800u);
    EXPECT_EQ(avi.dmlhTotalFrames, 7800u);
    EXPECT_EQ(avi.handler, "dvsd");
    fs::remove(out);
}

TEST(CaptureCommand, theSamplePluginsEncoderCard_recordsNativeMpegStreamsThatCutCleanly) {
    // The card is offered only through its plug-in (built beside the program).
    const ToolRun list = Capture("--list");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("video: MPEG Encoder Card\n"), std::string::npos) << list.out;
    const std::string out = Out("card.mpg");
    const ToolRun r = Capture("--video 'MPEG Encoder Card' --audio none --format 'Native Mpeg "
                              "Stream' --seconds 4 --cut-every 2 --output " +
                              Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    // Each piece starts at a picture group with its sequence header: every one decodes.
    for (const std::string& piece : {out, Out("card-2.mpg")}) {
        const Probe p = FfProbe(piece);
        EXPECT_EQ(p.errors, "") << piece;
        ASSERT_EQ(p.streams.size(), 1) << piece;
        const QJsonObject v = StreamOf(p, "video");
        EXPECT_EQ(v["codec_name"].toString(), "mpeg2video") << piece;
        EXPECT_EQ(v["width"].toInt(), 352);
        EXPECT_GT(Frames(v), 20) << piece;
    }
}

TEST(CaptureCommand, dvType1Native_isOneInterleavedStreamOfTheCamcordersFrames) {
    const std::string out = Out("native1.avi");
    const ToolRun r = Capture(DvRun("DV type 1 native", out));
    ASSERT_EQ(r.status, 0) << r.err;
    const test::AviSummary avi = test::ReadAvi(out);
    EXPECT_TRUE(avi.readable);
    EXPECT_TRUE(avi.sizesConsistent);
    EXPECT_EQ(avi.videoChunks, uint64_t(kTapeFrames));
    EXPECT_EQ(avi.audioChunks, 0u);
    EXPECT_EQ(avi.avihTotalFrames, uint32_t(kTapeFrames));
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    EXPECT_EQ(Frames(StreamOf(p, "video")), kTapeFrames);
    // The frames are the tape's, byte for byte: the first chunk is the tape's first frame.
    const std::string file = Slurp(out);
    const std::string tape = Slurp(Tape());
    const size_t chunk = file.find("movi00db");
    ASSERT_NE(chunk, std::string::npos);
    EXPECT_TRUE(file.compare(chunk + 12, 144000, tape, 0, 144000) == 0);
}

TEST(CaptureCommand, dvRecompression_encodesEveryFrame_andKeepsTheCamcordersRecordingDate) {
    const std::string out = Out("recomp.avi");
    const ToolRun r = Capture(DvRun("DV type 2 (recomp)", out));
    ASSERT_EQ(r.status, 0) << r.err;
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    const QJsonObject v = StreamOf(p, "video");
    EXPECT_EQ(v["codec_tag_string"].toString(), "dvsd");
    EXPECT_EQ(v["height"].toInt(), 576); // the source's own system, PAL
    EXPECT_EQ(Frames(v), kTapeFrames);
    EXPECT_EQ(StreamOf(p, "audio")["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(RecordedDate(out), "2006-11-08 14:30:05");
    // Frame by frame, the picture shape each frame carries (its VAUX source control pack): the
    // 16:9 recording stays 16:9, and no frame is lost where the shape changes.
    EXPECT_EQ(DvShapeRuns(out), "30 4:3, 40 16:9, 30 4:3");
}

TEST(CaptureCommand, dvRecompressionOfProfessional411Pal_keepsItsSampling_andItsPicture) {
    // PAL DV sampled 4:1:1, as professional decks record it (ffmpeg writes it for yuv411p). Its
    // header blocks, put back after the encoder, say 4:1:1: frames encoded 4:2:0 under them
    // decode as garbage.
    const std::string tape = Out("pro411.dv");
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                    "sine=frequency=440:sample_rate=48000 -t 2 -pix_fmt yuv411p -c:v dvvideo "
                    "-c:a pcm_s16le -ac 2 -f dv " +
                    Quote(tape))
                  .status,
              0);
    const std::string out = Out("pro411.avi");
    const ToolRun r = Capture("--dv-file " + Quote(tape) +
                              " --format 'DV type 2 (recomp)' --fast --output " + Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject v = StreamOf(FfProbe(out), "video");
    EXPECT_EQ(v["pix_fmt"].toString(), "yuv411p");
    EXPECT_EQ(Frames(v), 50);
    // Re-encoding DV loses next to nothing: the luma stays within 40 dB of the source's.
    const ToolRun psnr = Shell("ffmpeg -i " + Quote(out) + " -i " + Quote(tape) +
                               " -lavfi '[0:v][1:v]psnr' -f null - 2>&1 | grep -o 'y:[0-9.]*'");
    ASSERT_EQ(psnr.out.rfind("y:", 0), 0u) << psnr.out;
    EXPECT_GT(std::atof(psnr.out.c_str() + 2), 40.0) << psnr.out;
}

TEST(CaptureCommand, theStoredInlay_isBurnedIntoARecordingOfTheDecodedPicture) {
    // The frame's bottom right corner, where the recording date is written by default (x = 930,
    // y = 930 - 70 thousandths, right aligned), as raw picture bytes.
    auto corner = [](const std::string& file) {
        const std::string raw = file + ".gray";
        Shell("ffmpeg -v error -y -i " + Quote(file) +
              " -vf 'select=eq(n\\,20),crop=240:80:480:450' -frames:v 1 -f rawvideo "
              "-pix_fmt gray " +
              Quote(raw));
        return Slurp(raw);
    };
    const std::string plain = Out("plain.avi");
    ASSERT_EQ(Capture(DvRun("DV type 2 (recomp)", plain)).status, 0);
    WriteStoreDWords({{"Want Incrust", 1}, {"What Incrust", 1}}); // the DV recording date
    const std::string inlaid = Out("inlaid.avi");
    ASSERT_EQ(Capture(DvRun("DV type 2 (recomp)", inlaid)).status, 0);
    const std::string a = corner(plain);
    const std::string b = corner(inlaid);
    ASSERT_EQ(a.size(), 240u * 80u);
    ASSERT_EQ(b.size(), a.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        differing += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i]))) > 40;
    }
    // Text covers a good part of the corner; coding noise alone changes next to nothing.
    EXPECT_GT(differing, 500u);
}

TEST(CaptureCommand, divx_isXvidTaggedMpeg4ScaledDown_withMp3Sound) {
    const std::string out = Out("divx.avi");
    const ToolRun r = Capture(DvRun("Divx", out));
    ASSERT_EQ(r.status, 0) << r.err;
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    const QJsonObject v = StreamOf(p, "video");
    EXPECT_EQ(v["codec_name"].toString(), "mpeg4");
    EXPECT_EQ(v["codec_tag_string"].toString(), "XVID");
    // 720 x 576 at the default ratio 4:3: 384 x 288.
    EXPECT_EQ(v["width"].toInt(), 384);
    EXPECT_EQ(v["height"].toInt(), 288);
    EXPECT_EQ(Frames(v), kTapeFrames);
    const QJsonObject a = StreamOf(p, "audio");
    EXPECT_EQ(a["codec_name"].toString(), "mp3");
    EXPECT_EQ(a["codec_tag_string"].toString(), "U[0][0][0]");
    EXPECT_NEAR(a["duration"].toString().toDouble(), 4.0, 0.1);
    EXPECT_EQ(test::ReadAvi(out).handler, "XVID");
}

TEST(CaptureCommand, aLongDivxConversionOnOneCore_runsToTheEndOfTheTape) {
    // The encoder on one busy core lets pictures pile up in the decoder and encoder queues while
    // the muxer holds the sound back; a short sound queue behind the demuxer then stopped the
    // whole graph, two times in four, somewhere past a hundred seconds of tape.
    const std::string tape = Out("long.dv");
    ASSERT_EQ(
        Shell("for i in $(seq 50); do cat " + Quote(Tape()) + "; done > " + Quote(tape)).status, 0);
    const std::string out = Out("long-divx.avi");
    const ToolRun r =
        Capture("--dv-file " + Quote(tape) + " --format Divx --fast --output " + Quote(out),
                "taskset -c 0 ");
    fs::remove(tape);
    ASSERT_EQ(r.status, 0) << "stalled or failed: " << r.err;
    const ToolRun probe = Shell("ffprobe -v error -count_packets -show_entries "
                                "stream=codec_type,nb_read_packets -of compact=p=0 " +
                                Quote(out));
    EXPECT_EQ(probe.out.substr(0, probe.out.find('\n')),
              "codec_type=video|nb_read_packets=" + std::to_string(50 * kTapeFrames));
    fs::remove(out);
}

TEST(CaptureCommand, wmv_hasTheProfilesVideoAndSound_orNoSoundWithoutAnAudioStream) {
    const std::string out = Out("clip.wmv");
    ToolRun r = Capture(DvRun("Wmv", out));
    ASSERT_EQ(r.status, 0) << r.err;
    Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    ASSERT_EQ(p.streams.size(), 2);
    EXPECT_EQ(StreamOf(p, "video")["codec_name"].toString(), "wmv2");
    EXPECT_EQ(Frames(StreamOf(p, "video")), kTapeFrames);
    EXPECT_EQ(StreamOf(p, "audio")["codec_name"].toString(), "wmav2");

    const std::string mute = Out("mute.wmv");
    r = Capture(DvRun("Wmv", mute, "--audio none"));
    ASSERT_EQ(r.status, 0) << r.err;
    p = FfProbe(mute);
    EXPECT_EQ(p.errors, "");
    ASSERT_EQ(p.streams.size(), 1);
    EXPECT_EQ(StreamOf(p, "video")["codec_name"].toString(), "wmv2");
}

TEST(CaptureCommand, wav_isPcmBehindAFortySixByteHeader_sizedToTheLastByte) {
    const std::string out = Out("sound.wav");
    const ToolRun r = Capture(DvRun("Wav", out));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = Slurp(out);
    ASSERT_GT(file.size(), 46u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(file, 4), file.size() - 8);
    EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32(file, 16), 18u);
    EXPECT_EQ(file.substr(38, 4), "data");
    EXPECT_EQ(U32(file, 42), file.size() - 46);
    EXPECT_EQ(U32(file, 24), 48000u); // the tape's own rate is kept
    // Four seconds of 16-bit stereo: within one DV frame of sound.
    EXPECT_NEAR(double(file.size() - 46) / (48000 * 4), 4.0, 0.04);
    EXPECT_EQ(FfProbe(out).errors, "");
}

TEST(CaptureCommand, mp3_isMp3DataInAWavContainer) {
    const std::string out = Out("sound.mp3");
    const ToolRun r = Capture(DvRun("Mp3", out));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file = Slurp(out);
    ASSERT_GT(file.size(), 58u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(file, 16), 30u);
    EXPECT_EQ(static_cast<uint8_t>(file[20]), 0x55);
    EXPECT_EQ(file.substr(50, 4), "data");
    EXPECT_EQ(U32(file, 54), file.size() - 58);
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    EXPECT_EQ(StreamOf(p, "audio")["codec_name"].toString(), "mp3");
    EXPECT_NEAR(p.duration, 4.0, 0.1);
}

// --- scene index, cuts, scenes ---

TEST(CaptureCommand, scn_listsTheTapesThreeRecordings_inFramesOfTheClip) {
    const std::string out = Out("scenes.avi");
    const ToolRun r = Capture(DvRun("DV type 2 native", out, "--scn"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string scn = Out("scenes.scn");
    EXPECT_NE(r.out.find("wrote " + scn + "\n"), std::string::npos);
    // Recordings at frames 0, 30 and 70 of 100: the blocks the detector gives such a clip.
    std::string expected;
    for (auto part : {SceneFileHeader(scn), FirstSceneBlock(scn, 31), FurtherSceneBlock(31, 41),
                      FurtherSceneBlock(71, 31)}) {
        expected.append(part.begin(), part.end());
    }
    expected[SceneCountPosition(scn)] = 3;
    EXPECT_EQ(Slurp(scn), expected);
}

TEST(CaptureCommand, noScnForSoundOnlyOrWithoutTheOption) {
    const ToolRun r = Capture(DvRun("Wav", Out("noscn.wav"), "--scn"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(Out("noscn.scn")));
    EXPECT_EQ(r.out.find(".scn"), std::string::npos);
}

TEST(CaptureCommand, cutEvery_givesCompletePiecesWhoseFramesAddUpToTheTape) {
    const std::string out = Out("cut.avi");
    const ToolRun r = Capture(DvRun("DV type 2 native", out, "--cut-every 1.6"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> pieces = {out, Out("cut-2.avi"), Out("cut-3.avi")};
    EXPECT_EQ(r.out.substr(r.out.find("wrote ")),
              "wrote " + pieces[0] + "\nwrote " + pieces[1] + "\nwrote " + pieces[2] + "\n");
    const int expected[] = {40, 40, 20};
    int total = 0;
    double sound = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Probe p = FfProbe(pieces[i]);
        EXPECT_EQ(p.errors, "") << pieces[i];
        const int n = Frames(StreamOf(p, "video"));
        EXPECT_EQ(n, expected[i]) << pieces[i];
        total += n;
        const double pieceSound = PcmSeconds(pieces[i]);
        // Each piece's sound goes with its picture (within one frame).
        EXPECT_NEAR(pieceSound, n * 0.04, 0.045) << pieces[i];
        sound += pieceSound;
        EXPECT_TRUE(test::ReadAvi(pieces[i]).readable);
    }
    EXPECT_EQ(total, kTapeFrames);
    // No sound lost or doubled between the pieces either (within a frame per piece).
    EXPECT_NEAR(sound, 4.0, 0.12);
    EXPECT_FALSE(fs::exists(Out("cut-4.avi")));
}

TEST(CaptureCommand, cuttingANativeType1Capture_usesTheSameSeamlessCut) {
    const std::string out = Out("cut1.avi");
    const ToolRun r = Capture(DvRun("DV type 1 native", out, "--cut-every 2"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> pieces = {out, Out("cut1-2.avi")};
    for (const auto& piece : pieces) {
        const test::AviSummary avi = test::ReadAvi(piece);
        EXPECT_TRUE(avi.readable) << piece;
        EXPECT_EQ(avi.videoChunks, 50u) << piece;
        EXPECT_EQ(avi.avihTotalFrames, 50u) << piece;
        EXPECT_EQ(FfProbe(piece).errors, "") << piece;
    }
    // The second piece starts with the tape's 51st frame, byte for byte.
    const std::string second = Slurp(pieces[1]);
    const std::string tape = Slurp(Tape());
    const size_t chunk = second.find("movi00db");
    ASSERT_NE(chunk, std::string::npos);
    EXPECT_TRUE(second.compare(chunk + 12, 144000, tape, 50 * 144000, 144000) == 0);
    EXPECT_FALSE(fs::exists(Out("cut1-3.avi")));
}

TEST(CaptureCommand, splitScenes_putsEachRecordingInItsOwnFile_withItsOwnDate) {
    const std::string out = Out("rec.avi");
    const ToolRun r = Capture(DvRun("DV type 2 native", out, "--split-scenes --scn"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> pieces = {out, Out("rec-2.avi"), Out("rec-3.avi")};
    const char* dates[] = {"2006-11-08 14:30:05", "2006-11-08 15:30:05", "2006-11-08 16:30:05"};
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Probe p = FfProbe(pieces[i]);
        EXPECT_EQ(p.errors, "") << pieces[i];
        EXPECT_EQ(Frames(StreamOf(p, "video")), kRecordings[i]) << pieces[i];
        const ToolRun date =
            Shell("mediainfo --Inform='General;%Recorded_Date%' " + Quote(pieces[i]));
        EXPECT_EQ(date.out.substr(0, 19), dates[i]) << pieces[i];
        // Each piece's own scene index holds its one recording.
        const std::string scn = ScnOf(pieces[i]);
        EXPECT_EQ(Slurp(scn)[SceneCountPosition(scn)], 1) << scn;
    }
    EXPECT_FALSE(fs::exists(Out("rec-4.avi")));
}

// --- other sources and formats ---

TEST(CaptureCommand, testPatternAndTone_recordAviNative_andDivx_inRealTime) {
    const std::string args = "--video 'Vidorel Test Pattern' --audio 'Vidorel Test Tone' "
                             "--seconds 1.5 --format ";
    const std::string native = Out("pattern.avi");
    ToolRun r = Capture(args + "'Avi native' --output " + Quote(native));
    ASSERT_EQ(r.status, 0) << r.err;
    Probe p = FfProbe(native);
    EXPECT_EQ(p.errors, "");
    EXPECT_EQ(StreamOf(p, "video")["codec_name"].toString(), "rawvideo");
    EXPECT_EQ(StreamOf(p, "video")["width"].toInt(), 720);
    EXPECT_GE(Frames(StreamOf(p, "video")), 30);
    EXPECT_EQ(StreamOf(p, "audio")["codec_name"].toString(), "pcm_s16le");

    const std::string divx = Out("pattern-divx.avi");
    r = Capture(args + "Divx --output " + Quote(divx));
    ASSERT_EQ(r.status, 0) << r.err;
    p = FfProbe(divx);
    EXPECT_EQ(p.errors, "");
    EXPECT_EQ(StreamOf(p, "video")["codec_tag_string"].toString(), "XVID");
    EXPECT_GE(Frames(StreamOf(p, "video")), 30);
}

TEST(CaptureCommand, imageByImage_takesOnePicturePerGrab_andPlaysAtTheChosenRate) {
    WriteStoreReal("Framerate", 12.0);
    const std::string out = Out("images.avi");
    const pid_t pid = StartInBackground("--dv-file " + Quote(Tape()) +
                                        " --format Image/image --output " + Quote(out));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForFile(out, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 0; i < 3; ++i) {
        ::kill(pid, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitStatus(pid), 0);
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    ASSERT_EQ(p.streams.size(), 1); // no sound
    const QJsonObject v = StreamOf(p, "video");
    EXPECT_EQ(Frames(v), 3);
    const QStringList rate = v["r_frame_rate"].toString().split('/');
    ASSERT_EQ(rate.size(), 2);
    EXPECT_NEAR(rate[0].toDouble() / rate[1].toDouble(), 12.0, 0.001);
    EXPECT_FALSE(fs::exists(Out("images.scn")));
}

TEST(CaptureCommand, imageByImageWithoutAGrab_leavesNoFile_andSaysNothingWasRecorded) {
    const std::string out = Out("noimages.avi");
    const ToolRun r = Capture("--dv-file " + Quote(Tape()) +
                              " --format Image/image --fast --output " + Quote(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing was recorded"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(r.out.find("wrote"), std::string::npos);
}

// --- bad input and failures ---

TEST(CaptureCommand, aFormatTheStreamsCannotRecord_isRefused_withTheOnesTheyCan) {
    const std::string out = Out("refused.wav");
    ToolRun r =
        Capture("--dv-file " + Quote(Tape()) + " --audio none --format Wav --output " + Quote(out));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("these can: DV type 2 native"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));

    r = Capture("--dv-file " + Quote(Tape()) + " --format Default --output " + Quote(out));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown capture format \"Default\""), std::string::npos) << r.err;

    r = Capture(DvRun("DV type 2 native", Out("missing/folder/x.avi")));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;

    // A file that cannot be created: nothing starts, nothing is said to be written.
    fs::create_directories(Out("readonly"));
    fs::permissions(Out("readonly"), fs::perms::owner_read | fs::perms::owner_exec);
    r = Capture(DvRun("DV type 2 native", Out("readonly/x.avi")));
    fs::permissions(Out("readonly"), fs::perms::owner_all);
    if (::geteuid() != 0) { // root writes anywhere
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot record into"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("wrote"), std::string::npos);
    }
    r = Capture(DvRun("DV type 2 native", "/proc/version-capture.avi"));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out.find("wrote"), std::string::npos);

    r = Capture("--format Wav --seconds 0");
    EXPECT_EQ(r.status, 2);
    r = Capture("--format Wav --fast");
    EXPECT_EQ(r.status, 2); // --fast needs a tape file
}

TEST(CaptureCommand, aDiskThatFills_endsTheRun_withWhatWasWrittenStillPlayable) {
    const std::string out = Out("full.avi");
    // At most 2 MB per file, and the write past it fails instead of killing the program: what
    // a full disk does to a capture.
    const ToolRun r = Capture(DvRun("DV type 2 native", out), "ulimit -f 2048; trap '' XFSZ; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("wrote " + out), std::string::npos);
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    const int frames = Frames(StreamOf(p, "video"));
    EXPECT_GT(frames, 5);
    EXPECT_LT(frames, 15);
    const test::AviSummary avi = test::ReadAvi(out);
    EXPECT_TRUE(avi.readable);
    EXPECT_EQ(avi.videoChunks, uint64_t(frames));
}

TEST(CaptureCommand, sigterm_finishesTheFileCleanly) {
    const std::string out = Out("stopped.avi");
    const pid_t pid = StartInBackground("--dv-file " + Quote(Tape()) +
                                        " --format 'DV type 2 native' --output " + Quote(out));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForFile(out, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGTERM); // a repeat within the grace period is ignored
    EXPECT_EQ(ExitStatus(pid), 0);
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    const int frames = Frames(StreamOf(p, "video"));
    EXPECT_GT(frames, 5);
    EXPECT_LT(frames, kTapeFrames);
    EXPECT_EQ(test::ReadAvi(out).videoChunks, uint64_t(frames));
}

TEST(CaptureCommand, repair_makesAnInterruptedCaptureReadable_andKeepsABackup) {
    const std::string out = Out("cutshort.avi");
    ASSERT_EQ(Capture(DvRun("DV type 2 native", out)).status, 0);
    // A capture cut off in its 50th frame, its header still the one written at the start.
    const std::string whole = Slurp(out);
    const size_t at = whole.find("movi");
    ASSERT_NE(at, std::string::npos);
    fs::resize_file(out, at + 50 * (144000 + 8 + 7700));
    const ToolRun r = Shell(std::string(VIDOREL_CAPTURE_EXE) + " --repair " + Quote(out));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("repaired " + out + ": kept ", 0), 0u) << r.out;
    EXPECT_TRUE(fs::exists(out + ".bak"));
    const Probe p = FfProbe(out);
    EXPECT_EQ(p.errors, "");
    EXPECT_GT(Frames(StreamOf(p, "video")), 40);
    // A second repair finds nothing to do.
    const ToolRun again = Shell(std::string(VIDOREL_CAPTURE_EXE) + " --repair " + Quote(out));
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("nothing to repair"), std::string::npos) << again.out;
}

TEST(CaptureCommand, list_endsWithTheFormatsOfTheStoredPair) {
    WriteStore({{"Source video", "DV Source - Video"}, {"Source Audio", "DV Source - Audio"}});
    ToolRun r = Shell(std::string(VIDOREL_CAPTURE_EXE) + " --list");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string formats = r.out.substr(r.out.find("format: "));
    EXPECT_EQ(formats,
              "format: DV type 1 native\nformat: DV type 2 native\nformat: DV type 2 (recomp)\n"
              "format: Divx\nformat: Wmv\nformat: Image/image\nformat: Wav\nformat: Mp3\n");

    // The camcorder's picture with a sound card's sound: no type 1.
    WriteStore({{"Source video", "DV Source - Video"}, {"Source Audio", "Vidorel Test Tone"}});
    r = Shell(std::string(VIDOREL_CAPTURE_EXE) + " --list");
    EXPECT_EQ(r.out.substr(r.out.find("format: ")),
              "format: DV type 2 native\nformat: DV type 2 (recomp)\nformat: Divx\nformat: Wmv\n"
              "format: Image/image\nformat: Wav\nformat: Mp3\n");

    // Sound only.
    WriteStore({{"Source video", "No video stream"}, {"Source Audio", "Vidorel Test Tone"}});
    r = Shell(std::string(VIDOREL_CAPTURE_EXE) + " --list");
    EXPECT_EQ(r.out.substr(r.out.find("format: ")), "format: Wav\nformat: Mp3\n");
}
