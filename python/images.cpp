// Bindings of the library's static image operations: geometry, colour, composition and masks.

#include <Varnik/Soloma/ImageProcessing.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "arrays.h"

namespace py = pybind11;
namespace ip = Varnik::Soloma::ImageProcessing;
using namespace py::literals;
using namespace soloma_python;

namespace soloma_python {
void BindImageOperations(py::module_& m);
}

namespace {

using uchar = unsigned char;
using ushort = unsigned short;

const char* const kFrame = "2-D uint16 frame";
const char* const kFloat = "2-D float32 image";
const char* const kInt = "2-D int32 image";
const char* const kMask = "2-D uint8 mask";
const char* const kColour3 = "HxWx3 uint8 colour image";
const char* const kColour4 = "HxWx4 uint8 colour image";
const char* const kYuv = "HxWx2 uint8 YUV 4:2:2 image, bytes Y0 U Y1 V per pair of pixels";

// True when the two views are the same memory with the same pitch (the library's in-place form).
template <typename T>
bool Same(const ImageView<T>& a, const ImageView<T>& b) {
    return a.data == b.data && a.step == b.step;
}

std::string TypeName(const py::handle& object) {
    return py::str(py::type::of(object).attr("__name__"));
}

// The pixel format of an image argument, from its dtype and channel count.
enum class Pixel { U16, F32, C3, C4 };

Pixel PixelOf(const py::handle& image, const char* name, bool allowFloat) {
    const char* expected = allowFloat ? "a uint16 frame, float32 image or HxWx3/HxWx4 uint8 colour "
                                        "image"
                                      : "a uint16 frame or HxWx3/HxWx4 uint8 colour image";
    if (!py::isinstance<py::array>(image)) {
        throw py::type_error(std::string(name) + ": expected a numpy.ndarray (" + expected +
                             "), got " + TypeName(image));
    }
    auto array = py::reinterpret_borrow<py::array>(image);
    if (py::isinstance<py::array_t<ushort>>(array))
        return Pixel::U16;
    if (allowFloat && py::isinstance<py::array_t<float>>(array))
        return Pixel::F32;
    if (py::isinstance<py::array_t<uchar>>(array))
        return array.ndim() == 3 && array.shape(2) == 3 ? Pixel::C3 : Pixel::C4;
    throw py::type_error(std::string(name) + ": expected " + expected + ", got dtype " +
                         DtypeText(array));
}

int PixelSize(int channels) {
    return channels == 0 ? 1 : channels;
}

// Checks that a table of `entries` entries covers every frame value v with inRange(v).
template <typename P>
void CheckCovers(const ImageView<ushort>& src, py::ssize_t entries, const char* name,
                 const std::string& shape, P inRange) {
    if (entries >= 65536)
        return;
    int top = -1;
    for (int y = 0; y < src.height; ++y) {
        const auto* row = reinterpret_cast<const ushort*>(
            reinterpret_cast<const char*>(src.data) + static_cast<std::ptrdiff_t>(y) * src.step);
        for (int x = 0; x < src.width; ++x) {
            if (row[x] > top && inRange(row[x]))
                top = row[x];
        }
    }
    if (top >= entries) {
        throw py::value_error(std::string(name) +
                              ": expected an entry for every value of frame (up to " +
                              std::to_string(top) + "), got shape " + shape);
    }
}

bool Always(ushort) {
    return true;
}

// ---- geometry

template <typename T>
using ResizeFn = void (*)(const T*, int, int, int, T*, int, int, int, float, int, int, bool);
template <typename T>
using RotateFn = void (*)(const T*, int, T*, int, int, int, float);

// The destination size: `size`, else the shape of `out`, else the source scaled.
std::pair<int, int> ResizeTarget(const std::optional<std::pair<int, int>>& size,
                                 const py::object& out, int width, int height, float scale) {
    if (size) {
        if (size->first < 1 || size->second < 1) {
            throw py::value_error("size: expected (height, width) of at least one pixel, got (" +
                                  std::to_string(size->first) + ", " +
                                  std::to_string(size->second) + ")");
        }
        return {size->second, size->first};
    }
    if (py::isinstance<py::array>(out)) {
        auto a = py::reinterpret_borrow<py::array>(out);
        if (a.ndim() >= 2 && a.shape(0) <= INT_MAX && a.shape(1) <= INT_MAX)
            return {static_cast<int>(a.shape(1)), static_cast<int>(a.shape(0))};
        return {width, height};  // Output reports the shape
    }
    const double w = std::max(1.0, std::round(width * static_cast<double>(scale)));
    const double h = std::max(1.0, std::round(height * static_cast<double>(scale)));
    if (w > 1 << 20 || h > 1 << 20) {
        throw py::value_error("scale: the scaled size (" + std::to_string(h) + ", " +
                              std::to_string(w) + ") is too large; give size=(height, width)");
    }
    return {static_cast<int>(w), static_cast<int>(h)};
}

template <typename T, int C>
py::object Resize(ResizeFn<T> fn, const char* kind, const py::object& image,
                  const std::optional<std::pair<int, int>>& size, float scale,
                  std::pair<int, int> offset, bool linear, const py::object& out) {
    auto src = InputImage<T>(image, "image", C, kind);
    if (!(scale > 0.0f) || !std::isfinite(scale))
        throw py::value_error("scale: expected a finite number above 0");
    const auto [w, h] = ResizeTarget(size, out, src.width, src.height, scale);
    // Pixels no source pixel reaches keep the destination's content: zero for a new one.
    Output<T> dst(out, "out", w, h, C, kind, true);
    if (out.is_none())
        dst.view.holder[py::ellipsis()] = 0;
    if (Overlaps(src, dst.view, PixelSize(C), PixelSize(C)))
        Detach(src, C);
    {
        py::gil_scoped_release release;
        fn(src.data, src.step, src.width, src.height, dst.view.data, dst.view.step, w, h, scale,
           offset.first, offset.second, linear);
    }
    return dst.Finish();
}

template <typename T, int C>
py::object Rotate(RotateFn<T> fn, const char* kind, const py::object& image, float angle,
                  const py::object& out) {
    auto src = InputImage<T>(image, "image", C, kind);
    Output<T> dst(out, "out", src.width, src.height, C, kind, true);
    if (out.is_none())
        dst.view.holder[py::ellipsis()] = 0;
    if (Overlaps(src, dst.view, PixelSize(C), PixelSize(C)))
        Detach(src, C);
    {
        py::gil_scoped_release release;
        fn(src.data, src.step, dst.view.data, dst.view.step, src.width, src.height, angle);
    }
    return dst.Finish();
}

py::object ResizeAny(const py::object& image, std::optional<std::pair<int, int>> size, float scale,
                     std::pair<int, int> offset, bool linear, const py::object& out) {
    using G = ip::GeometricTransforms;
    switch (PixelOf(image, "image", true)) {
        case Pixel::U16:
            return Resize<ushort, 0>(&G::Resize_16u_C1, kFrame, image, size, scale, offset, linear,
                                     out);
        case Pixel::F32:
            return Resize<float, 0>(&G::Resize_32f_C1, kFloat, image, size, scale, offset, linear,
                                    out);
        case Pixel::C3:
            return Resize<uchar, 3>(&G::Resize_8u_C3, kColour3, image, size, scale, offset, linear,
                                    out);
        default:
            return Resize<uchar, 4>(&G::Resize_8u_C4, kColour4, image, size, scale, offset, linear,
                                    out);
    }
}

py::object RotateAny(const py::object& image, float angle, const py::object& out) {
    using G = ip::GeometricTransforms;
    switch (PixelOf(image, "image", true)) {
        case Pixel::U16:
            return Rotate<ushort, 0>(&G::RotateCenter_16u_C1, kFrame, image, angle, out);
        case Pixel::F32:
            return Rotate<float, 0>(&G::RotateCenter_32f_C1, kFloat, image, angle, out);
        case Pixel::C3:
            return Rotate<uchar, 3>(&G::RotateCenter_8u_C3, kColour3, image, angle, out);
        default:
            return Rotate<uchar, 4>(&G::RotateCenter_8u_C4, kColour4, image, angle, out);
    }
}

// ---- composition

// `image` merged with `overlay` by f(src, srcStep, dst, dstStep, width, height) into `out`
// (may be `image`; a new array otherwise starts as a copy of `image`).
template <typename T, int C, typename F>
py::object Merge(const py::object& image, const py::object& overlay, const py::object& out,
                 const char* kind, F f) {
    auto base = InputImage<T>(image, "image", C, kind);
    auto src = InputImage<T>(overlay, "overlay", C, kind);
    CheckSameSize(base, "image", src, "overlay");
    Output<T> dst(out, "out", base.width, base.height, C, kind, true);
    if (Overlaps(src, dst.view, PixelSize(C), PixelSize(C)))
        Detach(src, C);
    if (!Same(base, dst.view))
        dst.view.holder[py::ellipsis()] = base.holder;
    {
        py::gil_scoped_release release;
        f(src.data, src.step, dst.view.data, dst.view.step, base.width, base.height);
    }
    return dst.Finish();
}

py::object AlphaMerge(const py::object& image, const py::object& overlay, int key,
                      const py::object& out) {
    using A = ip::AlphaComposition;
    switch (PixelOf(image, "image", false)) {
        case Pixel::U16: {
            if (key < 0 || key > 65535)
                throw py::value_error("key: expected 0..65535, got " + std::to_string(key));
            const auto k = static_cast<ushort>(key);
            return Merge<ushort, 0>(image, overlay, out, kFrame,
                                    [k](const ushort* s, int ss, ushort* d, int ds, int w, int h) {
                                        A::BlendImages(s, ss, d, ds, k, w, h);
                                    });
        }
        case Pixel::C3:
            return Merge<uchar, 3>(image, overlay, out, kColour3, &A::BlendImages8u_C3);
        default:
            return Merge<uchar, 4>(image, overlay, out, kColour4, &A::BlendImages8u_C4);
    }
}

// A (N, 4) uint8 palette of RGBQUAD records, C-ordered (copied otherwise).
py::array_t<uchar, py::array::c_style> InputPalette(const py::handle& object, const char* name) {
    if (!py::isinstance<py::array_t<uchar>>(object)) {
        throw py::type_error(std::string(name) + ": expected a (N, 4) uint8 array, got " +
                             (py::isinstance<py::array>(object)
                                  ? "dtype " + DtypeText(py::reinterpret_borrow<py::array>(object))
                                  : TypeName(object)));
    }
    auto array = py::reinterpret_borrow<py::array>(object);
    if (array.ndim() != 2 || array.shape(1) != 4 || array.shape(0) < 1 ||
        array.shape(0) > INT_MAX / 4) {
        throw py::value_error(std::string(name) +
                              ": expected shape (N, 4) with N >= 1, got shape " + ShapeText(array));
    }
    return py::array_t<uchar, py::array::c_style>(array);
}

py::object BlendingApply(const py::object& frame, const py::object& palette,
                         const py::object& colour, float paletteWeight, float colourWeight,
                         const py::object& out) {
    auto src = InputImage<ushort>(frame, "frame", 0, kFrame);
    auto table = InputPalette(palette, "palette");
    CheckCovers(src, table.shape(0), "palette", ShapeText(table), Always);
    Output<uchar> dst(out, "out", src.width, src.height, 4, kColour4, true);
    if (!colour.is_none()) {
        auto col = InputImage<uchar>(colour, "colour", 4, kColour4);
        CheckSameSize(src, "frame", col, "colour");
        if (!Same(col, dst.view))
            dst.view.holder[py::ellipsis()] = col.holder;
    } else if (out.is_none()) {
        dst.view.holder[py::ellipsis()] = 0;
    }
    if (Overlaps(src, dst.view, 1, 4))
        Detach(src, 0);
    {
        py::gil_scoped_release release;
        ip::Blending::ColorIRImage(reinterpret_cast<const RGBQUAD*>(table.data()),
                                   reinterpret_cast<const uchar*>(src.data), src.step,
                                   dst.view.data, dst.view.step, paletteWeight, colourWeight,
                                   src.width, src.height);
    }
    return dst.Finish();
}

py::object FusionColour(const py::object& frame, const py::object& palette, int low, int high,
                        const py::object& out) {
    auto src = InputImage<ushort>(frame, "frame", 0, kFrame);
    auto table = InputTable<int>(palette, "palette");
    const auto span = static_cast<unsigned>(high) - static_cast<unsigned>(low);
    CheckCovers(src, table.shape(0), "palette", ShapeText(table), [low, span](ushort v) {
        return static_cast<unsigned>(v) - static_cast<unsigned>(low) <= span;
    });
    Output<int> dst(out, "out", src.width, src.height, 0, kInt, true);
    if (out.is_none())
        dst.view.holder[py::ellipsis()] = 0;
    if (Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    {
        py::gil_scoped_release release;
        ip::Fusion::ColorIRImage(src.data, src.step, dst.view.data, dst.view.step, table.data(),
                                 low, high, src.width, src.height);
    }
    return dst.Finish();
}

py::object FusionCombine(const py::object& colour, const py::object& luma,
                         std::pair<int, int> margin, const py::object& out) {
    auto col = InputImage<uchar>(colour, "colour", 4, kColour4);
    ImageView<float> lum;
    if (py::isinstance<py::array>(luma) && py::reinterpret_borrow<py::array>(luma).ndim() == 2) {
        // A plain float image: the library reads the first of three floats per pixel.
        auto flat = InputImage<float>(luma, "luma", 0, kFloat);
        py::array_t<float> wide({flat.height, flat.width, 3});
        auto w = wide.mutable_unchecked<3>();
        for (int y = 0; y < flat.height; ++y) {
            const auto* row =
                reinterpret_cast<const float*>(reinterpret_cast<const char*>(flat.data) +
                                               static_cast<std::ptrdiff_t>(y) * flat.step);
            for (int x = 0; x < flat.width; ++x)
                w(y, x, 0) = w(y, x, 1) = w(y, x, 2) = row[x];
        }
        lum = MakeView<float>(wide, 3);
    } else {
        lum = InputImage<float>(luma, "luma", 3,
                                "2-D float32 image or HxWx3 float32 image, first float used");
    }
    CheckSameSize(col, "colour", lum, "luma");
    if (margin.first < 0 || margin.first > 32767 || margin.second < 0 || margin.second > 32767) {
        throw py::value_error("margin: expected (x, y) in 0..32767, got (" +
                              std::to_string(margin.first) + ", " + std::to_string(margin.second) +
                              ")");
    }
    Output<uchar> dst(out, "out", col.width, col.height, 4, kColour4);
    if (Overlaps(col, dst.view, 4, 4))
        Detach(col, 4);
    if (Overlaps(lum, dst.view, 3, 4))
        Detach(lum, 3);
    {
        py::gil_scoped_release release;
        ip::Fusion::CombineIRAndDC(
            col.data, col.step, lum.data, lum.step, dst.view.data, dst.view.step, col.width,
            col.height, static_cast<short>(margin.first), static_cast<short>(margin.second));
    }
    return dst.Finish();
}

// ---- colour layouts

int LayoutChannels(const std::string& name) {
    if (name == "rgb")
        return 3;
    if (name == "rgba")
        return 4;
    if (name == "yuv422")
        return 2;
    throw py::value_error("to: expected 'rgb', 'rgba' or 'yuv422', got '" + name + "'");
}

const char* LayoutKind(int channels) {
    return channels == 2 ? kYuv : channels == 3 ? kColour3 : kColour4;
}

py::object Convert(const py::object& image, const std::string& to, const py::object& out) {
    if (!py::isinstance<py::array>(image)) {
        throw py::type_error("image: expected a numpy.ndarray (HxWx2, HxWx3 or HxWx4 uint8), got " +
                             TypeName(image));
    }
    auto array = py::reinterpret_borrow<py::array>(image);
    if (!py::isinstance<py::array_t<uchar>>(array)) {
        throw py::type_error("image: expected a uint8 array (HxWx2, HxWx3 or HxWx4), got dtype " +
                             DtypeText(array));
    }
    if (array.ndim() != 3 || array.shape(2) < 2 || array.shape(2) > 4) {
        throw py::value_error(
            "image: expected shape (height, width, 2), (height, width, 3) or (height, width, 4), "
            "got shape " +
            ShapeText(array));
    }
    const int from = static_cast<int>(array.shape(2));
    const int target = LayoutChannels(to);
    if (from == target)
        throw py::value_error("to: the image is already in that layout, shape " + ShapeText(array));
    auto src = InputImage<uchar>(image, "image", from, LayoutKind(from));
    if ((from == 2 || target == 2) && src.width % 2 != 0) {
        throw py::value_error("image: YUV 4:2:2 needs an even width, got shape " +
                              ShapeText(array));
    }
    Output<uchar> dst(out, "out", src.width, src.height, target, LayoutKind(target));
    if (Overlaps(src, dst.view, from, target))
        Detach(src, from);
    using CT = ip::ColorTransformation;
    void (*fn)(const uchar*, int, uchar*, int, int, int) = nullptr;
    switch (from * 10 + target) {
        case 43:
            fn = &CT::RGBAToRGB;
            break;
        case 34:
            fn = &CT::RGBToRGBA;
            break;
        case 32:
            fn = &CT::RGBToYUV422;
            break;
        case 23:
            fn = &CT::YUV422ToRGB;
            break;
        case 42:
            fn = &CT::RGBAToYUV422;
            break;
        default:
            fn = &CT::YUV422ToRGBA;
            break;
    }
    {
        py::gil_scoped_release release;
        fn(src.data, src.step, dst.view.data, dst.view.step, src.width, src.height);
    }
    return dst.Finish();
}

// ---- masks

struct LogicOp {
    void (*two)(const uchar*, int, const uchar*, int, uchar*, int, int, int);
    void (*inPlace)(const uchar*, int, uchar*, int, int, int);
    void (*constInPlace)(uchar*, int, uchar, int, int);
    void (*constTwo)(const uchar*, int, uchar, uchar*, int, int, int);
};

using L = ip::LogicalOperations;
const LogicOp kAnd{&L::And, &L::And, &L::AndC, &L::AndC};
const LogicOp kOr{&L::Or, &L::Or, &L::OrC, &L::OrC};
const LogicOp kXor{&L::Xor, &L::Xor, &L::XorC, &L::XorC};

// a op b into `out` (may be a or b); b is a mask or a constant 0..255. The operations are
// symmetric, so out = b runs as b = a op b in place.
py::object Logic(const LogicOp& op, const py::object& a, const py::object& b,
                 const py::object& out) {
    auto s1 = InputImage<uchar>(a, "a", 0, kMask);
    // A Python or NumPy integer is a constant.
    if (!py::isinstance<py::array>(b) && PyIndex_Check(b.ptr())) {
        const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(b.ptr()));
        if (!index)
            throw py::error_already_set();
        int overflow = 0;
        const long long value = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
        if (overflow != 0 || value < 0 || value > 255)
            throw py::value_error("b: expected a mask or a constant 0..255, got " +
                                  std::string(py::str(b)));
        const auto v = static_cast<uchar>(value);
        Output<uchar> dst(out, "out", s1.width, s1.height, 0, kMask);
        auto& d = dst.view;
        if (Same(s1, d)) {
            py::gil_scoped_release release;
            op.constInPlace(d.data, d.step, v, d.width, d.height);
        } else {
            if (Overlaps(s1, d, 1, 1))
                Detach(s1, 0);
            py::gil_scoped_release release;
            op.constTwo(s1.data, s1.step, v, d.data, d.step, d.width, d.height);
        }
        return dst.Finish();
    }
    auto s2 = InputImage<uchar>(b, "b", 0, kMask);
    CheckSameSize(s1, "a", s2, "b");
    Output<uchar> dst(out, "out", s1.width, s1.height, 0, kMask);
    auto& d = dst.view;
    if (Same(s1, d) || Same(s2, d)) {
        auto& other = Same(s1, d) ? s2 : s1;
        if (Overlaps(other, d, 1, 1))
            Detach(other, 0);
        py::gil_scoped_release release;
        op.inPlace(other.data, other.step, d.data, d.step, d.width, d.height);
    } else {
        if (Overlaps(s1, d, 1, 1))
            Detach(s1, 0);
        if (Overlaps(s2, d, 1, 1))
            Detach(s2, 0);
        py::gil_scoped_release release;
        op.two(s1.data, s1.step, s2.data, s2.step, d.data, d.step, d.width, d.height);
    }
    return dst.Finish();
}

py::object LogicNot(const py::object& a, const py::object& out) {
    auto src = InputImage<uchar>(a, "a", 0, kMask);
    Output<uchar> dst(out, "out", src.width, src.height, 0, kMask);
    auto& d = dst.view;
    if (Same(src, d)) {
        py::gil_scoped_release release;
        L::Not(d.data, d.step, d.width, d.height);
    } else {
        if (Overlaps(src, d, 1, 1))
            Detach(src, 0);
        py::gil_scoped_release release;
        L::Not(src.data, src.step, d.data, d.step, d.width, d.height);
    }
    return dst.Finish();
}

// ---- morphology

// 3x3 dilation or erosion of a mask. The library reads a ring of pixels round the region: the
// mask is copied into a frame one pixel wider on every side, filled by replicating the edge
// ("edge") or with a constant 0..255.
py::object Morphology(const py::object& mask, const py::object& border, bool dilate,
                      const py::object& out) {
    auto src = InputImage<uchar>(mask, "mask", 0, kMask);
    py::object mode = py::str("edge");
    py::dict options;
    if (py::isinstance<py::str>(border)) {
        if (border.cast<std::string>() != "edge")
            throw py::value_error("border: expected 'edge' or a constant 0..255, got '" +
                                  border.cast<std::string>() + "'");
    } else {
        long long value = -1;
        if (!py::isinstance<py::array>(border) && PyIndex_Check(border.ptr())) {
            const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(border.ptr()));
            if (!index)
                throw py::error_already_set();
            int overflow = 0;
            value = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
            if (overflow != 0)
                value = -1;
        }
        if (value < 0 || value > 255)
            throw py::value_error("border: expected 'edge' or a constant 0..255, got " +
                                  std::string(py::str(border)));
        mode = py::str("constant");
        options["constant_values"] = value;
    }
    options["mode"] = mode;
    const py::array padded = py::module_::import("numpy").attr("ascontiguousarray")(
        py::module_::import("numpy").attr("pad")(src.holder, 1, **options));
    ImageView<uchar> ring = MakeView<uchar>(padded, 0);
    ring.data += ring.step + 1;  // the mask inside its ring
    ring.width = src.width;
    ring.height = src.height;
    Output<uchar> dst(out, "out", src.width, src.height, 0, kMask);
    {
        py::gil_scoped_release release;
        using M = ip::MorphologicalOperations;
        auto& d = dst.view;
        if (dilate)
            M::Dilate3x3(ring.data, ring.step, d.data, d.step, d.width, d.height);
        else
            M::Erode3x3(ring.data, ring.step, d.data, d.step, d.width, d.height);
    }
    return dst.Finish();
}

