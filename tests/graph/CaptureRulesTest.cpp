// The rules behind the capture graphs, without a graph: the formats a pair of streams allows,
// the audio format and sync correction of a capture, the TV system of a DV re-encoding, the
// status texts, the encoders offered, the names of the files and the header fix-ups.

#include "app/OutputNames.h"
#include "files/AviFixup.h"
#include "graph/CaptureFormats.h"
#include "graph/CaptureRun.h"
#include "graph/Encoders.h"

#include <gtest/gtest.h>

#include "tests/support/AviCheck.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace vidorel;
namespace F = CaptureFormat;

namespace {

TFormatChoice Camcorder(bool ownAudio, bool mp3) {
    TFormatChoice c;
    c.HasVideo = true;
    c.HasAudio = true;
    c.VideoMuxedFormat = 1;
    c.VideoNativeFormat = 2;
    c.AudioOnVideoDevice = ownAudio;
    c.Mp3EncoderAvailable = mp3;
    return c;
}

} // namespace

TEST(CaptureRules, formatList_followsTheStreams) {
    using V = std::vector<TCaptureFormat>;
    EXPECT_EQ(OfferedCaptureFormats(Camcorder(true, true)),
              (V{F::DVType1Native, F::DVType2Native, F::DVType2Recomp, F::Divx, F::Wmv,
                 F::ImageByImage, F::Wav, F::Mp3}));
    // A sound card's audio with the camcorder's picture: no type 1; no MP3 encoder: no Mp3.
    EXPECT_EQ(OfferedCaptureFormats(Camcorder(false, false)),
              (V{F::DVType2Native, F::DVType2Recomp, F::Divx, F::Wmv, F::ImageByImage, F::Wav}));
    TFormatChoice webcam;
    webcam.HasVideo = true;
    webcam.VideoNativeFormat = 5;
    EXPECT_EQ(OfferedCaptureFormats(webcam),
              (V{F::AviNative, F::DVType2Recomp, F::Divx, F::Wmv, F::ImageByImage}));
    TFormatChoice sound;
    sound.HasAudio = true;
    sound.Mp3EncoderAvailable = true;
    EXPECT_EQ(OfferedCaptureFormats(sound), (V{F::Wav, F::Mp3}));
    EXPECT_TRUE(OfferedCaptureFormats(TFormatChoice{}).empty());
}

TEST(CaptureRules, aWantedFormatNotOffered_selectsTheFirst_andNothingOfferedSelectsNone) {
    const std::vector<TCaptureFormat> offered = {F::Wav, F::Mp3};
    EXPECT_EQ(SelectOfferedFormat(offered, F::Mp3), F::Mp3);
    EXPECT_EQ(SelectOfferedFormat(offered, F::Divx), F::Wav);
    EXPECT_EQ(SelectOfferedFormat(offered, 200), F::Wav);
    EXPECT_EQ(SelectOfferedFormat({}, F::Wav), F::None);
}

TEST(CaptureRules, separateAudio_onlyForTwoDevices_andNeverForNativeImageOrSoundFormats) {
    for (TCaptureFormat f : {F::DVType2Native, F::AviNative, F::DVType2Recomp, F::Wmv, F::Divx}) {
        EXPECT_TRUE(SeparateAudioFor(f, true, true, false)) << int(f);
        EXPECT_FALSE(SeparateAudioFor(f, true, true, true)) << int(f);
        EXPECT_FALSE(SeparateAudioFor(f, true, false, false)) << int(f);
        EXPECT_FALSE(SeparateAudioFor(f, false, true, false)) << int(f);
    }
    for (TCaptureFormat f :
         {F::DVType1Native, F::NativeMpegStream, F::ImageByImage, F::Wav, F::Mp3}) {
        EXPECT_FALSE(SeparateAudioFor(f, true, true, false)) << int(f);
    }
}

