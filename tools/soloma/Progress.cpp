#include "Progress.h"

#include <unistd.h>

#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

constexpr int kBarWidth = 30;

}  // namespace

Progress::Progress(const std::string& label, int total)
    : _label(label), _total(total), _terminal(isatty(fileno(stdout)) != 0) {}

void Progress::Update(int done) {
    if (_total <= 0) {
        return;
    }
    if (_terminal) {
        const int filled = done * kBarWidth / _total;
        std::printf("\r  %-22s [%s%s] %d/%d", _label.c_str(), std::string(filled, '#').c_str(),
                    std::string(kBarWidth - filled, '.').c_str(), done, _total);
        std::fflush(stdout);
        return;
    }
    const int quarter = done * 4 / _total;
    if (quarter > _lastQuarter) {
        _lastQuarter = quarter;
        std::printf("  %-22s %d/%d frames\n", _label.c_str(), done, _total);
        std::fflush(stdout);
    }
}

void Progress::Finish() {
    if (_terminal && !_finished) {
        std::printf("\n");
    }
    _finished = true;
}

}  // namespace Varnik::Soloma::Cli
