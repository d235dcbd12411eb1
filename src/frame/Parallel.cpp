#include "frame/Parallel.h"

#include <omp.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

const bool useParallel = omp_get_num_procs() > 1;

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
