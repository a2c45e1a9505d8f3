#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "libraries/KvWire.h"

namespace {

using namespace kv::wire;

Request SampleRequest() {
    Request r;
    r.sequence = 0x01020304;
    r.address = 7;
    r.function = 204;
    r.peripheral = 1;
    r.command = 0x7E;  // the serial flag byte, on purpose
    r.data[0] = 0;
    r.data[1] = 250;
    r.data[2] = 0x7D;
    r.data[3] = 0;
    return r;
}

Reply SampleReply() {
    Reply r;
    r.sequence = 0xFFFFFFFE;
    r.status = 21;
    r.replyValue = 0x7D;
    for (std::size_t i = 0; i < 260; ++i) r.data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return r;
}

TEST(KvWireTest, CrcIsCcittFalse) {
    // The published check value of CRC-16/CCITT-FALSE over "123456789".
    const std::string check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x29B1);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);

    // Against the textbook bit-at-a-time form, over lengths and contents of all kinds.
    auto bitwise = [](const std::vector<std::uint8_t>& bytes) {
        std::uint16_t crc = 0xFFFF;
        for (auto byte : bytes) {
            crc ^= static_cast<std::uint16_t>(byte << 8);
            for (int b = 0; b < 8; ++b)
                crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        return crc;
    };
    std::vector<std::uint8_t> bytes;
    for (unsigned n = 0; n < 400; ++n) {
        EXPECT_EQ(Crc16(bytes.data(), bytes.size()), bitwise(bytes)) << n;
        bytes.push_back(static_cast<std::uint8_t>(n * 151 + (n >> 3)));
    }
}

TEST(KvWireTest, RequestRoundTripKeepsEveryFieldAndTrimsTrailingZeros) {
    Request in = SampleRequest();
    auto bytes = EncodeRequest(in);
    // Data up to the last non-zero byte (index 2) travels, no further.
    EXPECT_EQ(bytes.size(), kRequestHeader + 3 + kCrcSize);
    auto out = DecodeRequest(bytes.data(), bytes.size());
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->sequence, in.sequence);
    EXPECT_EQ(out->address, in.address);
    EXPECT_EQ(out->function, in.function);
    EXPECT_EQ(out->peripheral, in.peripheral);
    EXPECT_EQ(out->command, in.command);
    EXPECT_EQ(out->data, in.data);
}

TEST(KvWireTest, EncodedBytesFollowTheDocumentedLayout) {
    Request rq;
    rq.sequence = 0x04030201;
    rq.address = 0xA1;
    rq.function = 205;
    rq.peripheral = 7;
    rq.command = 0x7E;
    rq.data[0] = 0x11;
    rq.data[9] = 0x22;  // data[1..8] are zeros inside the data: they travel
    std::vector<std::uint8_t> expected = {'K',  'V',  '3', '8', 1,    1,  0x01, 0x02, 0x03,
                                          0x04, 0xA1, 205, 7,   0x7E, 10, 0,    0x11, 0,
                                          0,    0,    0,   0,   0,    0,  0,    0x22};
    std::uint16_t crc = Crc16(expected.data(), expected.size());
    expected.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    expected.push_back(static_cast<std::uint8_t>(crc >> 8));
    EXPECT_EQ(EncodeRequest(rq), expected);

    Reply rp;
    rp.sequence = 0xDDCCBBAA;
    rp.status = 21;
    rp.replyValue = 2;
    rp.data[2] = 0x33;
    expected = {'K', 'V', '3', '8', 1, 2, 0xAA, 0xBB, 0xCC, 0xDD, 21, 2, 3, 0, 0, 0, 0x33};
    crc = Crc16(expected.data(), expected.size());
    expected.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    expected.push_back(static_cast<std::uint8_t>(crc >> 8));
    EXPECT_EQ(EncodeReply(rp), expected);
}

TEST(KvWireTest, TheLastNonZeroByteDecidesTheLengthWhereverItIs) {
    for (std::size_t last = 0; last < kDataWords; ++last) {
        Request rq;
        rq.sequence = static_cast<std::uint32_t>(last);
        rq.data[last] = static_cast<std::uint8_t>(last | 1);
        if (last > 0) rq.data[last / 2] = 0x80;  // a byte before it changes nothing
        auto bytes = EncodeRequest(rq);
        ASSERT_EQ(bytes.size(), kRequestHeader + last + 1 + kCrcSize) << last;
        auto back = DecodeRequest(bytes.data(), bytes.size());
        ASSERT_TRUE(back.has_value()) << last;
        EXPECT_EQ(back->data, rq.data) << last;

        Reply rp;
        rp.data[last] = 0xFF;
        EXPECT_EQ(EncodeReply(rp).size(), kReplyHeader + last + 1 + kCrcSize) << last;
    }
}

TEST(KvWireTest, ReplyRoundTripWithFullAndEmptyData) {
    Reply full = SampleReply();
    full.data.fill(0xFF);
    auto bytes = EncodeReply(full);
    EXPECT_EQ(bytes.size(), kReplyHeader + kDataWords + kCrcSize);
    auto out = DecodeReply(bytes.data(), bytes.size());
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->data, full.data);

    Reply empty;
    empty.sequence = 5;
    bytes = EncodeReply(empty);
    EXPECT_EQ(bytes.size(), kReplyHeader + kCrcSize);
    out = DecodeReply(bytes.data(), bytes.size());
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->sequence, 5u);
    EXPECT_EQ(out->status, 0);
    for (auto b : out->data) EXPECT_EQ(b, 0);
}

