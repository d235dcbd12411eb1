#pragma once

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// True when the threading runtime reports more than one processor. Set once when the
// library is loaded; guarded parallel regions use it in their `if` clause, so that on a
// single processor they run in the calling thread.
extern const bool useParallel;

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
