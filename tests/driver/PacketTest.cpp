// Frames byte by byte: encoding, decoding with junk and lost headers, the
// echo test, the traffic log line and the number form of commands.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "DeviceText.h"
#include "FakeTick.h"
#include "Pelkor.h"
#include "TestHome.h"

namespace veldan::test {

namespace {

std::vector<uint8_t> Drain(DynamicQueue& queue) {
    std::vector<uint8_t> bytes(queue.GetLength());
    if (!bytes.empty()) queue.Pop(bytes.data(), bytes.size());
    return bytes;
}

void Push(DynamicQueue& queue, std::vector<uint8_t> bytes) { queue.Push(bytes.data(), bytes.size()); }

std::string Text(const PelkorPacket& packet) { return veldan::driver::PayloadText(packet); }

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(PacketFraming, NewPacketHasDescribedDefaults) {
    PelkorPacket p;
    EXPECT_EQ(p.formatWord, 0x0100);
    EXPECT_EQ(p.kind, 0);
    EXPECT_EQ(p.busId, 0);
    EXPECT_EQ(p.payload.data, nullptr);
    EXPECT_FALSE(p.expectEcho || p.awaitAnswer || p.serialize || p.setsBusy || p.immediate);
    EXPECT_EQ(p.dueTime, 0u);
    EXPECT_EQ(p.sendCount, 0u);
}

TEST(PacketFraming, EncodesHeaderPayloadAndCarriageReturnInOnePush) {
    PelkorPacket p;
    p.kind = PELKOR_KIND_COMMAND;
    p.busId = 3;
    p.SetPayload("G0");
    p.formatWord = 0x0200;  // repaired before use
    DynamicQueue q;
    ASSERT_TRUE(p.StreamOut(&q));
    EXPECT_EQ(p.formatWord, 0x0100);
    EXPECT_EQ(Drain(q), (std::vector<uint8_t>{0xC3, 0x47, 0x30, 0x0D}));

    PelkorPacket empty;
    EXPECT_FALSE(empty.StreamOut(&q)) << "no payload bytes allocated";
    EXPECT_FALSE(p.StreamOut(nullptr));
    EXPECT_EQ(q.GetLength(), 0u);
}

TEST(PacketFraming, DecodingDropsJunkBeforeTheHeader) {
    DynamicQueue q;
    Push(q, {0x41, 0xC1, 0x62, 0x0D});
    PelkorPacket p;
    ASSERT_TRUE(p.StreamIn(&q));
    EXPECT_EQ(p.kind, PELKOR_KIND_COMMAND);
    EXPECT_EQ(p.busId, 1);
    EXPECT_EQ(Text(p), "b");
    EXPECT_EQ(q.GetLength(), 0u);
}

TEST(PacketFraming, DecodingDropsAFrameWhoseHeaderWasLost) {
    DynamicQueue q;
    Push(q, {0x61, 0x62, 0x0D, 0xA2, 0x70, 0x0D});
    PelkorPacket p;
    ASSERT_TRUE(p.StreamIn(&q));
    EXPECT_EQ(p.kind, PELKOR_KIND_ANSWER);
    EXPECT_EQ(p.busId, 2);
    EXPECT_EQ(Text(p), "p");
    EXPECT_FALSE(p.StreamIn(&q));
}

TEST(PacketFraming, IncompleteFrameWaitsForItsTerminator) {
    DynamicQueue q;
    Push(q, {0xC5, 0x78});
    PelkorPacket p;
    EXPECT_FALSE(p.StreamIn(&q));
    EXPECT_EQ(q.GetLength(), 2u);
    Push(q, {0x0D});
    ASSERT_TRUE(p.StreamIn(&q));
    EXPECT_EQ(p.busId, 5);
    EXPECT_EQ(Text(p), "x");
}

TEST(PacketFraming, LastHeaderBeforeTerminatorWinsAndEmptyPayloadEqualsNothing) {
    DynamicQueue q;
    Push(q, {0xC1, 0x41, 0xA3, 0x70, 0x31, 0x0D, 0xC7, 0x0D});
    PelkorPacket p;
    ASSERT_TRUE(p.StreamIn(&q));
    EXPECT_EQ(p.busId, 3);
    EXPECT_EQ(Text(p), "p1");
    PelkorPacket e;
    ASSERT_TRUE(e.StreamIn(&q));
    EXPECT_EQ(e.busId, 7);
    EXPECT_EQ(e.PayloadLength(), 0u);
    EXPECT_FALSE(e == e) << "a packet without payload equals no packet";
    EXPECT_FALSE(e == p);
}

TEST(PacketFraming, ManyFramesInOneChunkDecodeInOrder) {
    DynamicQueue q;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 50; ++i) {
        bytes.push_back(static_cast<uint8_t>(0xA0 | (i % 32)));
        std::string text = "p" + std::to_string(i * 7);
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0x0D);
    }
    Push(q, bytes);
    for (int i = 0; i < 50; ++i) {
        PelkorPacket p;
        ASSERT_TRUE(p.StreamIn(&q));
        EXPECT_EQ(p.busId, i % 32);
        EXPECT_EQ(Text(p), "p" + std::to_string(i * 7));
    }
    EXPECT_EQ(q.GetLength(), 0u);
}

