// Tests of MemBlockDesc: little-endian numbers, sequential and range reads,
// copies and appends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "memblock/MemBlockDesc.h"

namespace veldan::test {

namespace {

std::vector<unsigned char> Bytes(const MemBlockDesc& block) {
    return std::vector<unsigned char>(block.data, block.data + block.length);
}

}  // namespace

TEST(MemBlockDesc, EmptyBlockHasNoDataPointer) {
    MemBlockDesc block;
    EXPECT_EQ(block.data, nullptr);
    EXPECT_EQ(block.length, 0u);
    ASSERT_TRUE(block.Create(nullptr, 0));
    EXPECT_EQ(block.data, nullptr);
    ASSERT_TRUE(block.Create(static_cast<size_t>(0)));
    EXPECT_EQ(block.data, nullptr);
    ASSERT_TRUE(block.Add("x"));
    block.Delete();
    EXPECT_EQ(block.data, nullptr);
    EXPECT_EQ(block.length, 0u);
}

TEST(MemBlockDesc, NumbersAreLittleEndianInTheirWidth) {
    MemBlockDesc block;
    ASSERT_TRUE(block.Add(static_cast<uint8_t>(0xA1)));
    ASSERT_TRUE(block.Add(static_cast<uint16_t>(0x0201)));
    ASSERT_TRUE(block.Add(static_cast<uint32_t>(0x00020200)));
    ASSERT_TRUE(block.Add(static_cast<int64_t>(-2)));
    ASSERT_TRUE(block.Add(1.0));
    ASSERT_TRUE(block.Add("ab"));
    const std::vector<unsigned char> expected = {
        0xA1,                                            // uint8
        0x01, 0x02,                                      // uint16
        0x00, 0x02, 0x02, 0x00,                          // uint32
        0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // int64 -2
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // double 1.0
        'a',  'b',  0x00,                                // text with its zero
    };
    EXPECT_EQ(Bytes(block), expected);
}

TEST(MemBlockDesc, SequentialReadsReturnWhatWasAdded) {
    MemBlockDesc block;
    block.Add(static_cast<uint8_t>(7));
    block.Add(static_cast<uint16_t>(65535));
    block.Add(static_cast<uint32_t>(0xDEADBEEF));
    block.Add(static_cast<uint64_t>(0x1000002E8ull));
    block.Add(static_cast<int64_t>(INT64_MIN));
    block.Add(-0.125);
    block.Add("KAMBRE");
    block.Add("", 0);
    block.Add("xyz", 3);

    size_t pos = 0;
    EXPECT_EQ(block.Read(pos, static_cast<uint8_t>(0)), 7);
    EXPECT_EQ(block.Read(pos, static_cast<uint16_t>(0)), 65535);
    EXPECT_EQ(block.Read(pos, 0u), 0xDEADBEEFu);
    EXPECT_EQ(block.Read(pos, static_cast<uint64_t>(0)), 0x1000002E8ull);
    EXPECT_EQ(block.Read(pos, static_cast<int64_t>(0)), INT64_MIN);
    EXPECT_EQ(block.Read(pos, 0.0), -0.125);
    EXPECT_STREQ(block.Read(pos, static_cast<const char*>(nullptr)), "KAMBRE");
    char three[3];
    EXPECT_TRUE(block.Read(pos, three, 3));
    EXPECT_EQ(std::memcmp(three, "xyz", 3), 0);
    EXPECT_EQ(pos, block.length);
}

TEST(MemBlockDesc, ExhaustedReadsGiveDefaultsAndStayExhausted) {
    MemBlockDesc block;
    block.Add(static_cast<uint16_t>(0x1234));
    block.Add(static_cast<uint8_t>(9));
    size_t pos = 1;  // misaligned on purpose: only two bytes remain
    EXPECT_EQ(block.Read(pos, 77u), 77u);
    EXPECT_EQ(pos, block.length);
    // Once exhausted, even a one-byte read gives its default.
    EXPECT_EQ(block.Read(pos, static_cast<uint8_t>(5)), 5);
    EXPECT_EQ(block.Read(pos, 2.5), 2.5);
    EXPECT_STREQ(block.Read(pos, "none"), "none");

    char buffer[4] = {'q', 'q', 'q', 'q'};
    pos = 0;
    EXPECT_FALSE(block.Read(pos, buffer, 4));
    EXPECT_EQ(pos, block.length);
    for (char c : buffer) EXPECT_EQ(c, 0) << "the buffer is cleared, not left with stale bytes";

    pos = 1000;  // far beyond the end
    EXPECT_EQ(block.Read(pos, static_cast<uint8_t>(3)), 3);
    EXPECT_EQ(pos, block.length);
}

TEST(MemBlockDesc, TextWithoutTerminatorIsNotReadPastTheEnd) {
    MemBlockDesc block;
    block.Add("abc", 3);  // no zero byte
    size_t pos = 0;
    EXPECT_STREQ(block.Read(pos, "fallback"), "fallback");
    EXPECT_EQ(pos, 3u);
    const char* text = nullptr;
    pos = 0;
    EXPECT_FALSE(block.Get(pos, text));
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(text, nullptr);
}

TEST(MemBlockDesc, CheckedGetLeavesPositionOnFailure) {
    MemBlockDesc block;
    block.Add(static_cast<uint32_t>(42));
    size_t pos = 0;
    uint64_t wide = 99;
    EXPECT_FALSE(block.Get(pos, wide));
    EXPECT_EQ(wide, 99u);
    EXPECT_EQ(pos, 0u);
    uint32_t narrow = 0;
    EXPECT_TRUE(block.Get(pos, narrow));
    EXPECT_EQ(narrow, 42u);
    EXPECT_EQ(pos, 4u);
    EXPECT_EQ(block.Remaining(pos), 0u);
    EXPECT_EQ(block.Remaining(100), 0u);
}

TEST(MemBlockDesc, RangeReadRefusesAnythingOutside) {
    MemBlockDesc block("0123456789", 10);
    char out[10] = {};
    EXPECT_TRUE(block.Read(out, 7, 3));
    EXPECT_EQ(std::memcmp(out, "789", 3), 0);
    EXPECT_TRUE(block.Read(out, 10, 0));
    EXPECT_FALSE(block.Read(out, 8, 3));
    EXPECT_FALSE(block.Read(out, 11, 0));
    // offset + length wrapping around must not pass the check
    EXPECT_FALSE(block.Read(out, 5, SIZE_MAX - 2));
    EXPECT_FALSE(block.Read(nullptr, 0, 1));
}

TEST(MemBlockDesc, CreateAllocatesClearedBytes) {
    MemBlockDesc block("junkjunk", 8);
    ASSERT_TRUE(block.Create(5, false));
    ASSERT_EQ(block.length, 5u);
    for (size_t i = 0; i < block.length; ++i) EXPECT_EQ(block.data[i], 0);
}

TEST(MemBlockDesc, SetKeepsThePrefixAndReplacesTheRest) {
    MemBlockDesc block("abcdef", 6);
    ASSERT_TRUE(block.Set("XY", 2, 2));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.length), "abXY");
    ASSERT_TRUE(block.Set("Z", 1, 6));  // beyond the end: the gap is zeros
    EXPECT_EQ(Bytes(block), (std::vector<unsigned char>{'a', 'b', 'X', 'Y', 0, 0, 'Z'}));
    ASSERT_TRUE(block.Set("new", 3));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.length), "new");
    EXPECT_FALSE(block.Set(nullptr, 3));
    EXPECT_EQ(block.length, 3u);
}

