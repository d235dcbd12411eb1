#include "arrays.h"

namespace soloma_python {

std::string ShapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) {
        text += (i ? ", " : "") + std::to_string(array.shape(i));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

std::string DtypeText(const py::array& array) {
    return py::str(array.dtype());
}

}  // namespace soloma_python