TEST(PacketFraming, EndlessNoiseWithoutTerminatorDoesNotPileUp) {
    DynamicQueue q;
    std::vector<uint8_t> noise(5000, 0x55);
    noise[4990] = 0xC2;  // the start of a frame that may still complete
    Push(q, noise);
    PelkorPacket p;
    EXPECT_FALSE(p.StreamIn(&q));
    EXPECT_EQ(q.GetLength(), 10u);
    Push(q, {0x0D});
    ASSERT_TRUE(p.StreamIn(&q));
    EXPECT_EQ(p.busId, 2);
    EXPECT_EQ(Text(p), std::string(9, 'U'));
}

TEST(PacketFraming, HeaderWithoutBitSixGivesUndefinedKind) {
    DynamicQueue q;
    Push(q, {0x9F, 0x7A, 0x0D});
    PelkorPacket p;
    ASSERT_TRUE(p.StreamIn(&q));
    EXPECT_EQ(p.kind, 0x80);
    EXPECT_EQ(p.busId, 31);
    EXPECT_NE(p.LogLine(5).find("\tUDF\t"), std::string::npos);
}

TEST(PacketEcho, ComparesPayloadBytesOnly) {
    PelkorPacket a, b, c;
    a.SetPayload("p");
    a.kind = PELKOR_KIND_COMMAND;
    a.busId = 1;
    b.SetPayload("p");
    b.kind = PELKOR_KIND_ANSWER;
    b.busId = 9;
    b.expectEcho = true;
    c.SetPayload("p1");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    PelkorPacket copy(c);
    EXPECT_TRUE(copy == c);
    EXPECT_NE(copy.payload.data, c.payload.data) << "a copy owns its payload";
}

TEST(PacketTime, TimestampCarriesIntoTheHighWord) {
    ScopedFakeTick tick(0xFFFFFF00ull);
    PelkorPacket p;
    p.SetTimestamp();
    EXPECT_EQ(p.dueTime, 0x1000002E8ull);
    tick.Set(0x1234567890ull);
    EXPECT_EQ(PelkorPacket::GetCurrentTimestamp(), 0x1234567890ull) << "never truncated to 32 bits";
}

TEST(PacketLog, LineHasTickKindFlagsAddressColumnsAndPayload) {
    PelkorPacket p;
    p.kind = PELKOR_KIND_COMMAND;
    p.busId = 2;
    p.SetPayload("w");
    p.expectEcho = p.serialize = p.awaitAnswer = true;
    EXPECT_EQ(p.LogLine(123456), "123456\tCMD\t[E  SW]\t2\t\t\tw");
    p.kind = PELKOR_KIND_ANSWER;
    p.busId = 0;
    p.expectEcho = p.serialize = p.awaitAnswer = false;
    p.setsBusy = p.immediate = true;
    EXPECT_EQ(p.LogLine(1), "1\tANS\t[ DI  ]\t0\tw");
    p.kind = PELKOR_KIND_BROADCAST;
    EXPECT_NE(p.LogLine(1).find("\tBRC\t"), std::string::npos);
    p.kind = 0x20;
    EXPECT_NE(p.LogLine(1).find("\tUDF\t"), std::string::npos);
}

TEST(PacketLog, WritesCrLfLinesToAStream) {
    TestHome home;
    ScopedFakeTick tick(777);
    const auto path = home.Root() / "traffic.log";
    DynStream* stream = dyn_fopen(path.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    PelkorPacket p;
    p.kind = PELKOR_KIND_COMMAND;
    p.busId = 1;
    p.SetPayload("G0");
    EXPECT_TRUE(p.LogToStream(stream));
    EXPECT_FALSE(p.LogToStream(nullptr));
    ASSERT_EQ(dyn_fclose(stream), 0);
    EXPECT_EQ(ReadFile(path), "777\tCMD\t[     ]\t1\t\tG0\r\n");
}

TEST(NumberForm, FixedWidthZeroPaddedWithOptionalSign) {
    using veldan::driver::FormatNumberCommand;
    EXPECT_EQ(FormatNumberCommand("S", -1234, 8, true), "S-0001234");
    EXPECT_EQ(FormatNumberCommand("F", 750, 5, false), "F00750");
    EXPECT_EQ(FormatNumberCommand("F", -750, 5, false), "F00750");
    EXPECT_EQ(FormatNumberCommand("A", 123456, 5, false), "A23456");
    EXPECT_EQ(FormatNumberCommand("S", 5, 1, true), "S+");
    EXPECT_EQ(FormatNumberCommand("S", 0, 8, true), "S+0000000");
    EXPECT_EQ(FormatNumberCommand("E", 1, 1, false), "E1");
    EXPECT_EQ(FormatNumberCommand("S", INT64_MIN, 8, true), "S-4775808");
}

TEST(Version, IsTwoOneZero) {
    int32_t major = 0, minor = 0, build = -1;
    Pelkor_version(&major, &minor, &build);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(build, 0);
    Pelkor_version(nullptr, nullptr, nullptr);
}

}  // namespace veldan::test
