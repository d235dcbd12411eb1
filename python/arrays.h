#pragma once
// Conversion of NumPy arrays to the library's (pointer, row pitch) images and the argument
// checks that come before every library call.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <climits>
#include <cstddef>
#include <string>

namespace soloma_python {

namespace py = pybind11;

// An image the library can read or write: the first pixel, the row pitch in bytes and the
// size. `holder` keeps the memory alive; it is the caller's array or an explicit copy of it.
template <typename T>
struct ImageView {
    T* data = nullptr;
    int step = 0;
    int width = 0;
    int height = 0;
    py::array holder;
};

// The element layout of an argument: its dtype and the channel count (0 for a plain 2-D image).
std::string ShapeText(const py::array& array);
std::string DtypeText(const py::array& array);

// Checks dtype, dimensions and channels; throws TypeError or ValueError naming the argument.
template <typename T>
void CheckImage(const py::array& array, const char* name, int channels, const char* kind) {
    if (!py::isinstance<py::array_t<T>>(array)) {
        throw py::type_error(std::string(name) + ": expected a " +
                             std::string(py::str(py::dtype::of<T>())) + " array (" + kind +
                             "), got dtype " + DtypeText(array));
    }
    const int ndim = channels == 0 ? 2 : 3;
    if (array.ndim() != ndim || (channels != 0 && array.shape(2) != channels)) {
        const std::string expected =
            channels == 0 ? "(height, width)" : "(height, width, " + std::to_string(channels) + ")";
        throw py::value_error(std::string(name) + ": expected shape " + expected + " (" + kind +
                              "), got shape " + ShapeText(array));
    }
    if (array.shape(0) < 1 || array.shape(1) < 1) {
        throw py::value_error(std::string(name) + ": expected at least one pixel, got shape " +
                              ShapeText(array));
    }
    const py::ssize_t rowBytes =
        array.shape(1) * static_cast<py::ssize_t>(sizeof(T)) * (channels == 0 ? 1 : channels);
    if (array.shape(0) > INT_MAX || rowBytes > INT_MAX / 2) {
        throw py::value_error(std::string(name) + ": image too large, shape " + ShapeText(array));
    }
}

// True when the array can be handed over as it is: aligned, pixels contiguous within a row
// and a positive row stride of at least a row, a multiple of the element size.
template <typename T>
bool HasRowPitch(const py::array& array, int channels, bool writeable) {
    const py::ssize_t item = sizeof(T);
    const int pixel = channels == 0 ? 1 : channels;
    if (!(array.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_))
        return false;
    if (writeable && !array.writeable())
        return false;
    if (channels != 0 && array.shape(2) > 1 && array.strides(2) != item)
        return false;
    if (array.shape(1) > 1 && array.strides(1) != item * pixel)
        return false;
    if (array.shape(0) == 1)
        return true;
    const py::ssize_t rowStride = array.strides(0);
    return rowStride >= array.shape(1) * item * pixel && rowStride % item == 0 &&
           rowStride <= INT_MAX;
}

// Allocates a new C-ordered image of the given size.
template <typename T>
py::array NewImage(int width, int height, int channels) {
    if (channels == 0)
        return py::array_t<T>({height, width});
    return py::array_t<T>({height, width, channels});
}

template <typename T>
ImageView<T> MakeView(const py::array& array, int channels) {
    ImageView<T> view;
    view.holder = array;
    view.data = static_cast<T*>(const_cast<void*>(array.data()));
    view.height = static_cast<int>(array.shape(0));
    view.width = static_cast<int>(array.shape(1));
    const int pixel = channels == 0 ? 1 : channels;
    view.step = array.shape(0) == 1 ? static_cast<int>(view.width * sizeof(T) * pixel)
                                    : static_cast<int>(array.strides(0));
    return view;
}

// An input image: the array itself when its layout has a row pitch, otherwise a C-ordered
// copy of it (Fortran order, negative or non-unit element strides are never misread).
template <typename T>
ImageView<T> InputImage(const py::handle& object, const char* name, int channels,
                        const char* kind) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error(std::string(name) + ": expected a numpy.ndarray (" + kind + "), got " +
                             std::string(py::str(py::type::of(object).attr("__name__"))));
    }
    py::array array = py::reinterpret_borrow<py::array>(object);
    CheckImage<T>(array, name, channels, kind);
    if (!HasRowPitch<T>(array, channels, false)) {
        py::array copy = NewImage<T>(static_cast<int>(array.shape(1)),
                                     static_cast<int>(array.shape(0)), channels);
        copy[py::ellipsis()] = array;  // an explicit copy
        array = copy;
    }
    return MakeView<T>(array, channels);
}

