#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <vector>

// A host built against the installed library: enhances a frame for display and measures it.
int main() {
    namespace ip = Varnik::Soloma::ImageProcessing;
    const int width = 64, height = 48;
    const int step = width * sizeof(unsigned short);
    std::vector<unsigned short> frame(width * height), display(width * height);
    for (int i = 0; i < width * height; ++i) {
        frame[i] = static_cast<unsigned short>(8000 + (i * 37) % 700);
    }

    ip::PlateauEqualization plateau;  // keep it for the stream: it damps from frame to frame
    plateau.Create(frame.data(), step, display.data(), step, width, height, 10.0f, 8.0f);
    ip::DDE dde(5, 2.0f);
    std::vector<unsigned short> detailed(width * height);
    dde.Create(frame.data(), step, detailed.data(), step, 0.5f, 2.0f, width, height);

    Statistics statistics{};
    ip::RadiometricStatistics::Calculate(frame.data(), width, height, step, 0, 0, nullptr, 0, 0,
                                         statistics, true);
    std::printf("host example: first pixel %u -> %u (plateau), %u (dde); region %g..%g\n", frame[0],
                display[0], detailed[0], statistics.min, statistics.max);
    return display[0] != frame[0] && statistics.min == 8000 ? 0 : 1;
}