TEST(MemBlockDesc, SourcesInsideTheBlockItselfAreSafe) {
    MemBlockDesc block("hello world", 11);
    ASSERT_TRUE(block.Create(block.data + 6, 5));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.length), "world");
    ASSERT_TRUE(block.AddPart(block));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.length), "worldworld");
    // Appending its own bytes while the storage has to grow.
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(block.Add(block.data, block.length));
    EXPECT_EQ(block.length, 640u);
    EXPECT_EQ(std::memcmp(block.data + 630, "worldworld", 10), 0);
}

TEST(MemBlockDesc, CopiesOwnTheirBytes) {
    MemBlockDesc a("abc", 3);
    MemBlockDesc b(a);
    ASSERT_NE(a.data, b.data);
    b.data[0] = 'X';
    EXPECT_EQ(a.data[0], 'a');
    MemBlockDesc c;
    c = a;
    EXPECT_TRUE(c == a);
    EXPECT_FALSE(c == b);
    MemBlockDesc moved(std::move(c));
    EXPECT_EQ(c.data, nullptr);
    EXPECT_TRUE(moved == a);
}

TEST(MemBlockDesc, AppendsOfManySmallPiecesKeepEveryByte) {
    MemBlockDesc block;
    for (uint32_t i = 0; i < 10000; ++i) ASSERT_TRUE(block.Add(i));
    size_t pos = 0;
    for (uint32_t i = 0; i < 10000; ++i) ASSERT_EQ(block.Read(pos, 0xFFFFFFFFu), i);
    EXPECT_EQ(pos, block.length);
}

