#pragma once

#include <string>

namespace Varnik::Soloma::Cli {

// Progress of a run through a sequence on stdout. On a terminal, one bar redrawn in place;
// otherwise (a file or a pipe) a plain line at every quarter of the way.
class Progress {
public:
    Progress(const std::string& label, int total);
    // `done` steps of the total are finished.
    void Update(int done);
    // Ends the bar's line (on a terminal).
    void Finish();

private:
    std::string _label;
    int _total = 0;
    int _lastQuarter = 0;
    bool _terminal = false;
    bool _finished = false;
};

}  // namespace Varnik::Soloma::Cli