TEST(CaptureRules, syncCorrection_isFramesTimesTheFrameDuration_signed) {
    EXPECT_EQ(SyncCorrectionOffset(-2, 400000), -800000);
    EXPECT_EQ(SyncCorrectionOffset(3, 333667), 1001001);
    EXPECT_EQ(SyncCorrectionOffset(0, 400000), 0);
    // 64-bit: no overflow at the extremes.
    EXPECT_EQ(SyncCorrectionOffset(-100000, 4000000000u), -400000000000000LL);
}

TEST(CaptureRules, captureRate_keepsADvRateWhenAsked_elseFollowsTheFrequencySetting) {
    EXPECT_EQ(CaptureAudioRate(true, 1, 48000), 48000);
    EXPECT_EQ(CaptureAudioRate(true, 1, 44100), 44100);
    EXPECT_EQ(CaptureAudioRate(true, 3, 32000), 32000);
    // 22050 is no DV rate: the setting decides, 44100 for 0 and 2.
    EXPECT_EQ(CaptureAudioRate(true, 0, 22050), 44100);
    EXPECT_EQ(CaptureAudioRate(true, 2, 22050), 44100);
    EXPECT_EQ(CaptureAudioRate(true, 1, 22050), 32000);
    EXPECT_EQ(CaptureAudioRate(false, 3, 44100), 48000);
    EXPECT_EQ(CaptureAudioRate(false, 7, 48000), 44100);
    EXPECT_EQ(CaptureAudioCaps(32000), "audio/x-raw, format=(string)S16LE, "
                                       "layout=(string)interleaved, channels=(int)2, "
                                       "rate=(int)32000");
}

TEST(CaptureRules, dvReencoding_takesTheSourcesOwnSystem_elseItsHeight_elseTheSetting) {
    EXPECT_EQ(DVEncodingSystem(0, false, 2, 480), TTvSystem::PAL);
    EXPECT_EQ(DVEncodingSystem(1, false, 0, 576), TTvSystem::NTSC);
    EXPECT_EQ(DVEncodingSystem(1, true, 0, 480), TTvSystem::PAL);
    EXPECT_EQ(DVEncodingSystem(0, true, 1, 576), TTvSystem::NTSC);
    // Nothing seen yet: the picture decides, 481 lines and more are PAL.
    EXPECT_EQ(DVEncodingSystem(1, true, 2, 576), TTvSystem::PAL);
    EXPECT_EQ(DVEncodingSystem(1, true, 2, 481), TTvSystem::PAL);
    EXPECT_EQ(DVEncodingSystem(0, true, 2, 480), TTvSystem::NTSC);
    EXPECT_EQ(DVEncodingSystem(1, true, 2, 0), TTvSystem::NTSC);
    EXPECT_EQ(DVRasterCaps(TTvSystem::NTSC), "video/x-raw, format=(string)Y41B, width=(int)720, "
                                             "height=(int)480, framerate=(fraction)30000/1001");
    // PAL is 4:2:0 unless the stream's own 4:1:1 (professional DV) is kept.
    EXPECT_EQ(DVRasterCaps(TTvSystem::PAL), "video/x-raw, format=(string)I420, width=(int)720, "
                                            "height=(int)576, framerate=(fraction)25/1");
    EXPECT_EQ(DVRasterCaps(TTvSystem::PAL, true),
              "video/x-raw, format=(string){ I420, Y41B }, width=(int)720, height=(int)576, "
              "framerate=(fraction)25/1");
}

TEST(CaptureRules, statusTexts_dropTheDays_andNameTheFormat) {
    EXPECT_EQ(CaptureDurationText(0), "Duration 0:00 :00");
    EXPECT_EQ(CaptureDurationText(3599), "Duration 0:59 :59");
    EXPECT_EQ(CaptureDurationText(86400 + 3661), "Duration 1:01 :01");
    EXPECT_EQ(CaptureDurationText(86399), "Duration 23:59 :59");
    EXPECT_EQ(CaptureInfoText(F::DVType2Native, 3, 103, 0), "3 lost frames / 103");
    EXPECT_EQ(CaptureInfoText(F::ImageByImage, 3, 103, 7), "Image by Image: 7 frames");
    EXPECT_EQ(CaptureInfoText(F::Wav, 3, 103, 0), "Audio Wav");
    EXPECT_EQ(CaptureInfoText(F::Mp3, 3, 103, 0), "Audio Mp3");
}

