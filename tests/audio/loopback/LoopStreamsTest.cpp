// The capture and playback streams against the in-memory wave devices.

#include "LoopTestSupport.h"
#include "support/audio/CatchingApplication.h"

#include "audio/loopback/CaptureStream.h"
#include "audio/loopback/PlaybackStream.h"
#include "platform/audio/WaveNotify.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;

namespace {

tavora::test::CatchingApplication* app = nullptr;

void deliverNotifications() {
    QCoreApplication::sendPostedEvents();
}

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

class LoopStreams : public ::testing::Test {
protected:
    void SetUp() override {
        app->errors.clear();
        platform.addWaveIn(MemoryWaveDeviceSetup::named("Microphone One"));
        platform.addWaveIn(MemoryWaveDeviceSetup::named("Microphone Two"));
        platform.addWaveOut(MemoryWaveDeviceSetup::named("Speakers One"));
        platform.addWaveOut(MemoryWaveDeviceSetup::named("Headphones Two"));
    }
    void TearDown() override { deliverNotifications(); }

    // A capture stream set up as the microphone test sets it up.
    void setUpCapture(CaptureStream& stream) {
        stream.setBufferSize(813);
        stream.setNumBuffers(2);
        stream.onBufferFull = [this](CaptureStream*, const std::uint8_t* data, int size) {
            blocks.emplace_back(data, data + size);
        };
    }

    MemoryAudioPlatform platform;
    std::vector<std::uint8_t> format = looptest::gsmRecord(4);
    std::vector<std::vector<std::uint8_t>> blocks;
};

// ---------------------------------------------------------------- capture

TEST_F(LoopStreams, CaptureOpensTheChosenDeviceThroughTheCodecsAndKeepsItsBuffersQueued) {
    CaptureStream stream(platform);
    setUpCapture(stream);
    stream.open(format, 1);
    ASSERT_TRUE(stream.active());
    MemoryWaveIn* device = platform.lastWaveIn();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->deviceId(), 1u);
    EXPECT_EQ(device->openFlags(), CALLBACK_WINDOW | WAVE_MAPPED);
    EXPECT_EQ(device->format().wFormatTag, WAVE_FORMAT_GSM610);
    EXPECT_TRUE(device->started());
    EXPECT_EQ(device->queued(), 2u);

    // Blocks come out in order with their bytes; each buffer goes back.
    ASSERT_TRUE(device->deliver(bytes(813, 1)));
    ASSERT_TRUE(device->deliver(bytes(650, 7)));
    deliverNotifications();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], bytes(813, 1));
    EXPECT_EQ(blocks[1], bytes(650, 7));
    EXPECT_EQ(device->queued(), 2u);
    EXPECT_EQ(stream.bufferCount(), 2u);

    // A requeued buffer starts clean: a short block does not carry the
    // tail of the longer one before it.
    ASSERT_TRUE(device->deliver(bytes(10, 100)));
    deliverNotifications();
    EXPECT_EQ(blocks.back(), bytes(10, 100));
    EXPECT_TRUE(app->errors.empty());
}

TEST_F(LoopStreams, CaptureOfLinearAudioUsesTheDefaultDevice) {
    CaptureStream stream(platform);
    const WaveFormatEx pcm = pcmFormat(8000, 16, 1);
    std::vector<std::uint8_t> record(reinterpret_cast<const std::uint8_t*>(&pcm),
                                     reinterpret_cast<const std::uint8_t*>(&pcm) + sizeof(pcm));
    stream.open(record, 1);
    ASSERT_NE(platform.lastWaveIn(), nullptr);
    EXPECT_EQ(platform.lastWaveIn()->deviceId(), WAVE_MAPPER);
    EXPECT_EQ(platform.lastWaveIn()->openFlags(), CALLBACK_WINDOW);
}

