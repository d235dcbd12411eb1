#include "PngIo.h"
#include "Scratch.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>
#include <vector>

using namespace Varnik::Soloma::Cli;

namespace {

// Byte patterns that a byte-order or sign slip would change, then random values.
Gray16Image Pattern16(int width, int height) {
    static const unsigned short kEdges[] = {0, 65535, 1, 0x00FF, 0xFF00, 0x0102, 0x8000, 0x7FFF};
    Gray16Image image{width, height, {}};
    std::mt19937 random(width * 1000 + height);
    for (int i = 0; i < width * height; ++i) {
        image.pixels.push_back(i < 8 ? kEdges[i] : static_cast<unsigned short>(random()));
    }
    return image;
}

// The samples of a 16-bit gray file as libpng's own simplified reader sees them.
std::vector<unsigned short> ReadWithLibpng(const std::string& path) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    image.format = PNG_FORMAT_LINEAR_Y;
    std::vector<unsigned short> samples(PNG_IMAGE_SIZE(image) / 2);
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, samples.data(), 0, nullptr));
    return samples;
}

// Rewrites the width and height in the header of a PNG file, with the header's checksum, so
// that libpng accepts the header and only finds the pixel data short.
void ClaimSize(const std::filesystem::path& path, unsigned width, unsigned height) {
    std::string bytes = ReadBytes(path);
    auto* header = reinterpret_cast<unsigned char*>(&bytes[12]);  // "IHDR" and its 13 bytes
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<unsigned char>(width >> (24 - 8 * i));
        header[8 + i] = static_cast<unsigned char>(height >> (24 - 8 * i));
    }
    const auto crc = static_cast<unsigned>(crc32(0, header, 17));
    for (int i = 0; i < 4; ++i) {
        header[17 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

// Our own round trip cannot see a byte-order slip that both sides share, so libpng reads too.
TEST(PngIo, Gray16RoundTripKeepsEveryValue) {
    const auto path = (MakeScratchDir() / "frame.png").string();
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 5}, {641, 3}, {2, 257}}) {
        const Gray16Image written = Pattern16(width, height);
        std::string error;
        ASSERT_TRUE(WriteGray16Png(path, written, &error)) << error;
        Gray16Image read;
        ASSERT_TRUE(ReadGray16Png(path, &read, &error)) << error;
        EXPECT_EQ(std::pair(read.width, read.height), std::pair(width, height));
        EXPECT_EQ(read.pixels, written.pixels) << width << "x" << height;
        EXPECT_EQ(ReadWithLibpng(path), written.pixels) << width << "x" << height;
    }
}

// Each failure names the file; a failed read leaves the caller's image alone and a failed write
// leaves no file.
TEST(PngIo, FailuresNameTheFileAndLeaveNothingBehind) {
    const auto dir = MakeScratchDir();
    std::string error;
    ASSERT_TRUE(
        WritePng8((dir / "gray8.png").string(), {4, 2, 1, std::vector<unsigned char>(8)}, &error));
    std::ofstream(dir / "text.png") << "this is not a picture\n";
    ASSERT_TRUE(WriteGray16Png((dir / "cut.png").string(), Pattern16(300, 200), &error));
    std::filesystem::resize_file(dir / "cut.png", std::filesystem::file_size(dir / "cut.png") / 2);

    for (const auto& [file, reason] : {std::pair{"missing.png", "No such file"},
                                       {"gray8.png", "8-bit grayscale"},
                                       {"text.png", "not a PNG"},
                                       {"cut.png", "cannot read"}}) {
        SCOPED_TRACE(file);
        const std::string path = (dir / file).string();
        Gray16Image image = Pattern16(2, 2);
        EXPECT_FALSE(ReadGray16Png(path, &image, &error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(image.pixels, Pattern16(2, 2).pixels);
    }
    const auto nowhere = (dir / "absent" / "frame.png").string();
    EXPECT_FALSE(WriteGray16Png(nowhere, Pattern16(2, 2), &error));
    EXPECT_NE(error.find(nowhere), std::string::npos) << error;
    EXPECT_FALSE(
        WriteGray16Png((dir / "bad.png").string(), {4, 5, Pattern16(4, 4).pixels}, &error));
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.png"));
}

// A small file whose header claims a huge image is refused before any pixel memory is taken.
TEST(PngIo, HeaderClaimingMoreThanTheFileHoldsIsRefused) {
    const auto dir = MakeScratchDir();
    std::string error;
    const auto gray = dir / "gray16.png", colour = dir / "rgba.png";
    ASSERT_TRUE(WriteGray16Png(gray.string(), Pattern16(4, 2), &error));
    ASSERT_TRUE(WritePng8(colour.string(), {2, 2, 4, std::vector<unsigned char>(16, 7)}, &error));
    ClaimSize(gray, 1000000, 1000000);
    ClaimSize(colour, 20000, 20000);

    Gray16Image image = Pattern16(2, 2);
    EXPECT_FALSE(ReadGray16Png(gray.string(), &image, &error));
    EXPECT_NE(error.find("claims 1000000 x 1000000 pixels"), std::string::npos) << error;
    EXPECT_EQ(image.pixels, Pattern16(2, 2).pixels);
    Image8 picture;
    EXPECT_FALSE(ReadPng8(colour.string(), &picture, &error));
    EXPECT_NE(error.find("claims 20000 x 20000 pixels"), std::string::npos) << error;
    EXPECT_TRUE(picture.pixels.empty());
}