// The destination: `out` when given (checked for dtype and shape), otherwise a new array.
// An `out` without a row pitch is written through a temporary; Finish copies it back.
template <typename T>
struct Output {
    ImageView<T> view;
    py::object out;  // the caller's array, or None
    bool copyBack = false;

    // With `inOut` the library reads the destination too: a temporary starts as a copy of it.
    Output(const py::object& given, const char* name, int width, int height, int channels,
           const char* kind, bool inOut = false) {
        out = given;
        if (given.is_none()) {
            view = MakeView<T>(NewImage<T>(width, height, channels), channels);
            return;
        }
        if (!py::isinstance<py::array>(given)) {
            throw py::type_error(std::string(name) + ": expected a numpy.ndarray or None, got " +
                                 std::string(py::str(py::type::of(given).attr("__name__"))));
        }
        py::array array = py::reinterpret_borrow<py::array>(given);
        CheckImage<T>(array, name, channels, kind);
        if (array.shape(0) != height || array.shape(1) != width) {
            throw py::value_error(std::string(name) + ": expected shape (" +
                                  std::to_string(height) + ", " + std::to_string(width) +
                                  (channels ? ", " + std::to_string(channels) : std::string()) +
                                  "), got shape " + ShapeText(array));
        }
        if (!array.writeable()) {
            throw py::value_error(std::string(name) + ": the array is read-only");
        }
        if (HasRowPitch<T>(array, channels, true)) {
            view = MakeView<T>(array, channels);
        } else {
            view = MakeView<T>(NewImage<T>(width, height, channels), channels);
            if (inOut)
                view.holder[py::ellipsis()] = array;
            copyBack = true;
        }
    }

    // The result: `out` (filled) or the new array. Needs the GIL.
    py::object Finish() {
        if (out.is_none())
            return view.holder;
        if (copyBack)
            out[py::ellipsis()] = view.holder;
        return out;
    }
};

// True when the memory the two images span overlaps.
template <typename A, typename B>
bool Overlaps(const ImageView<A>& a, const ImageView<B>& b, int aPixel, int bPixel) {
    const char* a0 = reinterpret_cast<const char*>(a.data);
    const char* b0 = reinterpret_cast<const char*>(b.data);
    const char* a1 = a0 + static_cast<std::ptrdiff_t>(a.step) * (a.height - 1) +
                     static_cast<std::ptrdiff_t>(a.width) * aPixel * sizeof(A);
    const char* b1 = b0 + static_cast<std::ptrdiff_t>(b.step) * (b.height - 1) +
                     static_cast<std::ptrdiff_t>(b.width) * bPixel * sizeof(B);
    return a0 < b1 && b0 < a1;
}

// Replaces an input by a copy of itself; for inputs that the output overlaps.
template <typename T>
void Detach(ImageView<T>& view, int channels) {
    py::array copy = NewImage<T>(view.width, view.height, channels);
    copy[py::ellipsis()] = view.holder;
    view = MakeView<T>(copy, channels);
}

// Checks that an image has the size of the first one.
template <typename A, typename B>
void CheckSameSize(const ImageView<A>& first, const char* firstName, const ImageView<B>& other,
                   const char* otherName) {
    if (first.width != other.width || first.height != other.height) {
        throw py::value_error(
            std::string(otherName) + ": expected the size of " + firstName + " (" +
            std::to_string(first.height) + ", " + std::to_string(first.width) + "), got (" +
            std::to_string(other.height) + ", " + std::to_string(other.width) + ")");
    }
}

// A 1-D table of T, contiguous (copied otherwise).
template <typename T>
py::array_t<T, py::array::c_style> InputTable(const py::handle& object, const char* name) {
    if (!py::isinstance<py::array_t<T>>(object)) {
        throw py::type_error(std::string(name) + ": expected a 1-D " +
                             std::string(py::str(py::dtype::of<T>())) + " array, got " +
                             (py::isinstance<py::array>(object)
                                  ? "dtype " + DtypeText(py::reinterpret_borrow<py::array>(object))
                                  : std::string(py::str(py::type::of(object).attr("__name__")))));
    }
    py::array array = py::reinterpret_borrow<py::array>(object);
    if (array.ndim() != 1 || array.shape(0) < 1 || array.shape(0) > INT_MAX / 2) {
        throw py::value_error(std::string(name) + ": expected a non-empty 1-D table, got shape " +
                              ShapeText(array));
    }
    return py::array_t<T, py::array::c_style>(array);
}

}  // namespace soloma_python
