#include "Commands.h"

namespace Varnik::Soloma::Cli {

int RunConvert(const std::vector<std::string>&) {
    return 1;
}

}  // namespace Varnik::Soloma::Cli
