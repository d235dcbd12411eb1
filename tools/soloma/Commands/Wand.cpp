#include "Commands.h"

namespace Varnik::Soloma::Cli {

int RunWand(const std::vector<std::string>&) {
    return 1;
}

}  // namespace Varnik::Soloma::Cli