TEST_F(LoopStreams, CaptureOpenWhileActiveAndSettingsWhileActiveChangeNothing) {
    CaptureStream stream(platform);
    setUpCapture(stream);
    stream.open(format, 0);
    stream.open(format, 1);
    EXPECT_EQ(platform.openedWaveIns().size(), 1u);
    EXPECT_EQ(platform.lastWaveIn()->deviceId(), 0u);
    EXPECT_EQ(platform.lastWaveIn()->queued(), 2u);

    stream.setNumBuffers(8);
    stream.setBufferSize(100);
    EXPECT_EQ(stream.numBuffers(), 2);
    EXPECT_EQ(stream.bufferSize(), 813u);

    // The old values stay for the next run too.
    stream.close();
    stream.open(format, 0);
    EXPECT_EQ(platform.lastWaveIn()->queued(), 2u);
    ASSERT_TRUE(platform.lastWaveIn()->deliver(bytes(2000, 0)));
    deliverNotifications();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].size(), 813u);

    // Counts outside 2..64 are brought into range.
    stream.close();
    stream.setNumBuffers(1);
    EXPECT_EQ(stream.numBuffers(), 2);
    stream.setNumBuffers(200);
    EXPECT_EQ(stream.numBuffers(), 64);
}

TEST_F(LoopStreams, CaptureHandsOnAnEmptyBufferAndQueuesItAgain) {
    CaptureStream stream(platform);
    setUpCapture(stream);
    stream.open(format, 0);
    MemoryWaveIn* device = platform.lastWaveIn();
    ASSERT_TRUE(device->deliver({}));
    deliverNotifications();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(blocks[0].empty());
    EXPECT_EQ(device->queued(), 2u);
}

TEST_F(LoopStreams, CaptureCloseReleasesEverythingAndLateNotificationsFindNothing) {
    CaptureStream stream(platform);
    setUpCapture(stream);
    stream.open(format, 0);
    MemoryWaveIn* device = platform.lastWaveIn();
    // A buffer that came back but whose notification is still on its way.
    ASSERT_TRUE(device->deliver(bytes(813, 0)));

    stream.close();
    EXPECT_FALSE(stream.active());
    EXPECT_EQ(stream.bufferCount(), 0u);
    EXPECT_TRUE(platform.openedWaveIns().empty()); // closed and let go
    deliverNotifications();
    EXPECT_TRUE(blocks.empty());

    // A notification for a buffer the stream no longer has is ignored, also
    // while the stream records again.
    stream.open(format, 0);
    ASSERT_EQ(stream.bufferCount(), 2u);
    WaveHeader foreign;
    QCoreApplication::postEvent(stream.notifyWindow(), new WaveNotifyEvent(WaveMessage::WimData, &foreign));
    deliverNotifications();
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(platform.lastWaveIn()->queued(), 2u);
    EXPECT_TRUE(app->errors.empty());
    stream.close();
    stream.close(); // closing twice is harmless
}

TEST_F(LoopStreams, CaptureDestroyedWhileRecordingReleasesTheDevice) {
    {
        CaptureStream stream(platform);
        setUpCapture(stream);
        stream.open(format, 0);
        ASSERT_TRUE(platform.lastWaveIn()->deliver(bytes(813, 0)));
    }
    EXPECT_TRUE(platform.openedWaveIns().empty());
    deliverNotifications();
    EXPECT_TRUE(blocks.empty());
}

struct OpenFailure {
    const char* name;
    WaveOp op;
    MmResult code;
    std::string message;
};

class CaptureOpenFailures : public LoopStreams, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(CaptureOpenFailures, NameTheStepAndLeaveNothingOpen) {
    const OpenFailure& f = GetParam();
    platform.waveInSetup(0).results[f.op] = f.code;
    CaptureStream stream(platform);
    setUpCapture(stream);
    try {
        stream.open(format, 0);
        FAIL() << "no error";
    } catch (const CaptureStreamError& e) {
        EXPECT_EQ(std::string(e.what()), f.message);
    }
    EXPECT_FALSE(stream.active());
    EXPECT_EQ(stream.bufferCount(), 0u);
    EXPECT_TRUE(platform.openedWaveIns().empty());