// ---- intensity

// image + factor * lut[frame] (or minus) into `out` (may be `image`).
py::object Accumulate(const py::object& frame, const py::object& lut, const py::object& image,
                      std::optional<float> factor, bool subtract, const py::object& out) {
    auto src = InputImage<ushort>(frame, "frame", 0, kFrame);
    auto table = InputTable<float>(lut, "lut");
    CheckCovers(src, table.shape(0), "lut", ShapeText(table), Always);
    auto base = InputImage<float>(image, "image", 0, kFloat);
    CheckSameSize(src, "frame", base, "image");
    Output<float> dst(out, "out", src.width, src.height, 0, kFloat, true);
    if (Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    if (!Same(base, dst.view))
        dst.view.holder[py::ellipsis()] = base.holder;
    auto& d = dst.view;
    {
        py::gil_scoped_release release;
        using I = ip::IntensityTransformation;
        if (subtract) {
            I::SubFromLUT(src.data, src.step, d.data, d.step, table.data(), factor.value_or(1.0f),
                          d.width, d.height);
        } else if (factor) {
            I::AddFromLUT(src.data, src.step, d.data, d.step, table.data(), *factor, d.width,
                          d.height);
        } else {
            I::AddFromLUT(src.data, src.step, d.data, d.step, table.data(), d.width, d.height);
        }
    }
    return dst.Finish();
}

py::array_t<int> CalculateLut(const py::object& table, int count, int first, int last) {
    auto src = InputTable<int>(table, "table");
    if (count < 1)
        throw py::value_error("count: expected at least 1, got " + std::to_string(count));
    if (first < 0 || first > last || last >= count) {
        throw py::value_error("first, last: expected 0 <= first <= last < count (" +
                              std::to_string(count) + "), got " + std::to_string(first) + ", " +
                              std::to_string(last));
    }
    py::array_t<int> result(count);
    int* d = result.mutable_data();
    const int n = static_cast<int>(src.shape(0));
    {
        py::gil_scoped_release release;
        ip::IntensityTransformation::CalculateLUT(src.data(), n, d, count, first, last);
    }
    return result;
}

// Statics-only library classes are namespaces in Python.
struct GeometricTransformsTag {};
struct AlphaCompositionTag {};
struct BlendingTag {};
struct FusionTag {};
struct ColorTransformationTag {};
struct LogicalOperationsTag {};
struct IntensityTransformationTag {};
struct MorphologicalOperationsTag {};

}  // namespace

