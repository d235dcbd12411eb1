#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <vector>

int main() {
    const int width = 64, height = 48;
    std::vector<unsigned short> frame(width * height), display(width * height);
    for (int i = 0; i < width * height; ++i) {
        frame[i] = static_cast<unsigned short>(8000 + (i * 37) % 700);
    }
    Varnik::Soloma::ImageProcessing::HistogramEqualization equalization;
    const int step = width * sizeof(unsigned short);
    equalization.Create(frame.data(), step, display.data(), step, width, height);
    std::printf("host example: first pixel %u -> %u\n", frame[0], display[0]);
    return display[0] == frame[0] ? 1 : 0;
}
