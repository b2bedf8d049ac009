// The firmware request byte for byte: boundary, part head and tail, the seven headers and their
// order, the declared length, and the chunking of the image.
#include <gtest/gtest.h>

#include <numeric>

#include "camera/UploadBody.h"

namespace xqt {
namespace {

constexpr std::int64_t kTime = 1796565900;  // a 10-digit time, as today
const std::string kBoundary = "---------------------------7d1796565900";

TEST(UploadBodyTest, TheBoundaryIsTheFixedPrefixAndTheDecimalTime) {
    EXPECT_EQ(MakeBoundary(kTime), kBoundary);
    EXPECT_EQ(MakeBoundary(kTime).size(), 39u);
    EXPECT_EQ(MakeBoundary(7), "---------------------------7d7");
}

TEST(UploadBodyTest, HeadAndTailCarryTheBoundaryWithoutLeadingDashes) {
    EXPECT_EQ(PartHead(kBoundary, FIRMWARE_FIELD, FIRMWARE_FILE),
              "\r\n" + kBoundary +
                  "\r\nContent-Disposition: form-data; name=\"setting_file\"; filename=\"upgrade.bin\"\r\n"
                  "Content-Type: application/octet-stream\r\n\r\n");
    EXPECT_EQ(PartTail(kBoundary), "\r\n" + kBoundary + "--\r\n\r\n");
    EXPECT_EQ(PartHead(kBoundary, FIRMWARE_FIELD, FIRMWARE_FILE).size(), 162u);
    EXPECT_EQ(PartTail(kBoundary).size(), 47u);
}

TEST(UploadBodyTest, ContentLengthIsHeadPlusTailPlusTheImage) {
    for (std::uint64_t size : {0ull, 1ull, 1460ull, 10'035'200ull}) {
        const MultipartUpload upload =
            MakeMultipartUpload(kTime, FIRMWARE_FIELD, FIRMWARE_FILE, size, "Y3JlZA==");
        EXPECT_EQ(upload.contentLength, 162 + 47 + size);
    }
}

TEST(UploadBodyTest, TheSevenHeadersComeInTheirOrder) {
    const MultipartUpload upload =
        MakeMultipartUpload(kTime, FIRMWARE_FIELD, FIRMWARE_FILE, 10'035'200, "YWRtaW46YWRtaW4=");
    const std::vector<std::string> expected = {
        "Content-Type: multipart/form-data; boundary=" + kBoundary + "\r\n",
        "Accept-Encoding: gzip, deflate\r\n",
        "Connection: Keep-Alive\r\n",
        "Proxy-Connection: Keep-Alive\r\n",
        "Cache-Control: no-cache\r\n",
        "Content-Length: 10035409\r\n",
        "Authorization: Basic YWRtaW46YWRtaW4=\r\n",
    };
    EXPECT_EQ(upload.headers, expected);
    EXPECT_EQ(upload.boundary, kBoundary);
}

TEST(UploadBodyTest, TheConfigurationRestoreUsesTheSameLayoutWithItsOwnPart) {
    const std::string head = PartHead(kBoundary, "Restore", "temp.cfg");
    EXPECT_EQ(head.size(), 154u);
    EXPECT_NE(head.find("name=\"Restore\"; filename=\"temp.cfg\""), std::string::npos);
}

// Writes through WriteInChunks and returns the sizes of the writes.
std::vector<std::size_t> ChunkSizes(std::size_t imageSize, int failAt = -1, int* chunksCounted = nullptr,
                                    std::size_t perWrite = 1) {
    std::vector<std::uint8_t> image(imageSize);
    std::iota(image.begin(), image.end(), 0);
    std::vector<std::size_t> sizes;
    std::vector<std::uint8_t> received;
    int counted = 0;
    const bool ok = WriteInChunks(
        image,
        [&](const std::uint8_t* data, std::size_t size) {
            if (static_cast<int>(sizes.size()) == failAt) return false;
            if (perWrite == 1) {
                EXPECT_TRUE(data < image.data() || data >= image.data() + image.size())
                    << "each chunk is written from the chunk buffer, not from the image";
            }
            sizes.push_back(size);
            received.insert(received.end(), data, data + size);
            return true;
        },
        [&] { ++counted; }, {}, perWrite);
    if (chunksCounted) *chunksCounted = counted;
    EXPECT_EQ(ok, failAt < 0);
    if (ok) {
        EXPECT_EQ(received, image);
    }
    return sizes;
}

TEST(UploadBodyTest, TheImageGoesOutIn1460ByteChunks) {
    EXPECT_EQ(ChunkSizes(0), std::vector<std::size_t>{});
    EXPECT_EQ(ChunkSizes(1460), std::vector<std::size_t>{1460});
    EXPECT_EQ(ChunkSizes(1461), (std::vector<std::size_t>{1460, 1}));
    EXPECT_EQ(ChunkSizes(2920), (std::vector<std::size_t>{1460, 1460}));
    int counted = 0;
    EXPECT_EQ(ChunkSizes(10'035'200, -1, &counted).size(), 6874u);
    EXPECT_EQ(counted, 6874) << "one progress unit per chunk";

    // The upload's large writes: the same bytes and the same progress, in 157 writes.
    const auto batched = ChunkSizes(10'035'200, -1, &counted, UPLOAD_CHUNKS_PER_WRITE);
    ASSERT_EQ(batched.size(), 157u);
    EXPECT_EQ(batched.front(), 64'240u);
    EXPECT_EQ(batched.back(), 13'760u);
    EXPECT_EQ(counted, 6874);
    EXPECT_EQ(ChunkSizes(64'241, -1, &counted, UPLOAD_CHUNKS_PER_WRITE),
              (std::vector<std::size_t>{64'240, 1}));
    EXPECT_EQ(counted, 45);
}

TEST(UploadBodyTest, AFailedWriteStopsTheUploadAndCountsNoFurtherChunk) {
    int counted = 0;
    EXPECT_EQ(ChunkSizes(5000, 2, &counted).size(), 2u);
    EXPECT_EQ(counted, 2);
}

}  // namespace
}  // namespace xqt
