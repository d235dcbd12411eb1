#pragma once

#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <utility>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace detail {

// Owners of the buffers that the library's processors keep between calls. Each one holds a
// pointer from the primitives' allocators, releases it through the matching Free, and on
// copy duplicates the content, so that no two objects ever share a buffer and a copy
// carries the same state as its source.

template <typename T>
struct VectorAllocator;
template <>
struct VectorAllocator<unsigned char> {
    static unsigned char* Allocate(int n) { return VectorPrimitives::Malloc_8u(n); }
};
template <>
struct VectorAllocator<unsigned short> {
    static unsigned short* Allocate(int n) { return VectorPrimitives::Malloc_16u(n); }
};
template <>
struct VectorAllocator<int> {
    static int* Allocate(int n) { return VectorPrimitives::Malloc_32s(n); }
};
template <>
struct VectorAllocator<float> {
    static float* Allocate(int n) { return VectorPrimitives::Malloc_32f(n); }
};
// Doubles (for exact running sums) have no allocator of their own: they live in a byte block,
// which the allocator aligns for any element type.
template <>
struct VectorAllocator<double> {
    static double* Allocate(int n) {
        if (n <= 0 || n > INT_MAX / static_cast<int>(sizeof(double))) {
            return nullptr;
        }
        return reinterpret_cast<double*>(
            VectorPrimitives::Malloc_8u(n * static_cast<int>(sizeof(double))));
    }
};

// A one-dimensional buffer of VectorPrimitives.
template <typename T>
class VectorBuffer {
public:
    VectorBuffer() = default;
    VectorBuffer(const VectorBuffer& other) { CopyFrom(other); }
    VectorBuffer& operator=(const VectorBuffer& other) {
        if (this != &other) {
            VectorBuffer copy(other);
            Swap(copy);
        }
        return *this;
    }
    ~VectorBuffer() { Release(); }

    // Releases what is held and allocates length elements (uninitialised).
    void Allocate(int length) {
        Release();
        data_ = VectorAllocator<T>::Allocate(length);
        length_ = data_ != nullptr ? length : 0;
    }
    // Allocates length elements only when nothing is held.
    void AllocateIfAbsent(int length) {
        if (data_ == nullptr) {
            Allocate(length);
        }
    }
    void Release() {
        VectorPrimitives::Free(data_);
        data_ = nullptr;
        length_ = 0;
    }

    T* Get() const { return data_; }
    int Length() const { return length_; }
    explicit operator bool() const { return data_ != nullptr; }
    T& operator[](std::ptrdiff_t i) const { return data_[i]; }

    void Swap(VectorBuffer& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(length_, other.length_);
    }

private:
    void CopyFrom(const VectorBuffer& other) {
        if (other.data_ != nullptr) {
            Allocate(other.length_);
            if (data_ != nullptr) {
                std::memcpy(data_, other.data_, sizeof(T) * static_cast<std::size_t>(length_));
            }
        }
    }

    T* data_ = nullptr;
    int length_ = 0;
};

template <typename T, int Channels>
struct ImageAllocator;
template <>
struct ImageAllocator<unsigned char, 1> {
    static unsigned char* Allocate(int w, int h, int* pitch) {
        return PixelPrimitives::Malloc_8u_C1(w, h, pitch);
    }
};
template <>
struct ImageAllocator<unsigned char, 3> {
    static unsigned char* Allocate(int w, int h, int* pitch) {
        return PixelPrimitives::Malloc_8u_C3(w, h, pitch);
    }
};
template <>
struct ImageAllocator<unsigned short, 1> {
    static unsigned short* Allocate(int w, int h, int* pitch) {
        return PixelPrimitives::Malloc_16u_C1(w, h, pitch);
    }
};
template <>
struct ImageAllocator<float, 1> {
    static float* Allocate(int w, int h, int* pitch) {
        return PixelPrimitives::Malloc_32f_C1(w, h, pitch);
    }
};

// A pitched two-dimensional buffer of PixelPrimitives.
template <typename T, int Channels = 1>
class ImageBuffer {
public:
    ImageBuffer() = default;
    ImageBuffer(const ImageBuffer& other) { CopyFrom(other); }
    ImageBuffer& operator=(const ImageBuffer& other) {
        if (this != &other) {
            ImageBuffer copy(other);
            Swap(copy);
        }
        return *this;
    }
    ~ImageBuffer() { Release(); }

    // Releases what is held and allocates width x height pixels (uninitialised).
    void Allocate(int width, int height) {
        Release();
        data_ = ImageAllocator<T, Channels>::Allocate(width, height, &pitch_);
        if (data_ != nullptr) {
            width_ = width;
            height_ = height;
        } else {
            pitch_ = 0;
        }
    }
    void AllocateIfAbsent(int width, int height) {
        if (data_ == nullptr) {
            Allocate(width, height);
        }
    }
    void Release() {
        PixelPrimitives::Free(data_);
        data_ = nullptr;
        pitch_ = 0;
        width_ = 0;
        height_ = 0;
    }

    T* Get() const { return data_; }
    int Pitch() const { return pitch_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    explicit operator bool() const { return data_ != nullptr; }

    void Swap(ImageBuffer& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(pitch_, other.pitch_);
        std::swap(width_, other.width_);
        std::swap(height_, other.height_);
    }

private:
    void CopyFrom(const ImageBuffer& other) {
        if (other.data_ != nullptr) {
            Allocate(other.width_, other.height_);
            if (data_ != nullptr) {
                std::memcpy(data_, other.data_,
                            static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height_));
            }
        }
    }

    T* data_ = nullptr;
    int pitch_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// An object held through a pointer. With Duplicate, a copy duplicates the object with its
// state; without, a copy starts without one (a scratch object, made again when needed). The
// object's type may be incomplete where the owner is declared; the owner's special members
// are then defined where it is complete.
template <typename T, bool Duplicate>
class OwnedObject {
public:
    OwnedObject() = default;
    explicit OwnedObject(T* object) : object_(object) {}
    OwnedObject(const OwnedObject& other) {
        if constexpr (Duplicate) {
            if (other.object_ != nullptr) {
                object_ = new T(*other.object_);
            }
        }
    }
    OwnedObject& operator=(const OwnedObject& other) {
        if (this != &other) {
            OwnedObject copy(other);
            std::swap(object_, copy.object_);
        }
        return *this;
    }
    ~OwnedObject() { delete object_; }

    // Destroys what is held and takes object instead.
    void Reset(T* object = nullptr) {
        delete object_;
        object_ = object;
    }
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace detail
}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
