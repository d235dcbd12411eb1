#include "PngIo.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace Varnik::Soloma::Cli {
namespace {

// libpng reports a fatal error through its callback, which must not return; the message is
// kept here and control goes back to the setjmp of the stage that made the call.
struct ErrorSink {
    char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

// Complaints about ancillary chunks (colour profiles and the like) do not concern the pixels.
void OnPngWarning(png_structp, png_const_charp) {}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string DescribeFormat(int bitDepth, int colorType) {
    const char* kind = "unknown colour type";
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
            kind = "grayscale";
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            kind = "grayscale+alpha";
            break;
        case PNG_COLOR_TYPE_RGB:
            kind = "RGB";
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            kind = "RGBA";
            break;
        case PNG_COLOR_TYPE_PALETTE:
            kind = "palette";
            break;
    }
    return std::to_string(bitDepth) + "-bit " + kind;
}

class ReadState {
public:
    ReadState() {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
        if (png != nullptr) {
            info = png_create_info_struct(png);
        }
    }
    ~ReadState() { png_destroy_read_struct(&png, &info, nullptr); }
    ReadState(const ReadState&) = delete;
    ReadState& operator=(const ReadState&) = delete;

    ErrorSink sink;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

class WriteState {
public:
    WriteState() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
        if (png != nullptr) {
            info = png_create_info_struct(png);
        }
    }
    ~WriteState() { png_destroy_write_struct(&png, &info); }
    WriteState(const WriteState&) = delete;
    WriteState& operator=(const WriteState&) = delete;

    ErrorSink sink;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

struct Layout {
    int fileBitDepth = 0;  // as stored, before any expansion
    int fileColorType = 0;
    int bitDepth = 0;  // as it will be delivered
    int channels = 0;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::size_t rowBytes = 0;
};

// The stages below hold only trivially destructible locals, so that libpng's longjmp out of
// a failed call never skips a C++ destructor.

bool ReadLayout(ReadState& state, std::FILE* file, bool expandTo8Bits, Layout* layout) {
    if (setjmp(png_jmpbuf(state.png))) {
        return false;
    }
    png_init_io(state.png, file);
    png_set_sig_bytes(state.png, 8);
    png_read_info(state.png, state.info);
    layout->fileBitDepth = png_get_bit_depth(state.png, state.info);
    layout->fileColorType = png_get_color_type(state.png, state.info);
    if (expandTo8Bits) {
        png_set_expand(state.png);
    }
    png_set_interlace_handling(state.png);
    png_read_update_info(state.png, state.info);
    layout->bitDepth = png_get_bit_depth(state.png, state.info);
    layout->channels = png_get_channels(state.png, state.info);
    layout->width = png_get_image_width(state.png, state.info);
    layout->height = png_get_image_height(state.png, state.info);
    layout->rowBytes = png_get_rowbytes(state.png, state.info);
    return true;
}

bool ReadRows(ReadState& state, png_bytep* rows) {
    if (setjmp(png_jmpbuf(state.png))) {
        return false;
    }
    png_read_image(state.png, rows);
    png_read_end(state.png, nullptr);
    return true;
}

bool WriteRows(WriteState& state, std::FILE* file, const Layout& layout, int colorType,
               PngCompression compression, png_bytep* rows) {
    if (setjmp(png_jmpbuf(state.png))) {
        return false;
    }
    png_init_io(state.png, file);
    if (compression == PngCompression::Fast) {
        png_set_compression_level(state.png, 1);
    }
    png_set_IHDR(state.png, state.info, layout.width, layout.height, layout.bitDepth, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(state.png, state.info);
    png_write_image(state.png, rows);
    png_write_end(state.png, nullptr);
    return true;
}

// The most bytes of pixels a file can deliver per byte it holds: zlib inflates at most 1032
// times, and expanding 1-bit palette indices to 8-bit RGBA multiplies by 32. A header that
// claims more is not believed, so that a small file cannot make the reader allocate gigabytes
// before libpng finds the data missing.
constexpr double kMostPixelBytesPerFileByte = 1032.0 * 32.0;

// The size of a file that can seek; -1 for others (pipes), whose headers are then believed.
long FileBytes(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long bytes = std::ftell(file);
    return std::fseek(file, 0, SEEK_SET) == 0 ? bytes : -1;
}

bool Believable(const Layout& layout, long fileBytes) {
    return fileBytes < 0 || static_cast<double>(layout.rowBytes) * layout.height <=
                                kMostPixelBytesPerFileByte * static_cast<double>(fileBytes);
}

// Opens the file, checks the signature and reads the header. The 8-byte signature is checked
// here so that a file of another kind gets a plain message instead of a libpng one.
bool OpenForReading(const std::string& path, ReadState& state, FilePointer* file,
                    bool expandTo8Bits, Layout* layout, std::string* error) {
    file->reset(std::fopen(path.c_str(), "rb"));
    if (!*file) {
        *error = "cannot open " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    const long fileBytes = FileBytes(file->get());
    png_byte signature[8] = {};
    if (std::fread(signature, 1, sizeof signature, file->get()) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0) {
        *error = Quoted(path) + " is not a PNG file";
        return false;
    }
    if (state.png == nullptr || state.info == nullptr) {
        *error = "cannot read " + Quoted(path) + ": libpng could not start";
        return false;
    }
    if (!ReadLayout(state, file->get(), expandTo8Bits, layout)) {
        *error = "cannot read " + Quoted(path) + ": " + state.sink.message;
        return false;
    }
    if (!Believable(*layout, fileBytes)) {
        *error = "cannot read " + Quoted(path) + ": it claims " + std::to_string(layout->width) +
                 " x " + std::to_string(layout->height) + " pixels, more than its " +
                 std::to_string(fileBytes) + " bytes can hold";
        return false;
    }
    return true;
}

// Reads all rows into one buffer of height x rowBytes bytes.
bool ReadAllRows(const std::string& path, ReadState& state, const Layout& layout,
                 std::vector<png_byte>* bytes, std::string* error) {
    bytes->resize(layout.rowBytes * layout.height);
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        rows[y] = bytes->data() + y * layout.rowBytes;
    }
    if (!ReadRows(state, rows.data())) {
        *error = "cannot read " + Quoted(path) + ": " + state.sink.message;
        return false;
    }
    return true;
}

// Writes rows of rowBytes bytes each; removes the file again if anything fails.
bool WriteAllRows(const std::string& path, const Layout& layout, int colorType,
                  const png_byte* bytes, std::string* error,
                  PngCompression compression = PngCompression::Small) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot create " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y) {
        // libpng's row type is not const-qualified, but writing only reads the rows.
        rows[y] = const_cast<png_bytep>(bytes + y * layout.rowBytes);
    }
    bool written = false;
    {
        WriteState state;
        if (state.png == nullptr || state.info == nullptr) {
            std::snprintf(state.sink.message, sizeof state.sink.message, "libpng could not start");
        } else {
            written = WriteRows(state, file, layout, colorType, compression, rows.data());
        }
        if (!written) {
            *error = "cannot write " + Quoted(path) + ": " + state.sink.message;
        }
    }
    // A full disk may only show when the last buffer is flushed.
    if (std::fclose(file) != 0 && written) {
        written = false;
        *error = "cannot write " + Quoted(path) + ": " + std::strerror(errno);
    }
    if (!written) {
        std::remove(path.c_str());
    }
    return written;
}

bool ValidSize(int width, int height) {
    return width > 0 && height > 0;
}

}  // namespace