TEST(Encoders, divxList_holdsDivxAndXvidNames_andPrefersTheFavouriteThenTheLastXvid) {
    const std::vector<std::string> all = {"DivX Pro 5", "DV Video Encoder", "XviD MPEG-4",
                                          "Xvid-compatible MPEG-4 (libav)", "Theora"};
    TEncoderDiscovery d = FilterDivxCompressors(all, "");
    EXPECT_EQ(d.DivxNames, (std::vector<std::string>{"DivX Pro 5", "XviD MPEG-4",
                                                     "Xvid-compatible MPEG-4 (libav)"}));
    EXPECT_TRUE(d.DivxEncoderFound);
    EXPECT_EQ(d.DivxSelected, 2);
    EXPECT_EQ(FilterDivxCompressors(all, "DivX Pro 5").DivxSelected, 0);
    EXPECT_EQ(FilterDivxCompressors({"DivX Pro 5"}, "gone").DivxSelected, 0);
    d = FilterDivxCompressors({"DV Video Encoder"}, "");
    EXPECT_FALSE(d.DivxEncoderFound);
    EXPECT_EQ(d.DivxSelected, -1);
    EXPECT_TRUE(FilterDivxCompressors({}, "").DivxNames.empty());
}

TEST(Encoders, wmvProfile_fixedWhenDefaultIsTicked_elseTheFavouriteOfTheVersion) {
    EXPECT_EQ(ChosenWmvProfile(true, 3, 2, "").Name, "Internet");
    EXPECT_EQ(ChosenWmvProfile(true, 0, 0, "").Name, "High");
    EXPECT_EQ(ChosenWmvProfile(true, 9, 0, "").Name, "Medium");
    const std::vector<std::string> v4 = WmvProfileNames(0);
    ASSERT_GE(v4.size(), 2u);
    EXPECT_EQ(ChosenWmvProfile(false, 0, 0, v4[1]).Name, v4[1]);
    EXPECT_EQ(ChosenWmvProfile(false, 0, 0, "not a profile").Name, v4[0]);
    EXPECT_EQ(ChosenWmvProfile(false, 0, 0, v4[1]).VideoEncoder, "avenc_wmv1");
    EXPECT_EQ(ChosenWmvProfile(false, 0, 2, WmvProfileNames(2)[0]).VideoEncoder, "avenc_wmv2");
    const TWmvProfile mute = WmvFixedProfile(0).WithoutAudio();
    EXPECT_FALSE(mute.HasAudio());
    EXPECT_TRUE(mute.HasVideo());
    EXPECT_EQ(mute.Width, 720);
}

TEST(OutputNames, videoName_hasFolderRootDateCounterAndTheFormatsExtension) {
    const TDateTime startup = EncodeDate(2006, 11, 8) + EncodeTime(14, 30, 5);
    EXPECT_EQ(VideoFileName("/clips", "Video", true, startup, 0, F::DVType2Native),
              "/clips/Video_081106_143005_0.avi");
    EXPECT_EQ(VideoFileName("/clips/", "Video", false, startup, 12, F::Wav), "/clips/Video_12.wav");
    EXPECT_EQ(VideoFileName("/c", "Clip_A", false, startup, 3, F::Mp3), "/c/Clip_A_3.mp3");
    EXPECT_EQ(VideoFileName("/c", "v", false, startup, 0, F::Wmv), "/c/v_0.wmv");
    EXPECT_EQ(VideoFileName("/c", "v", false, startup, 0, F::NativeMpegStream), "/c/v_0.mpg");
    // Leap day 2000 at midnight.
    EXPECT_EQ(DateTimeNamePart(EncodeDate(2000, 2, 29)), "290200_000000_");
}

