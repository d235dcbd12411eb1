#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <vector>

// A host built against the installed library: enhances a frame for display and measures it.
int main() {
    namespace ip = Varnik::Soloma::ImageProcessing;
    const int width = 160, height = 120;
    const int step = width * sizeof(unsigned short);
    std::vector<unsigned short> frame(width * height), display(width * height);
    // Blocks of uneven warmth with a little texture, as a scene of objects would give.
    for (int i = 0; i < width * height; ++i) {
        const int x = i % width, y = i / width;
        const int block = ((x / 10) * 7 + (y / 10) * 13 + (x / 10) * (y / 10)) % 11;
        frame[i] = static_cast<unsigned short>(8000 + block * 60 + (i * 37) % 50);
    }

    ip::PlateauEqualization plateau;  // keep it for the stream: it damps from frame to frame
    plateau.Create(frame.data(), step, display.data(), step, width, height, 10.0f, 8.0f);
    ip::DDE dde(5, 2.0f);
    std::vector<unsigned short> detailed(width * height);
    dde.Create(frame.data(), step, detailed.data(), step, 0.5f, 2.0f, width, height);

    Statistics statistics{};
    ip::RadiometricStatistics::Calculate(frame.data(), width, height, step, 0, 0, nullptr, 0, 0,
                                         statistics, true);
    // A second frame whose content moved 4 pixels right, aligned back onto the first.
    std::vector<unsigned short> moved(frame), aligned(width * height);
    ip::GeometricTransforms::Resize_16u_C1(frame.data(), step, width, height, moved.data(), step,
                                           width, height, 1.0f, 4, 0, false);
    ip::ImageStabilization stabilization;
    stabilization.Run(frame.data(), step, moved.data(), step, aligned.data(), step, width, height);

    std::printf(
        "host example: first pixel %u -> %u (plateau), %u (dde); region %g..%g; "
        "shift %d,%d\n",
        frame[0], display[0], detailed[0], statistics.min, statistics.max, stabilization.GetDx(),
        stabilization.GetDy());
    const bool shiftFound = stabilization.GetDx() == -4 && stabilization.GetDy() == 0;
    return display[0] != frame[0] && statistics.min == 8000 && shiftFound ? 0 : 1;
}