TEST(MemBlockDescView, ViewNeverFreesOrWritesItsSource) {
    std::vector<unsigned char> source = {1, 2, 3, 4, 5, 6};
    {
        MemBlockDesc view;
        ASSERT_TRUE(view.View(source.data(), source.size()));
        EXPECT_TRUE(view.IsView());
        EXPECT_EQ(view.data, source.data());
        // A change turns the view into its own copy first.
        ASSERT_TRUE(view.Add(static_cast<uint8_t>(7)));
        EXPECT_FALSE(view.IsView());
        EXPECT_NE(view.data, source.data());
        EXPECT_EQ(view.length, 7u);
        view.data[0] = 99;
    }  // destroying the copy frees only its own bytes (ASan checks the rest)
    EXPECT_EQ(source[0], 1);
    EXPECT_EQ(source.size(), 6u);

    MemBlockDesc view;
    view.View(source.data(), source.size());
    view.Delete();
    EXPECT_EQ(view.data, nullptr);
    EXPECT_EQ(source[5], 6);
}

TEST(MemBlockDescView, ViewOfAPartIsBoundsChecked) {
    MemBlockDesc record;
    record.Add(static_cast<uint32_t>(3));
    record.Add("abc", 3);
    record.Add(static_cast<uint8_t>(0xEE));

    MemBlockDesc part;
    ASSERT_TRUE(part.View(record, 4, 3));
    EXPECT_EQ(part.length, 3u);
    EXPECT_EQ(part.data, record.data + 4);
    size_t pos = 0;
    EXPECT_EQ(part.Read(pos, 0u), 0u) << "reads stop at the end of the view";
    EXPECT_EQ(pos, 3u);

    EXPECT_FALSE(part.View(record, 4, 5));
    EXPECT_FALSE(part.View(record, 9, 0));
    EXPECT_FALSE(part.View(record, 1, SIZE_MAX));
    EXPECT_EQ(part.data, record.data + 4) << "a refused view leaves the block unchanged";
    ASSERT_TRUE(part.View(record, 8, 0));
    EXPECT_EQ(part.data, nullptr);

    // A copy of a view owns its bytes and outlives the source.
    MemBlockDesc copy;
    {
        MemBlockDesc source("temporary", 9);
        MemBlockDesc v;
        v.View(source, 0, 4);
        copy = v;
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(copy.data), copy.length), "temp");
}

TEST(MemBlockDescView, ViewOfItselfKeepsTheBytesAlive) {
    MemBlockDesc block("0123456789", 10);
    ASSERT_TRUE(block.View(block, 2, 3));
    EXPECT_FALSE(block.IsView());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data), block.length), "234");
}