TEST(OutputNames, imageName_countsOnFiveDigitsThatWrap) {
    const TDateTime startup = EncodeDate(2006, 11, 8) + EncodeTime(14, 30, 5);
    EXPECT_EQ(ImageFileName("/pics", "Image", true, startup, 7, false),
              "/pics/Image_081106_143005_00007.bmp");
    EXPECT_EQ(ImageFileName("/pics/", "Image", false, startup, 99999, true),
              "/pics/Image_99999.jpg");
    EXPECT_EQ(ImageFileName("/pics", "Image", false, startup, 100000, true),
              "/pics/Image_00000.jpg");
    EXPECT_EQ(ImageFileName("", "i", false, startup, 0, false), "/i_00000.bmp");
}

TEST(OutputNames, laterPiecesOfAGivenName_getTheirNumberBeforeTheExtension) {
    EXPECT_EQ(PieceFileName("/d/tape.avi", 2), "/d/tape-2.avi");
    EXPECT_EQ(PieceFileName("/d/tape.avi", 10), "/d/tape-10.avi");
    EXPECT_EQ(PieceFileName("/d.x/tape", 2), "/d.x/tape-2");
    EXPECT_EQ(PieceFileName("/d/.hidden", 3), "/d/.hidden-3");
    EXPECT_EQ(SceneFileNameFor("/d.x/clip.avi"), "/d.x/clip.scn");
    EXPECT_EQ(SceneFileNameFor("/d.x/clip"), "/d.x/clip.scn");
}

TEST(AviFixup, dvAndMpeg4Tags_areRewrittenInTheVideoHeadersOnly) {
    const std::string dir =
        std::filesystem::temp_directory_path().string() + "/fixup-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string dv = dir + "/dv.avi";
    ASSERT_EQ(std::system(("gst-launch-1.0 -q videotestsrc num-buffers=3 ! "
                           "video/x-raw,format=I420,width=720,height=576,framerate=25/1 ! "
                           "avenc_dvvideo ! avimux ! filesink location=" +
                           dv)
                              .c_str()),
              0);
    std::ifstream in(dv, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), {});
    in.close();
    EXPECT_EQ(ApplyAviFixup(dv, TAviFixup::DvsdHandler), 2);
    std::ifstream again(dv, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(again)), {});
    ASSERT_EQ(before.size(), after.size());
    // Exactly the two tags changed, from "DVSD" to "dvsd".
    size_t changed = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        changed += before[i] != after[i];
    }
    EXPECT_EQ(changed, 8u);
    EXPECT_EQ(test::ReadAvi(dv).handler, "dvsd");
    // A file past 1 GB has further "AVIX" parts after the first: still an AVI.
    {
        std::ofstream more(dv, std::ios::binary | std::ios::app);
        const char part[] = {'R', 'I', 'F', 'F', 12, 0, 0, 0, 'A', 'V', 'I', 'X',
                             'L', 'I', 'S', 'T', 4,  0, 0, 0, 'm', 'o', 'v', 'i'};
        more.write(part, sizeof part);
    }
    EXPECT_EQ(ApplyAviFixup(dv, TAviFixup::DvsdHandler), 2);
    // An MPEG-4 pass finds nothing to change in a DV file; a file that is no AVI is refused.
    EXPECT_EQ(ApplyAviFixup(dv, TAviFixup::XvidFourcc), 0);
    const std::string text = dir + "/text.avi";
    std::ofstream(text) << "not an AVI at all";
    EXPECT_EQ(ApplyAviFixup(text, TAviFixup::DvsdHandler), -1);
    EXPECT_EQ(ApplyAviFixup(dir + "/missing.avi", TAviFixup::DvsdHandler), -1);
    std::filesystem::remove_all(dir);
}