TEST(KvWireTest, EveryFlippedBitIsRejected) {
    auto good = EncodeReply(SampleReply());
    ASSERT_TRUE(DecodeReply(good.data(), good.size()).has_value());
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            auto bad = good;
            bad[i] ^= static_cast<std::uint8_t>(1u << bit);
            EXPECT_FALSE(DecodeReply(bad.data(), bad.size()).has_value())
                << "byte " << i << " bit " << bit;
        }
    }
}

TEST(KvWireTest, WrongSizesTypesAndLengthsAreRejected) {
    auto req = EncodeRequest(SampleRequest());
    auto rep = EncodeReply(SampleReply());
    // A request is no reply and the other way round, although both are well formed.
    EXPECT_FALSE(DecodeReply(req.data(), req.size()).has_value());
    EXPECT_FALSE(DecodeRequest(rep.data(), rep.size()).has_value());
    EXPECT_FALSE(DecodeReply(nullptr, rep.size()).has_value());
    for (std::size_t n = 0; n < rep.size(); ++n)
        EXPECT_FALSE(DecodeReply(rep.data(), n).has_value()) << n;
    auto longer = rep;
    longer.push_back(0);
    EXPECT_FALSE(DecodeReply(longer.data(), longer.size()).has_value());

    // A length field beyond 300 with a CRC that fits is still refused.
    std::vector<std::uint8_t> huge = {'K', 'V', '3', '8', kVersion, kTypeReply, 1, 0, 0, 0, 0, 0};
    huge.push_back(0x2D);  // 301
    huge.push_back(0x01);
    huge.resize(kReplyHeader + 301, 0x11);
    auto crc = Crc16(huge.data(), huge.size());
    huge.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    huge.push_back(static_cast<std::uint8_t>(crc >> 8));
    EXPECT_FALSE(DecodeReply(huge.data(), huge.size()).has_value());
}

TEST(KvWireTest, SerialFramingSurvivesFlagBytesSplitsAndNoise) {
    auto a = EncodeRequest(SampleRequest());
    auto b = EncodeReply(SampleReply());
    auto fa = FrameForSerial(a);
    auto fb = FrameForSerial(b);
    // Escaping must hide every flag inside the frame.
    for (std::size_t i = 1; i + 1 < fa.size(); ++i) EXPECT_NE(fa[i], 0x7E);

    std::vector<std::uint8_t> stream = {0x00, 0x13, 0x7D};  // noise, even a dangling escape
    stream.insert(stream.end(), fa.begin(), fa.end());
    stream.insert(stream.end(), fb.begin(), fb.end());

    SerialDeframer whole;
    auto frames = whole.Feed(stream.data(), stream.size());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], a);
    EXPECT_EQ(frames[1], b);

    SerialDeframer byByte;
    std::vector<std::vector<std::uint8_t>> got;
    for (auto byte : stream)
        for (auto& f : byByte.Feed(&byte, 1)) got.push_back(f);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], a);
    EXPECT_EQ(got[1], b);
}

TEST(KvWireTest, OverlongSerialFrameIsDroppedAndTheNextOneStillArrives) {
    std::vector<std::uint8_t> stream = {0x7E};
    stream.insert(stream.end(), kMaxDatagram + 50, 0x41);
    stream.push_back(0x7E);
    auto good = EncodeRequest(SampleRequest());
    auto framed = FrameForSerial(good);
    stream.insert(stream.end(), framed.begin(), framed.end());
    SerialDeframer d;
    auto frames = d.Feed(stream.data(), stream.size());
    // Whatever the deframer made of the noise, the good frame must be among the results
    // and nothing longer than a datagram may come out.
    bool found = false;
    for (const auto& f : frames) {
        EXPECT_LE(f.size(), kMaxDatagram);
        if (f == good) found = true;
    }
    EXPECT_TRUE(found);
}

TEST(KvWireTest, DeviceNamesAndFolder) {
    EXPECT_EQ(SerialFromDeviceName("dev-00000001.sock"), std::optional<std::string>("00000001"));
    EXPECT_FALSE(SerialFromDeviceName("dev-0000001.sock").has_value());
    EXPECT_FALSE(SerialFromDeviceName("dev-000000001.sock").has_value());
    EXPECT_FALSE(SerialFromDeviceName("cli-00000001.sock").has_value());
    EXPECT_FALSE(SerialFromDeviceName("dev-00000001.sockx").has_value());
    EXPECT_FALSE(SerialFromDeviceName("").has_value());
    EXPECT_EQ(UsbDevicePath("/x/y", "ABCDEFGH"), "/x/y/dev-ABCDEFGH.sock");

#ifndef _WIN32  // the virtual USB devices live on Linux only
    setenv("KV3380U_USB_DIR", "/tmp/kv-wire-test-folder", 1);
    EXPECT_EQ(UsbDeviceFolder(), "/tmp/kv-wire-test-folder");
    // An empty override means none.
    setenv("KV3380U_USB_DIR", "", 1);
    EXPECT_NE(UsbDeviceFolder(), "");
    unsetenv("KV3380U_USB_DIR");
#endif
}

}  // namespace