TEST(MemBlockDesc, ReadsNeverTrustALengthBeyondTheStorage) {
    MemBlockDesc block("abcd", 4);
    block.length = 1 << 20;  // a caller's mistake must not turn into a wild read
    char out[8];
    EXPECT_FALSE(block.Read(out, (1 << 20) - 8, 8));
    size_t pos = 0;
    EXPECT_EQ(block.Read(pos, 5u), static_cast<uint32_t>('a' | 'b' << 8 | 'c' << 16 | 'd' << 24));
    // Sequential reads stop at the end of the storage, long before the
    // claimed length.
    for (int i = 0; i < 100; ++i) block.Read(pos, static_cast<uint64_t>(0));
    EXPECT_LT(pos, 4096u);
    block.length = 4;
}

TEST(MemBlockDesc, RandomEditsMatchAPlainByteVector) {
    // Long runs of mixed edits, including views and sources inside the block
    // itself, checked after every step against a std::vector model.
    std::mt19937 random(20240611u);
    MemBlockDesc block;
    std::vector<unsigned char> model;
    std::vector<unsigned char> outside(300);
    for (size_t i = 0; i < outside.size(); ++i) outside[i] = static_cast<unsigned char>(i * 13);

    for (int step = 0; step < 20000; ++step) {
        const unsigned op = random() % 8;
        const size_t n = random() % 40;
        switch (op) {
            case 0: {  // append from outside
                const size_t at = random() % (outside.size() - n);
                ASSERT_TRUE(block.Add(outside.data() + at, n));
                model.insert(model.end(), outside.begin() + at, outside.begin() + at + n);
                break;
            }
            case 1: {  // append a part of itself
                if (model.empty()) break;
                const size_t at = random() % model.size();
                const size_t k = std::min(n, model.size() - at);
                ASSERT_TRUE(block.Add(block.data + at, k));
                std::vector<unsigned char> part(model.begin() + at, model.begin() + at + k);
                model.insert(model.end(), part.begin(), part.end());
                break;
            }
            case 2: {  // Set at an offset, possibly beyond the end
                const size_t offset = random() % (model.size() + 10);
                const size_t at = random() % (outside.size() - n);
                ASSERT_TRUE(block.Set(outside.data() + at, n, offset));
                model.resize(offset, 0);
                model.insert(model.end(), outside.begin() + at, outside.begin() + at + n);
                break;
            }
            case 3: {  // become a view of the outside bytes
                const size_t at = random() % (outside.size() - n);
                ASSERT_TRUE(block.View(outside.data() + at, n));
                model.assign(outside.begin() + at, outside.begin() + at + n);
                break;
            }
            case 4:  // shrink to a part of itself
                if (model.size() > 4) {
                    const size_t k = model.size() / 2;
                    ASSERT_TRUE(block.Create(block.data + 1, k));
                    model = std::vector<unsigned char>(model.begin() + 1, model.begin() + 1 + k);
                }
                break;
            case 5:
                if (random() % 50 == 0) {
                    block.Delete();
                    model.clear();
                }
                break;
            case 6: {  // numbers
                const uint32_t v = static_cast<uint32_t>(random());
                ASSERT_TRUE(block.Add(v));
                for (int i = 0; i < 4; ++i) model.push_back(static_cast<unsigned char>(v >> (8 * i)));
                break;
            }
            default:
                if (model.size() < 4000) {
                    ASSERT_TRUE(block.AddPart(block));
                    std::vector<unsigned char> copy = model;
                    model.insert(model.end(), copy.begin(), copy.end());
                }
                break;
        }
        ASSERT_EQ(block.length, model.size()) << "step " << step;
        ASSERT_EQ(block.data == nullptr, model.empty()) << "step " << step;
        if (!model.empty()) {
            ASSERT_EQ(std::memcmp(block.data, model.data(), model.size()), 0) << "step " << step;
        }
    }
    for (size_t i = 0; i < outside.size(); ++i)
        ASSERT_EQ(outside[i], static_cast<unsigned char>(i * 13)) << "a view wrote into its source";
}

}  // namespace veldan::test
