#include "PngIo.h"
#include "Scratch.h"

#include <gtest/gtest.h>
#include <png.h>

#include <random>
#include <string>
#include <vector>

using namespace Varnik::Soloma::Cli;

namespace {

// Every byte pattern that a byte-order or sign mistake would change, then random values.
Gray16Image Pattern16(int width, int height, unsigned seed) {
    static const unsigned short kEdges[] = {0, 65535, 1, 0x00FF, 0xFF00, 0x0102, 0x8000, 0x7FFF};
    Gray16Image image;
    image.width = width;
    image.height = height;
    std::mt19937 random(seed);
    for (int i = 0; i < width * height; ++i) {
        image.pixels.push_back(i < 8 ? kEdges[i] : static_cast<unsigned short>(random()));
    }
    return image;
}

// A 16-bit PNG of another colour type, written by libpng's own simplified interface.
void WriteLinearPng(const std::string& path, png_uint_32 format, int width, int height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    std::vector<png_uint_16> samples(PNG_IMAGE_SIZE(image) / 2, 1234);
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, samples.data(), 0, nullptr));
}

// The samples of a 16-bit gray file as libpng's simplified reader sees them.
std::vector<png_uint_16> ReadWithLibpng(const std::string& path) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return {};
    }
    image.format = PNG_FORMAT_LINEAR_Y;
    std::vector<png_uint_16> samples(PNG_IMAGE_SIZE(image) / 2);
    if (!png_image_finish_read(&image, nullptr, samples.data(), 0, nullptr)) {
        return {};
    }
    return samples;
}

}  // namespace

TEST(PngIo, Gray16RoundTripKeepsEveryValueAtOddSizes) {
    const auto dir = MakeScratchDir();
    const int sizes[][2] = {{1, 1}, {3, 5}, {17, 9}, {641, 3}, {2, 257}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
        const Gray16Image written = Pattern16(size[0], size[1], size[0] * 1000 + size[1]);
        const std::string path = (dir / "frame.png").string();
        std::string error;
        ASSERT_TRUE(WriteGray16Png(path, written, &error)) << error;
        Gray16Image read;
        ASSERT_TRUE(ReadGray16Png(path, &read, &error)) << error;
        EXPECT_EQ(read.width, written.width);
        EXPECT_EQ(read.height, written.height);
        EXPECT_EQ(read.pixels, written.pixels);
    }
}

// A round trip through our own code cannot tell a byte-order slip that both sides share.
TEST(PngIo, Gray16FileHoldsTheValuesForOtherReaders) {
    const auto dir = MakeScratchDir();
    const Gray16Image written = Pattern16(13, 4, 7);
    std::string error;
    ASSERT_TRUE(WriteGray16Png((dir / "frame.png").string(), written, &error)) << error;
    const std::vector<png_uint_16> samples = ReadWithLibpng((dir / "frame.png").string());
    EXPECT_EQ(std::vector<unsigned short>(samples.begin(), samples.end()), written.pixels);
}

TEST(PngIo, Image8RoundTripForEveryChannelCount) {
    const auto dir = MakeScratchDir();
    for (int channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(channels);
        Image8 written;
        written.width = 7;
        written.height = 3;
        written.channels = channels;
        for (int i = 0; i < 7 * 3 * channels; ++i) {
            written.pixels.push_back(static_cast<unsigned char>(i * 37 + 255 * (i % 2)));
        }
        const std::string path = (dir / "picture.png").string();
        std::string error;
        ASSERT_TRUE(WritePng8(path, written, &error)) << error;
        Image8 read;
        ASSERT_TRUE(ReadPng8(path, &read, &error)) << error;
        EXPECT_EQ(read.width, 7);
        EXPECT_EQ(read.height, 3);
        EXPECT_EQ(read.channels, channels);
        EXPECT_EQ(read.pixels, written.pixels);
    }
}

// Each failure names the file and leaves the caller's image alone.
TEST(PngIo, Gray16ReaderRejectsWhatItCannotTake) {
    const auto dir = MakeScratchDir();
    std::string error;
    Image8 gray8;
    gray8.width = 4;
    gray8.height = 2;
    gray8.pixels.assign(8, 200);
    ASSERT_TRUE(WritePng8((dir / "gray8.png").string(), gray8, &error));
    Image8 rgb8 = gray8;
    rgb8.channels = 3;
    rgb8.pixels.assign(24, 9);
    ASSERT_TRUE(WritePng8((dir / "rgb8.png").string(), rgb8, &error));
    WriteLinearPng((dir / "rgb16.png").string(), PNG_FORMAT_LINEAR_RGB, 4, 2);
    WriteLinearPng((dir / "grayalpha16.png").string(), PNG_FORMAT_LINEAR_Y_ALPHA, 4, 2);
    WriteBytes(dir / "text.png", "this is not a picture\n");
    ASSERT_TRUE(WriteGray16Png((dir / "whole.png").string(), Pattern16(300, 200, 1), &error));
    const std::string whole = ReadBytes(dir / "whole.png");
    WriteBytes(dir / "truncated.png", whole.substr(0, whole.size() / 2));

    const struct {
        const char* file;
        const char* reason;
    } cases[] = {
        {"missing.png", "No such file"},  {"gray8.png", "8-bit grayscale"},
        {"rgb8.png", "8-bit RGB"},        {"rgb16.png", "16-bit RGB"},
        {"grayalpha16.png", "alpha"},     {"text.png", "not a PNG"},
        {"truncated.png", "cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = (dir / c.file).string();
        Gray16Image image = Pattern16(2, 2, 3);
        const Gray16Image before = image;
        error.clear();
        EXPECT_FALSE(ReadGray16Png(path, &image, &error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(image.pixels, before.pixels);
        EXPECT_EQ(image.width, 2);
    }
}

TEST(PngIo, FailedWritesLeaveNoFile) {
    const auto dir = MakeScratchDir();
    std::string error;
    const std::string noFolder = (dir / "absent" / "frame.png").string();
    EXPECT_FALSE(WriteGray16Png(noFolder, Pattern16(2, 2, 1), &error));
    EXPECT_NE(error.find(noFolder), std::string::npos) << error;

    const std::string path = (dir / "frame.png").string();
    Gray16Image wrongSize = Pattern16(4, 4, 1);
    wrongSize.height = 5;
    EXPECT_FALSE(WriteGray16Png(path, wrongSize, &error));
    EXPECT_FALSE(WriteGray16Png(path, Gray16Image(), &error));
    Image8 fiveChannels;
    fiveChannels.width = fiveChannels.height = 1;
    fiveChannels.channels = 5;
    fiveChannels.pixels.assign(5, 0);
    EXPECT_FALSE(WritePng8(path, fiveChannels, &error));
    EXPECT_FALSE(std::filesystem::exists(path));
}
