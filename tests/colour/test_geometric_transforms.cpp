#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>
#include <gtest/gtest.h>

#include <random>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::GeometricTransforms;
using PP = PixelPrimitives;

namespace {

// Runs the forward and the primitive on the same source into two destinations of the same
// previous content; they must agree byte for byte, which they only do when every argument
// reaches the primitive in its place. C is the number of channels.
template <typename T, int C, typename Forward, typename Primitive>
void ExpectSameAsPrimitive(Forward forward, Primitive primitive) {
    std::mt19937 rng(7);
    TestImage<T> src(29 * C, 17);
    src.FillRandom(rng, 0, 250);
    TestImage<T> viaClass(37 * C, 21), direct(37 * C, 21);
    viaClass.Fill([](int x, int y) { return (x + 2 * y) % 50; });
    direct.Fill([](int x, int y) { return (x + 2 * y) % 50; });
    forward(src.Data(), src.Pitch(), viaClass.Data(), viaClass.Pitch());
    primitive(src.Data(), src.Pitch(), direct.Data(), direct.Pitch());
    EXPECT_EQ(Pixels(viaClass), Pixels(direct));
}

template <typename T, int C, typename Resize, typename Rotate, typename PResize, typename PRotate>
void CheckType(Resize resize, Rotate rotate, PResize pResize, PRotate pRotate) {
    for (bool linear : {false, true}) {
        auto call = [linear](auto f) {
            return [f, linear](const T* s, int sp, T* d, int dp) {
                f(s, sp, 29, 17, d, dp, 37, 21, 1.3f, 4, -3, linear);
            };
        };
        ExpectSameAsPrimitive<T, C>(call(resize), call(pResize));
    }
    auto turn = [](auto f) {
        return [f](const T* s, int sp, T* d, int dp) { f(s, sp, d, dp, 29, 17, 33.0f); };
    };
    ExpectSameAsPrimitive<T, C>(turn(rotate), turn(pRotate));
}

}  // namespace

TEST(GeometricTransforms, ForwardEveryArgumentToThePrimitive) {
    using G = GeometricTransforms;
    CheckType<unsigned short, 1>(G::Resize_16u_C1, G::RotateCenter_16u_C1, PP::Resize_16u_C1,
                                 PP::RotateCenter_16u_C1);
    CheckType<float, 1>(G::Resize_32f_C1, G::RotateCenter_32f_C1, PP::Resize_32f_C1,
                        PP::RotateCenter_32f_C1);
    CheckType<unsigned char, 3>(G::Resize_8u_C3, G::RotateCenter_8u_C3, PP::Resize_8u_C3,
                                PP::RotateCenter_8u_C3);
    CheckType<unsigned char, 4>(G::Resize_8u_C4, G::RotateCenter_8u_C4, PP::Resize_8u_C4,
                                PP::RotateCenter_8u_C4);
}