    // Once the device behaves, the same stream opens.
    platform.waveInSetup(0).results.clear();
    stream.open(format, 0);
    EXPECT_TRUE(stream.active());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CaptureOpenFailures,
    ::testing::Values(OpenFailure{"UnknownStart", WaveOp::Start, 1234,
                                  "WaveIn-Start raised an unknown error (code #1234)"},
                      OpenFailure{"Prepare", WaveOp::Prepare, MMSYSERR_NOMEM,
                                  "WaveIn-PrepareHeader The system is unable to allocate resources."},
                      OpenFailure{"AddBuffer", WaveOp::Write, MMSYSERR_INVALHANDLE,
                                  "WaveIn-AddBuffer The specified handle is invalid."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoopStreams, CaptureOpenOfADeviceInUseOrMissing) {
    platform.waveInSetup(1).openResult = MMSYSERR_ALLOCATED;
    CaptureStream stream(platform);
    try {
        stream.open(format, 1);
        FAIL() << "no error";
    } catch (const CaptureStreamError& e) {
        EXPECT_STREQ(e.what(), "WaveIn-Open The specified resource is already in use.");
    }
    EXPECT_THROW(
        {
            try {
                stream.open(format, 7);
            } catch (const CaptureStreamError& e) {
                EXPECT_STREQ(e.what(), "WaveIn-Open The specified resource does not exist.");
                throw;
            }
        },
        CaptureStreamError);
    // A record shorter than the extra bytes it announces never reaches a device.
    std::vector<std::uint8_t> shortRecord(format.begin(), format.begin() + 19);
    try {
        stream.open(shortRecord, 0);
        FAIL() << "no error";
    } catch (const CaptureStreamError& e) {
        EXPECT_STREQ(e.what(), "WaveIn-Open At least one parameter is invalid.");
    }
    EXPECT_TRUE(platform.openedWaveIns().empty());
}

TEST_F(LoopStreams, CaptureFailuresWhileRecordingTakeOneBufferOutOfCirculation) {
    CaptureStream stream(platform);
    setUpCapture(stream);
    stream.open(format, 0);
    MemoryWaveIn* device = platform.lastWaveIn();

    // The requeue has its own name, without the hyphen.
    device->setResult(WaveOp::Write, MMSYSERR_NOMEM);
    ASSERT_TRUE(device->deliver(bytes(813, 0)));
    deliverNotifications();
    ASSERT_EQ(app->errors.size(), 1u);
    EXPECT_EQ(app->errors[0], "WaveInAddBuffer The system is unable to allocate resources.");
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_EQ(device->queued(), 1u);

    // A handler that throws: the error goes up, the buffer stays out.
    device->setResult(WaveOp::Write, MMSYSERR_NOERROR);
    stream.onBufferFull = [](CaptureStream*, const std::uint8_t*, int) {
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(device->deliver(bytes(813, 0)));
    deliverNotifications();
    ASSERT_EQ(app->errors.size(), 2u);
    EXPECT_EQ(app->errors[1], "handler failed");
    EXPECT_EQ(device->queued(), 0u);
    EXPECT_TRUE(stream.active());

    // Close still releases both.
    EXPECT_EQ(stream.bufferCount(), 2u);
    stream.close();
    EXPECT_EQ(stream.bufferCount(), 0u);
}

TEST_F(LoopStreams, CaptureHandlerThatClosesTheStream) {
    CaptureStream stream(platform);
    setUpCapture(stream);
    stream.onBufferFull = [this](CaptureStream* sender, const std::uint8_t* data, int size) {
        blocks.emplace_back(data, data + size);
        sender->close();
    };
    stream.open(format, 0);
    ASSERT_TRUE(platform.lastWaveIn()->deliver(bytes(813, 0)));
    deliverNotifications();
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_FALSE(stream.active());
    EXPECT_EQ(stream.bufferCount(), 0u);
    EXPECT_TRUE(app->errors.empty());
}

// ---------------------------------------------------------------- playback

TEST_F(LoopStreams, PlaybackIgnoresEmptyBlocksAndBlocksWhileClosed) {
    PlaybackStream stream(platform);
    stream.setNumBuffers(3);
    const auto block = bytes(65, 0);
    stream.play(block.data(), 65); // before Open
    EXPECT_EQ(stream.bufferCount(), 0u);

    stream.open(format, 1);
    MemoryWaveOut* device = platform.lastWaveOut();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->deviceId(), 1u);
    EXPECT_EQ(device->openFlags(), CALLBACK_WINDOW | WAVE_MAPPED);
    stream.play(block.data(), 0);
    EXPECT_EQ(stream.bufferCount(), 0u);
    EXPECT_EQ(device->queued(), 0u);
    EXPECT_EQ(stream.freeSlots(), 3);

    stream.close();
    stream.play(block.data(), 65); // after Close
    EXPECT_EQ(stream.bufferCount(), 0u);
    EXPECT_TRUE(platform.openedWaveOuts().empty());
}

TEST_F(LoopStreams, PlaybackFillsItsSlotsThenDropsWhatFindsNoSlot) {
    PlaybackStream stream(platform);
    stream.setNumBuffers(3);
    stream.open(format, 0);
    MemoryWaveOut* device = platform.lastWaveOut();

    std::vector<std::uint8_t> block = bytes(130, 0);
    for (int i = 0; i < 3; ++i) {
        stream.play(block.data(), static_cast<std::uint32_t>(block.size()));
        // The caller's block is free for reuse at once.
        std::fill(block.begin(), block.end(), static_cast<std::uint8_t>(0xEE));
        block = bytes(130, static_cast<std::uint8_t>(10 * (i + 1)));
    }
    EXPECT_EQ(device->queued(), 3u);
    EXPECT_EQ(stream.freeSlots(), 0);

    // A fourth block finds no slot: it is dropped at once, not kept.
    stream.play(block.data(), 130);
    EXPECT_EQ(stream.bufferCount(), 3u);
    EXPECT_EQ(stream.droppedBlocks(), 1u);

    ASSERT_TRUE(device->completeNext());
    deliverNotifications();
    EXPECT_EQ(stream.freeSlots(), 1);
    EXPECT_EQ(stream.bufferCount(), 2u);

    // The next block plays after the ones already queued.
    const auto next = bytes(130, 200);
    stream.play(next.data(), 130);
    while (device->completeNext())
        ;
    deliverNotifications();
    std::vector<std::uint8_t> expected;
    for (std::uint8_t first : {0, 10, 20, 200}) {
        const auto b = bytes(130, first);
        expected.insert(expected.end(), b.begin(), b.end());
    }
    EXPECT_EQ(device->played(), expected);
    EXPECT_EQ(stream.freeSlots(), 3);
    EXPECT_EQ(stream.bufferCount(), 0u);
}

TEST_F(LoopStreams, PlaybackCloseReleasesBuffersAtTheDeviceAndLateNotificationsChangeNothing) {
    PlaybackStream stream(platform);
    stream.setNumBuffers(3);
    stream.open(format, 0);
    const auto block = bytes(65, 0);
    stream.play(block.data(), 65);
    stream.play(block.data(), 65);
    MemoryWaveOut* device = platform.lastWaveOut();
    ASSERT_TRUE(device->completeNext()); // its notification is still posted

    stream.close();
    EXPECT_EQ(stream.bufferCount(), 0u);
    EXPECT_EQ(stream.freeSlots(), 3);
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    deliverNotifications();
    EXPECT_EQ(stream.freeSlots(), 3);

    stream.open(format, 0);
    WaveHeader foreign;
    QCoreApplication::postEvent(stream.notifyWindow(), new WaveNotifyEvent(WaveMessage::WomDone, &foreign));
    deliverNotifications();
    EXPECT_EQ(stream.freeSlots(), 3);
    EXPECT_TRUE(app->errors.empty());
}

TEST_F(LoopStreams, PlaybackErrors) {
    platform.waveOutSetup(0).openResult = MMSYSERR_ALLOCATED;
    PlaybackStream stream(platform);
    stream.setNumBuffers(3);
    try {
        stream.open(format, 0);
        FAIL() << "no error";
    } catch (const PlaybackStreamError& e) {
        EXPECT_STREQ(e.what(), "WaveOutOpen The specified resource is already in use.");
    }
    EXPECT_FALSE(stream.active());

    platform.waveOutSetup(0).openResult = MMSYSERR_NOERROR;
    stream.open(format, 0);
    MemoryWaveOut* device = platform.lastWaveOut();
    const auto block = bytes(65, 0);

    // A refused block gives its slot back.
    device->setResult(WaveOp::Write, WAVERR_BADFORMAT);
    try {
        stream.play(block.data(), 65);
        FAIL() << "no error";
    } catch (const PlaybackStreamError& e) {
        EXPECT_STREQ(e.what(), "WaveOut-Write Unsupported audio format.");
    }
    device->setResult(WaveOp::Write, MMSYSERR_NOERROR);
    device->setResult(WaveOp::Prepare, 77);
    try {
        stream.play(block.data(), 65);
        FAIL() << "no error";
    } catch (const PlaybackStreamError& e) {
        EXPECT_STREQ(e.what(), "WaveOut-PrepareHeader raised an unknown error (code #77)");
    }
    EXPECT_EQ(stream.freeSlots(), 3);
    EXPECT_EQ(stream.bufferCount(), 0u);

    // A buffer the device hands back but will not let go of stays until Close.
    device->setResult(WaveOp::Prepare, MMSYSERR_NOERROR);
    stream.play(block.data(), 65);
    device->setResult(WaveOp::Unprepare, ACMERR_UNPREPARED);
    ASSERT_TRUE(device->completeNext());
    deliverNotifications();
    ASSERT_EQ(app->errors.size(), 1u);
    EXPECT_EQ(app->errors[0],
              "WaveOut-UnprepareHeader Cannot perform this action on a header that has not been prepared.");
    EXPECT_EQ(stream.freeSlots(), 2);
    stream.close();
    EXPECT_EQ(stream.bufferCount(), 0u);
}

TEST_F(LoopStreams, PlaybackToldOfEachPlayedBuffer) {
    PlaybackStream stream(platform);
    std::vector<std::uint32_t> played;
    stream.onBufferPlayed = [&](PlaybackStream*, WaveHeader* header) {
        played.push_back(header->bufferLength);
    };
    stream.open(format, 0);
    const auto block = bytes(130, 0);
    stream.play(block.data(), 130);
    stream.play(block.data(), 65);
    platform.lastWaveOut()->completeNext();
    platform.lastWaveOut()->completeNext();
    deliverNotifications();
    EXPECT_EQ(played, (std::vector<std::uint32_t>{130, 65}));
}

TEST(LoopStreamErrors, EveryKnownCodeHasItsText) {
    const std::vector<std::pair<MmResult, const char*>> table = {
        {2, " The specified resource does not exist."},
        {4, " The specified resource is already in use."},
        {5, " The specified handle is invalid."},
        {6, " A suitable driver is not available to provide valid format selections."},
        {7, " The system is unable to allocate resources."},
        {10, " At least one flag is invalid."},
        {11, " At least one parameter is invalid."},
        {32, " Unsupported audio format."},
        {35, " The specified device does not support asynchronous operation."},
        {512, " The requested operation cannot be performed."},
        {513, " The conversion stream is already in use."},
        {514, " Cannot perform this action on a header that has not been prepared."},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(loopStreamErrorMessage("X", code), std::string("X") + text) << code;
    for (MmResult code : {1u, 3u, 8u, 33u, 34u, 515u})
        EXPECT_EQ(loopStreamErrorMessage("WaveIn-Open", code),
                  "WaveIn-Open raised an unknown error (code #" + std::to_string(code) + ")");
}

} // namespace

int main(int argc, char** argv) {
    tavora::test::CatchingApplication application(argc, argv);
    app = &application;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