bool ReadGray16Png(const std::string& path, Gray16Image* image, std::string* error) {
    ReadState state;
    FilePointer file;
    Layout layout;
    if (!OpenForReading(path, state, &file, false, &layout, error)) {
        return false;
    }
    if (layout.fileBitDepth != 16 || layout.fileColorType != PNG_COLOR_TYPE_GRAY) {
        *error = Quoted(path) + " is " + DescribeFormat(layout.fileBitDepth, layout.fileColorType) +
                 "; expected 16-bit grayscale";
        return false;
    }
    std::vector<png_byte> bytes;
    if (!ReadAllRows(path, state, layout, &bytes, error)) {
        return false;
    }
    image->width = static_cast<int>(layout.width);
    image->height = static_cast<int>(layout.height);
    image->pixels.resize(bytes.size() / 2);
    // PNG keeps 16-bit samples most significant byte first, whatever the machine.
    for (std::size_t i = 0; i < image->pixels.size(); ++i) {
        image->pixels[i] = static_cast<unsigned short>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    }
    return true;
}

bool ReadPng8(const std::string& path, Image8* image, std::string* error) {
    ReadState state;
    FilePointer file;
    Layout layout;
    if (!OpenForReading(path, state, &file, true, &layout, error)) {
        return false;
    }
    if (layout.bitDepth != 8) {
        *error = Quoted(path) + " is " + DescribeFormat(layout.fileBitDepth, layout.fileColorType) +
                 "; expected 8-bit";
        return false;
    }
    std::vector<png_byte> bytes;
    if (!ReadAllRows(path, state, layout, &bytes, error)) {
        return false;
    }
    image->width = static_cast<int>(layout.width);
    image->height = static_cast<int>(layout.height);
    image->channels = layout.channels;
    image->pixels = std::move(bytes);
    return true;
}

bool WriteGray16Png(const std::string& path, const Gray16Image& image, std::string* error) {
    if (!ValidSize(image.width, image.height) ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        *error = "cannot write " + Quoted(path) + ": the image has no pixels or a wrong size";
        return false;
    }
    std::vector<png_byte> bytes(image.pixels.size() * 2);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        bytes[2 * i] = static_cast<png_byte>(image.pixels[i] >> 8);
        bytes[2 * i + 1] = static_cast<png_byte>(image.pixels[i] & 0xFF);
    }
    Layout layout;
    layout.width = static_cast<png_uint_32>(image.width);
    layout.height = static_cast<png_uint_32>(image.height);
    layout.bitDepth = 16;
    layout.rowBytes = static_cast<std::size_t>(image.width) * 2;
    return WriteAllRows(path, layout, PNG_COLOR_TYPE_GRAY, bytes.data(), error);
}

bool WritePng8(const std::string& path, const Image8& image, std::string* error,
               PngCompression compression) {
    static const int kColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                      PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    if (!ValidSize(image.width, image.height) || image.channels < 1 || image.channels > 4 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * image.height * image.channels) {
        *error = "cannot write " + Quoted(path) + ": the image has no pixels or a wrong size";
        return false;
    }
    Layout layout;
    layout.width = static_cast<png_uint_32>(image.width);
    layout.height = static_cast<png_uint_32>(image.height);
    layout.bitDepth = 8;
    layout.rowBytes = static_cast<std::size_t>(image.Step());
    return WriteAllRows(path, layout, kColorTypes[image.channels - 1], image.pixels.data(), error,
                        compression);
}

}  // namespace Varnik::Soloma::Cli