void soloma_python::BindImageOperations(py::module_& m) {
    py::class_<GeometricTransformsTag>(
        m, "GeometricTransforms",
        "Resizing and rotation of uint16 frames, float32 images and HxWx3/HxWx4 uint8 colour "
        "images. Destination pixels that no source pixel reaches keep `out`'s content (zero in "
        "a new array).")
        .def_static("resize", &ResizeAny, "image"_a, "size"_a = py::none(), py::kw_only(),
                    "scale"_a = 1.0f, "offset"_a = std::make_pair(0, 0), "linear"_a = true,
                    "out"_a = py::none(),
                    "`image` scaled by `scale`, then moved by offset=(dx, dy) whole pixels (at "
                    "scale 1, out[y, x] = image[y - dy, x - dx]), bilinear or nearest. "
                    "size=(height, width) of the result; default: `out`'s, else the image's "
                    "scaled and rounded.")
        .def_static("rotate", &RotateAny, "image"_a, "angle"_a, py::kw_only(), "out"_a = py::none(),
                    "`image` turned by `angle` degrees counter-clockwise (as displayed) about its "
                    "centre, bilinear; pixels from outside keep `out`'s content (zero in a new "
                    "array). `out` may be `image`.")
        .def("__repr__", [](const GeometricTransformsTag&) { return "GeometricTransforms()"; });

    py::class_<AlphaCompositionTag>(
        m, "AlphaComposition",
        "Merges an overlay into an image: empty pixels take or keep the other side, the rest "
        "are averaged.")
        .def_static("merge", &AlphaMerge, "image"_a, "overlay"_a, py::kw_only(), "key"_a = 0,
                    "out"_a = py::none(),
                    "`image` merged with `overlay` (same shape). HxWx3 uint8: a pixel with a "
                    "zero byte is empty. HxWx4 uint8: an image pixel with alpha other than 255 "
                    "takes the overlay pixel, one with zero colour bytes is kept, else colour "
                    "bytes merge one by one. uint16: pixels equal to `key` are empty. Returns a "
                    "new array or fills `out` (may be `image`).")
        .def("__repr__", [](const AlphaCompositionTag&) { return "AlphaComposition()"; });

    py::class_<BlendingTag>(m, "Blending",
                            "Colours 16-bit palette indices and blends them with a colour image.")
        .def_static("apply", &BlendingApply, "frame"_a, "palette"_a, "colour"_a = py::none(),
                    py::kw_only(), "palette_weight"_a = 1.0f, "colour_weight"_a = 0.0f,
                    "out"_a = py::none(),
                    "HxWx4 uint8: colour * colour_weight + palette[frame] * palette_weight for "
                    "blue, green and red, truncated and saturated to 0..255; byte 3 is 255. "
                    "palette: (N, 4) uint8 (e.g. Palettes.table), an entry for every frame "
                    "value. colour defaults to `out`'s content, else black; `out` may be "
                    "`colour`.")
        .def("__repr__", [](const BlendingTag&) { return "Blending()"; });

    py::class_<FusionTag>(m, "Fusion",
                          "Colouring of frames through an int32 palette and fusion of a float "
                          "image into the luma of a colour image.")
        .def_static("colour", &FusionColour, "frame"_a, "palette"_a, "low"_a, "high"_a,
                    py::kw_only(), "out"_a = py::none(),
                    "2-D int32: palette[v] where low <= v <= high (with low > high: v >= low or "
                    "v <= high); other pixels keep `out`'s content (zero in a new array). "
                    "palette: 1-D int32, e.g. Palettes.table(k).view(np.int32).ravel(); "
                    "result.view(np.uint8) is then (height, width * 4) blue, green, red, 255.")
        .def_static("combine", &FusionCombine, "colour"_a, "luma"_a, py::kw_only(),
                    "margin"_a = std::make_pair(0, 0), "out"_a = py::none(),
                    "HxWx4 uint8: `luma` (2-D float32, or HxWx3 float32 whose first float is "
                    "used) added to the BT.601 luma of `colour`, saturated; pixels with "
                    "margin_y < row < height - margin_y and margin_x < column < width - margin_x "
                    "(every pixel when margin=(0, 0)) are fused, the rest copied; byte 3 is 255.")
        .def("__repr__", [](const FusionTag&) { return "Fusion()"; });

    py::class_<ColorTransformationTag>(
        m, "ColorTransformation",
        "Conversions between RGB (HxWx3), RGBA (HxWx4) and YUV 4:2:2 (HxWx2: bytes Y0 U Y1 V "
        "for each pair of pixels) uint8 images.")
        .def_static("convert", &Convert, "image"_a, "to"_a, py::kw_only(), "out"_a = py::none(),
                    "`image` (its layout read from the channel count) converted to 'rgb', 'rgba' "
                    "or 'yuv422'. RGBA drops or gains alpha 255; the YUV conversions read byte 0 "
                    "as red and need an even width.")
        .def("__repr__", [](const ColorTransformationTag&) { return "ColorTransformation()"; });

    const char* const logicDoc =
        " of 2-D uint8 masks, bit by bit; b is a mask of the same shape or a constant 0..255. "
        "Returns a new mask or fills `out` (may be `a` or `b`).";
    py::class_<LogicalOperationsTag>(m, "LogicalOperations", "Bitwise logic of 8-bit masks.")
        .def_static(
            "and_",
            [](const py::object& a, const py::object& b, const py::object& out) {
                return Logic(kAnd, a, b, out);
            },
            "a"_a, "b"_a, py::kw_only(), "out"_a = py::none(),
            (std::string("a AND b") + logicDoc).c_str())
        .def_static(
            "or_",
            [](const py::object& a, const py::object& b, const py::object& out) {
                return Logic(kOr, a, b, out);
            },
            "a"_a, "b"_a, py::kw_only(), "out"_a = py::none(),
            (std::string("a OR b") + logicDoc).c_str())
        .def_static(
            "xor",
            [](const py::object& a, const py::object& b, const py::object& out) {
                return Logic(kXor, a, b, out);
            },
            "a"_a, "b"_a, py::kw_only(), "out"_a = py::none(),
            (std::string("a XOR b") + logicDoc).c_str())
        .def_static("not_", &LogicNot, "a"_a, py::kw_only(), "out"_a = py::none(),
                    "NOT a, bit by bit; returns a new mask or fills `out` (may be `a`).")
        .def("__repr__", [](const LogicalOperationsTag&) { return "LogicalOperations()"; });

    const char* const morphologyDoc =
        " of a 2-D uint8 mask. The 3x3 neighbourhood of an edge pixel reaches past the mask: "
        "border='edge' repeats the edge pixels there, a number 0..255 puts that value there. "
        "Returns a new mask or fills `out` (may be `mask`).";
    py::class_<MorphologicalOperationsTag>(m, "MorphologicalOperations",
                                           "3x3 dilation and erosion of 8-bit masks.")
        .def_static(
            "dilate",
            [](const py::object& mask, const py::object& border, const py::object& out) {
                return Morphology(mask, border, true, out);
            },
            "mask"_a, py::kw_only(), "border"_a = "edge", "out"_a = py::none(),
            (std::string("3x3 maximum") + morphologyDoc).c_str())
        .def_static(
            "erode",
            [](const py::object& mask, const py::object& border, const py::object& out) {
                return Morphology(mask, border, false, out);
            },
            "mask"_a, py::kw_only(), "border"_a = "edge", "out"_a = py::none(),
            (std::string("3x3 minimum") + morphologyDoc).c_str())
        .def("__repr__",
             [](const MorphologicalOperationsTag&) { return "MorphologicalOperations()"; });

    py::class_<IntensityTransformationTag>(m, "IntensityTransformation",
                                           "Look-up-table accumulation into float images and "
                                           "resampling of tables.")
        .def_static(
            "add_from_lut",
            [](const py::object& frame, const py::object& lut, const py::object& image,
               std::optional<float> factor,
               const py::object& out) { return Accumulate(frame, lut, image, factor, false, out); },
            "frame"_a, "lut"_a, "image"_a, py::kw_only(), "factor"_a = py::none(),
            "out"_a = py::none(),
            "float32 image + factor * lut[frame] (the product rounded to float first; no "
            "factor: image + lut[frame]). lut: 1-D float32 with an entry for every frame value. "
            "Returns a new image or fills `out` (may be `image`).")
        .def_static(
            "sub_from_lut",
            [](const py::object& frame, const py::object& lut, const py::object& image,
               float factor,
               const py::object& out) { return Accumulate(frame, lut, image, factor, true, out); },
            "frame"_a, "lut"_a, "image"_a, py::kw_only(), "factor"_a = 1.0f, "out"_a = py::none(),
            "float32 image - factor * lut[frame], as add_from_lut.")
        .def_static("calculate_lut", &CalculateLut, "table"_a, "count"_a, "first"_a, "last"_a,
                    "A new int32 table of `count` entries: `table` (1-D int32) stretched over "
                    "entries first..last, sampled at the start of each entry's share; entries "
                    "below take table[0], those above table[-1].")
        .def("__repr__",
             [](const IntensityTransformationTag&) { return "IntensityTransformation()"; });
}
