// The Python module `soloma`: the library's classes over NumPy arrays.

#include <Varnik/Soloma/ImageProcessing.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <utility>

#include "arrays.h"

namespace py = pybind11;
namespace ip = Varnik::Soloma::ImageProcessing;
using namespace py::literals;
using namespace soloma_python;

namespace soloma_python {
// images.cpp: geometry, colour, composition, mask logic and intensity tables.
void BindImageOperations(py::module_& m);
#ifdef SOLOMA_PYTHON_SYNTHETIC
// synthetic.cpp: the synthetic gas-leak recording.
void BindSynthetic(py::module_& m);
#endif
}  // namespace soloma_python

namespace {

const char* const kFrame = "2-D uint16 frame";
const char* const kFloat = "2-D float32 image";
const char* const kColour = "HxWx4 uint8 colour image, blue, green, red, reserved";

std::string Float(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

// A library object with the lock that lets one thread at a time use it while the GIL is
// released.
template <typename T>
struct Guarded {
    template <typename... A>
    explicit Guarded(A&&... args) : object(std::forward<A>(args)...) {}
    // Copies the library object (its buffers and carried state) while the source is locked.
    Guarded(const Guarded& other) : object(LockedCopy(other)) {}
    Guarded& operator=(const Guarded&) = delete;
    T object;
    mutable std::mutex mutex;

private:
    static T LockedCopy(const Guarded& other) {
        std::lock_guard<std::mutex> lock(other.mutex);
        return other.object;
    }
};

// copy.copy and copy.deepcopy through the C++ copy constructor. The wrapper's own settings
// are plain values; the object's state is copied under its lock. The GIL is kept: a thread
// holding the lock never waits for the GIL.
template <typename W>
void Copyable(py::module_& m, const char* name) {
    py::class_<W> cls(m.attr(name));
    cls.def(
        "__copy__", [](const W& w) { return std::make_unique<W>(w); },
        "An independent object with the same settings and carried state.");
    cls.def(
        "__deepcopy__", [](const W& w, const py::object&) { return std::make_unique<W>(w); },
        "memo"_a, "As __copy__: the object holds no Python references.");
}

// Runs f on the object with the GIL released and the object locked.
template <typename T, typename F>
void Call(Guarded<T>& self, F&& f) {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(self.mutex);
    f(self.object);
}

// ---- contrast

struct PlateauEqualization : Guarded<ip::PlateauEqualization> {
    int numBins;
    float linearPercent;
    float plateauLimit;
    std::optional<std::pair<int, int>> window;
    PlateauEqualization(int bins, float linear, float limit, std::optional<std::pair<int, int>> w,
                        float damping)
        : Guarded(bins < 2 ? 2 : bins),
          numBins(bins < 2 ? 2 : bins),
          linearPercent(linear),
          plateauLimit(limit),
          window(w) {
        object.SetDampingFactor(damping);
    }
};

py::object PlateauApply(PlateauEqualization& self, const py::object& frame, const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    Output<unsigned short> dst(out, "out", src.width, src.height, 0, kFrame);
    const bool inPlace = src.data == dst.view.data && src.step == dst.view.step;
    if (!inPlace && Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    const float linear = self.linearPercent, limit = self.plateauLimit;
    const auto window = self.window;
    Call(self, [&](ip::PlateauEqualization& p) {
        auto& d = dst.view;
        if (window) {
            if (inPlace) {
                p.Create(d.data, d.step, d.width, d.height, linear, limit, window->first,
                         window->second);
            } else {
                p.Create(src.data, src.step, d.data, d.step, d.width, d.height, linear, limit,
                         window->first, window->second);
            }
        } else if (inPlace) {
            p.Create(d.data, d.step, d.width, d.height, linear, limit);
        } else {
            p.Create(src.data, src.step, d.data, d.step, d.width, d.height, linear, limit);
        }
    });
    return dst.Finish();
}

struct DDE : Guarded<ip::DDE> {
    int kernelSize;
    float sigma;
    float baseSharpen;
    float detailGain;
    DDE(int k, float s, float b, float g)
        : Guarded(k, s), kernelSize(k), sigma(s), baseSharpen(b), detailGain(g) {}
};

py::object DdeApply(DDE& self, const py::object& frame, const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    Output<unsigned short> dst(out, "out", src.width, src.height, 0, kFrame);
    const bool same = src.data == dst.view.data && src.step == dst.view.step;
    if (!same && Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    const float b = self.baseSharpen, g = self.detailGain;
    Call(self, [&](ip::DDE& d) {
        d.Create(src.data, src.step, dst.view.data, dst.view.step, b, g, src.width, src.height);
    });
    return dst.Finish();
}

struct FastDDE : Guarded<ip::FastDDE> {
    float detailGain;
    explicit FastDDE(float g) : detailGain(g) {}
};

py::object FastDdeApply(FastDDE& self, const py::object& frame, const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    Output<unsigned short> dst(out, "out", src.width, src.height, 0, kFrame);
    if (Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    const float g = self.detailGain;
    Call(self, [&](ip::FastDDE& f) {
        f.Create(src.data, src.step, dst.view.data, dst.view.step, g, src.width, src.height);
    });
    return dst.Finish();
}

struct HistogramEqualization : Guarded<ip::HistogramEqualization> {};

py::object HistogramApply(HistogramEqualization& self, const py::object& frame,
                          const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    Output<unsigned short> dst(out, "out", src.width, src.height, 0, kFrame);
    const bool inPlace = src.data == dst.view.data && src.step == dst.view.step;
    if (!inPlace && Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    Call(self, [&](ip::HistogramEqualization& h) {
        auto& d = dst.view;
        if (inPlace) {
            h.Create(d.data, d.step, d.width, d.height);
        } else {
            h.Create(src.data, src.step, d.data, d.step, d.width, d.height);
        }
    });
    return dst.Finish();
}

// ---- gas

struct GasDetection : Guarded<ip::GasDetection> {};
struct GasDetectionDifference : Guarded<ip::GasDetectionDifference> {};

// One frame pair through a detector: colour may be `out` (the overlay is then drawn in place).
template <typename W>
py::object GasRun(W& self, const py::object& frame, const py::object& reference,
                  const py::object& colour, const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    auto ref = InputImage<unsigned short>(reference, "reference", 0, kFrame);
    auto col = InputImage<unsigned char>(colour, "colour", 4, kColour);
    CheckSameSize(src, "frame", ref, "reference");
    CheckSameSize(src, "frame", col, "colour");
    Output<unsigned char> dst(out, "out", src.width, src.height, 4, kColour);
    const bool same = col.data == dst.view.data && col.step == dst.view.step;
    if (!same && Overlaps(col, dst.view, 4, 4))
        Detach(col, 4);
    if (Overlaps(src, dst.view, 1, 4))
        Detach(src, 0);
    if (Overlaps(ref, dst.view, 1, 4))
        Detach(ref, 0);
    Call(self, [&](auto& g) {
        g.Run(src.data, src.step, ref.data, ref.step, col.data, col.step, dst.view.data,
              dst.view.step, src.width, src.height);
    });
    return dst.Finish();
}

// Getter and setter of a library property, the setter under the object's lock.
template <typename W, typename V, typename Get, typename Set>
void Property(py::class_<W>& cls, const char* name, Get get, Set set, const char* doc) {
    cls.def_property(
        name, [get](W& w) { return static_cast<V>((w.object.*get)()); },
        [set](W& w, V v) {
            std::lock_guard<std::mutex> lock(w.mutex);
            (w.object.*set)(v);
        },
        doc);
}

// ---- stabilisation

struct ImageStabilization : Guarded<ip::ImageStabilization> {};

template <typename T>
py::tuple StabilizeEstimate(ImageStabilization& self, const py::object& reference,
                            const py::object& frame, const char* kind) {
    auto ref = InputImage<T>(reference, "reference", 0, kind);
    auto src = InputImage<T>(frame, "frame", 0, kind);
    CheckSameSize(ref, "reference", src, "frame");
    int dx = 0, dy = 0;
    Call(self, [&](ip::ImageStabilization& s) {
        s.Run(ref.data, ref.step, src.data, src.step, src.width, src.height, dx, dy);
    });
    return py::make_tuple(dx, dy);
}

template <typename T>
py::object StabilizeAlign(ImageStabilization& self, const py::object& reference,
                          const py::object& frame, const py::object& out, const char* kind) {
    auto ref = InputImage<T>(reference, "reference", 0, kind);
    auto src = InputImage<T>(frame, "frame", 0, kind);
    CheckSameSize(ref, "reference", src, "frame");
    Output<T> dst(out, "out", src.width, src.height, 0, kind);
    const bool inPlace = src.data == dst.view.data && src.step == dst.view.step;
    if (!inPlace && Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    if (Overlaps(ref, dst.view, 1, 1))
        Detach(ref, 0);
    // The uncovered strip keeps the destination's content: a new destination starts as the
    // frame, as in place.
    if (!inPlace && out.is_none())
        dst.view.holder[py::ellipsis()] = src.holder;
    Call(self, [&](ip::ImageStabilization& s) {
        auto& d = dst.view;
        if (inPlace) {
            s.Run(ref.data, ref.step, d.data, d.step, d.width, d.height);
        } else {
            s.Run(ref.data, ref.step, src.data, src.step, d.data, d.step, d.width, d.height);
        }
    });
    return dst.Finish();
}

bool IsFloatImage(const py::object& a) {
    return py::isinstance<py::array_t<float>>(a);
}

// ---- regions

struct MagicWand : Guarded<ip::MagicWand> {};

// Adds or removes the region grown from the seed in `mask` (a new zero mask when None).
py::object WandRun(MagicWand& self, const py::object& frame, std::pair<int, int> seed,
                   float tolerance, const py::object& mask, bool remove) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    Output<unsigned char> dst(mask, "mask", src.width, src.height, 0, "2-D uint8 mask", true);
    if (mask.is_none())
        dst.view.holder[py::ellipsis()] = 0;
    if (Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    Call(self, [&](ip::MagicWand& w) {
        auto& d = dst.view;
        if (remove) {
            w.Remove(src.data, src.step, d.data, d.step, tolerance, seed.first, seed.second,
                     src.width, src.height);
        } else {
            w.Add(src.data, src.step, d.data, d.step, tolerance, seed.first, seed.second, src.width,
                  src.height);
        }
    });
    return dst.Finish();
}

// ---- palettes

ip::Palettes::Kind PaletteKind(const py::object& kind) {
    if (py::isinstance<py::str>(kind)) {
        const std::string name = kind.cast<std::string>();
        ip::Palettes::Kind k;
        if (!ip::Palettes::FromName(name.c_str(), &k)) {
            throw py::value_error("kind: expected 'grey', 'gray', 'iron' or 'rainbow', got '" +
                                  name + "'");
        }
        return k;
    }
    try {
        return kind.cast<ip::Palettes::Kind>();
    } catch (const py::cast_error&) {
        throw py::type_error("kind: expected a palette name or Palettes.Kind, got " +
                             std::string(py::str(py::type::of(kind).attr("__name__"))));
    }
}

py::array PaletteTable(const py::object& kind) {
    const RGBQUAD* table = ip::Palettes::Table(PaletteKind(kind));
    // The table lives until the process ends: a read-only view, no copy.
    py::array view(py::dtype::of<unsigned char>(), {65536, 4}, {4, 1},
                   reinterpret_cast<const unsigned char*>(table), py::none());
    py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return view;
}

py::tuple DisplayRange(const py::object& frame) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    int low = 0, high = 0;
    {
        py::gil_scoped_release release;
        ip::Palettes::DisplayRange(src.data, src.step, src.width, src.height, &low, &high);
    }
    return py::make_tuple(low, high);
}

py::object PaletteApply(const py::object& frame, const py::object& kind, std::optional<int> low,
                        std::optional<int> high, const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    const auto k = PaletteKind(kind);
    Output<unsigned char> dst(out, "out", src.width, src.height, 4, kColour);
    if (Overlaps(src, dst.view, 1, 4))
        Detach(src, 0);
    {
        py::gil_scoped_release release;
        int lo = 0, hi = 0;
        if (!low || !high) {
            ip::Palettes::DisplayRange(src.data, src.step, src.width, src.height, &lo, &hi);
        }
        if (low)
            lo = *low;
        if (high)
            hi = *high;
        ip::Palettes::Apply(src.data, src.step, k, lo, hi, dst.view.data, dst.view.step, src.width,
                            src.height);
    }
    return dst.Finish();
}

// ---- radiometry

std::string StatisticsRepr(const Statistics& s) {
    std::ostringstream r;
    r << "Statistics(min=" << s.min << ", max=" << s.max << ", mean=" << s.mean << ", sum=" << s.sum
      << ", std_dev=" << s.stdDev << ", min_pos=(" << s.minX << ", " << s.minY << "), max_pos=("
      << s.maxX << ", " << s.maxY << "), status=(" << s.minStatus << ", " << s.maxStatus << ", "
      << s.meanStatus << ", " << s.sumStatus << ", " << s.stdDevStatus << "))";
    return r.str();
}

// The region (x, y, width, height) of the frame; the whole frame when none is given.
std::array<int, 4> Region(const ImageView<unsigned short>& src,
                          const std::optional<std::array<int, 4>>& roi) {
    if (!roi)
        return {0, 0, src.width, src.height};
    const auto& r = *roi;
    if (r[2] < 1 || r[3] < 1 || r[0] < 0 || r[1] < 0 || r[0] > src.width - r[2] ||
        r[1] > src.height - r[3]) {
        throw py::value_error(
            "roi: expected (x, y, width, height) of at least one pixel inside "
            "the frame of shape (" +
            std::to_string(src.height) + ", " + std::to_string(src.width) + "), got (" +
            std::to_string(r[0]) + ", " + std::to_string(r[1]) + ", " + std::to_string(r[2]) +
            ", " + std::to_string(r[3]) + ")");
    }
    return r;
}

Statistics Calculate(const py::object& frame, std::optional<std::array<int, 4>> roi,
                     const py::object& kelvinTable, int tableLow) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    const auto r = Region(src, roi);
    Statistics s{};
    if (kelvinTable.is_none()) {
        py::gil_scoped_release release;
        ip::RadiometricStatistics::Calculate(src.data, r[2], r[3], src.step, r[1], r[0], nullptr, 0,
                                             0, s, true);
        return s;
    }
    auto table = InputTable<float>(kelvinTable, "kelvin_table");
    const int tableHigh = tableLow + static_cast<int>(table.shape(0)) - 1;
    py::gil_scoped_release release;
    ip::RadiometricStatistics::Calculate(src.data, r[2], r[3], src.step, r[1], r[0], table.data(),
                                         tableLow, tableHigh, s, false);
    return s;
}

py::tuple HistogramMinMax(const py::object& frame, float lowFraction, float highFraction,
                          int nLevels, int lowerLevel, int upperLevel,
                          std::optional<std::array<int, 4>> roi) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    const auto r = Region(src, roi);
    if (nLevels < 2) {
        throw py::value_error("n_levels: expected at least 2, got " + std::to_string(nLevels));
    }
    if (upperLevel <= lowerLevel) {
        throw py::value_error("upper_level: expected above lower_level (" +
                              std::to_string(lowerLevel) + "), got " + std::to_string(upperLevel));
    }
    py::array_t<int> hist(nLevels - 1), levels(nLevels);
    unsigned short lo = 0, hi = 0;
    {
        int* h = hist.mutable_data();
        int* l = levels.mutable_data();
        py::gil_scoped_release release;
        ip::RadiometricStatistics::CalculateHistogramMinMax(
            src.data, src.step, h, l, nLevels, lowerLevel, upperLevel, r[0], r[1], r[2], r[3],
            lowFraction, highFraction, lo, hi);
    }
    return py::make_tuple(static_cast<int>(lo), static_cast<int>(hi), hist, levels);
}

py::object FillFromLut(const py::object& frame, const py::object& lut, const py::object& out) {
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    auto table = InputTable<float>(lut, "lut");
    if (table.shape(0) < 65536) {
        // The library reads lut[v] for every value; a short table is checked against the frame.
        const py::object maxValue = py::reinterpret_borrow<py::object>(src.holder).attr("max")();
        if (maxValue.cast<long>() >= table.shape(0)) {
            throw py::value_error("lut: expected an entry for every value of frame (up to " +
                                  std::to_string(maxValue.cast<long>()) + "), got shape (" +
                                  std::to_string(table.shape(0)) + ",)");
        }
    }
    Output<float> dst(out, "out", src.width, src.height, 0, kFloat);
    {
        py::gil_scoped_release release;
        ip::RadiometricStatistics::FillFromLUT(src.data, src.step, dst.view.data, dst.view.step,
                                               table.data(), src.width, src.height);
    }
    return dst.Finish();
}

py::object OutputToSignal(const py::object& image, double outputLow, double outputHigh,
                          int signalLow, int signalHigh, double scale, const py::object& out) {
    auto src = InputImage<float>(image, "image", 0, kFloat);
    Output<unsigned short> dst(out, "out", src.width, src.height, 0, kFrame);
    if (Overlaps(src, dst.view, 1, 1))
        Detach(src, 0);
    {
        py::gil_scoped_release release;
        ip::RadiometricStatistics::OutputToSignal(src.data, src.step, dst.view.data, dst.view.step,
                                                  src.width, src.height, outputLow, outputHigh,
                                                  signalLow, signalHigh, scale);
    }
    return dst.Finish();
}

// Seconds per call of `n` back-to-back library calls made in C++ (GIL released, object locked)
// for the object's main operation on `frame` (and `reference`, `colour` for GasDetection),
// into one preallocated destination: the library's own time, without the binding's overhead.
double TimeCpp(const py::object& obj, const py::object& frame, int n, const py::object& reference,
               const py::object& colour) {
    if (n < 1)
        throw py::value_error("n: expected at least 1, got " + std::to_string(n));
    auto src = InputImage<unsigned short>(frame, "frame", 0, kFrame);
    const int w = src.width, h = src.height;
    double seconds = 0;
    const auto timed = [&](auto& self, auto&& call) {
        Call(self, [&](auto& object) {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < n; ++i)
                call(object);
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
    };
    if (py::isinstance<PlateauEqualization>(obj)) {
        auto& p = obj.cast<PlateauEqualization&>();
        Output<unsigned short> dst(py::none(), "out", w, h, 0, kFrame);
        const float linear = p.linearPercent, limit = p.plateauLimit;
        timed(p, [&](ip::PlateauEqualization& e) {
            e.Create(src.data, src.step, dst.view.data, dst.view.step, w, h, linear, limit);
        });
    } else if (py::isinstance<DDE>(obj)) {
        auto& d = obj.cast<DDE&>();
        Output<unsigned short> dst(py::none(), "out", w, h, 0, kFrame);
        const float b = d.baseSharpen, g = d.detailGain;
        timed(d, [&](ip::DDE& e) {
            e.Create(src.data, src.step, dst.view.data, dst.view.step, b, g, w, h);
        });
    } else if (py::isinstance<GasDetection>(obj)) {
        auto ref = InputImage<unsigned short>(reference, "reference", 0, kFrame);
        auto col = InputImage<unsigned char>(colour, "colour", 4, kColour);
        CheckSameSize(src, "frame", ref, "reference");
        CheckSameSize(src, "frame", col, "colour");
        Output<unsigned char> dst(py::none(), "out", w, h, 4, kColour);
        timed(obj.cast<GasDetection&>(), [&](ip::GasDetection& e) {
            e.Run(src.data, src.step, ref.data, ref.step, col.data, col.step, dst.view.data,
                  dst.view.step, w, h);
        });
    } else {
        throw py::type_error("obj: expected PlateauEqualization, DDE or GasDetection");
    }
    return seconds / n;
}

// Statics-only library classes are namespaces in Python.
struct PalettesTag {};
struct RadiometricStatisticsTag {};

}  // namespace

PYBIND11_MODULE(soloma, m) {
    m.doc() =
        "Thermal (infrared) image processing on NumPy arrays: contrast enhancement, gas "
        "detection, stabilisation, palettes, radiometric statistics, geometry, colour "
        "conversion and composition, mask logic and look-up tables.\n\n"
        "Frames are 2-D uint16 arrays of detector counts, colour images (height, width, 4) uint8 "
        "arrays (blue, green, red, reserved). Arrays whose rows are contiguous pass without a "
        "copy; other layouts are copied. Functions return a new array, or fill `out` when given.";

    // ---- contrast
    py::class_<PlateauEqualization>(m, "PlateauEqualization",
                                    "Plateau histogram equalization of a stream of frames, the "
                                    "histogram damped from frame to frame.")
        .def(py::init<int, float, float, std::optional<std::pair<int, int>>, float>(),
             "num_bins"_a = 4096, py::kw_only(), "linear_percent"_a = 10.0f,
             "plateau_limit"_a = 300.0f, "window"_a = py::none(), "damping_factor"_a = 0.5f)
        .def("apply", &PlateauApply, "frame"_a, py::kw_only(), "out"_a = py::none(),
             "Equalizes a uint16 frame; returns a new frame or fills `out` (may be `frame`).")
        .def(
            "reset",
            [](PlateauEqualization& s) {
                std::lock_guard<std::mutex> lock(s.mutex);
                s.object.Reset();
            },
            "The next frame's histogram is used undamped.")
        .def_property_readonly("num_bins", [](const PlateauEqualization& s) { return s.numBins; })
        .def_readwrite("linear_percent", &PlateauEqualization::linearPercent,
                       "Share of the identity mapping, in percent.")
        .def_readwrite("plateau_limit", &PlateauEqualization::plateauLimit,
                       "Largest count one bin contributes.")
        .def_readwrite("window", &PlateauEqualization::window,
                       "(low, high) raw signal window of the histogram, or None: full range.")
        .def_property(
            "damping_factor", [](PlateauEqualization& s) { return s.object.GetDampingFactor(); },
            [](PlateauEqualization& s, float v) {
                std::lock_guard<std::mutex> lock(s.mutex);
                s.object.SetDampingFactor(v);
            },
            "Weight of the carried histogram.")
        .def("__repr__", [](PlateauEqualization& s) {
            std::string w = s.window ? "(" + std::to_string(s.window->first) + ", " +
                                           std::to_string(s.window->second) + ")"
                                     : "None";
            return "PlateauEqualization(num_bins=" + std::to_string(s.numBins) +
                   ", linear_percent=" + Float(s.linearPercent) +
                   ", plateau_limit=" + Float(s.plateauLimit) + ", window=" + w +
                   ", damping_factor=" + Float(s.object.GetDampingFactor()) + ")";
        });

    py::class_<DDE>(m, "DDE",
                    "Detail enhancement: bilateral base/detail split, base sharpened against its "
                    "Gaussian blur, detail amplified.")
        .def(py::init<int, float, float, float>(), py::kw_only(), "kernel_size"_a = 5,
             "sigma"_a = 2.0f, "base_sharpen"_a = 0.5f, "detail_gain"_a = 2.0f)
        .def("apply", &DdeApply, "frame"_a, py::kw_only(), "out"_a = py::none(),
             "Enhances a uint16 frame; returns a new frame or fills `out` (may be `frame`).")
        .def_property_readonly("kernel_size", [](const DDE& d) { return d.kernelSize; })
        .def_property_readonly("sigma", [](const DDE& d) { return d.sigma; })
        .def(
            "init",
            [](DDE& d, int k, float s) {
                std::lock_guard<std::mutex> lock(d.mutex);
                d.object.Init(k, s);
                d.kernelSize = k;
                d.sigma = s;
            },
            "kernel_size"_a, "sigma"_a, "Rebuilds the spatial weights.")
        .def_readwrite("base_sharpen", &DDE::baseSharpen)
        .def_readwrite("detail_gain", &DDE::detailGain)
        .def("__repr__", [](const DDE& d) {
            return "DDE(kernel_size=" + std::to_string(d.kernelSize) + ", sigma=" + Float(d.sigma) +
                   ", base_sharpen=" + Float(d.baseSharpen) +
                   ", detail_gain=" + Float(d.detailGain) + ")";
        });

    py::class_<FastDDE>(m, "FastDDE",
                        "Detail enhancement from 3x3 and 7x7 box means, contrast halved about the "
                        "middle of the frame's range.")
        .def(py::init<float>(), py::kw_only(), "detail_gain"_a = 2.0f)
        .def("apply", &FastDdeApply, "frame"_a, py::kw_only(), "out"_a = py::none(),
             "Enhances a uint16 frame; returns a new frame or fills `out` (may be `frame`).")
        .def_readwrite("detail_gain", &FastDDE::detailGain)
        .def("__repr__",
             [](const FastDDE& f) { return "FastDDE(detail_gain=" + Float(f.detailGain) + ")"; });

    py::class_<HistogramEqualization>(m, "HistogramEqualization",
                                      "Maps a frame through the cumulative distribution of its "
                                      "own 4096-bin histogram.")
        .def(py::init<>())
        .def("apply", &HistogramApply, "frame"_a, py::kw_only(), "out"_a = py::none(),
             "Equalizes a uint16 frame; returns a new frame or fills `out` (may be `frame`).")
        .def("__repr__", [](const HistogramEqualization&) { return "HistogramEqualization()"; });

    // ---- gas
    py::class_<GasDetection> gas(m, "GasDetection",
                                 "Gas plumes found by the power spectral density of the "
                                 "edge-suppressed difference to a reference frame.");
    gas.def(py::init([](int psdMode, int windowSize, int psdStep, int edgeFactor,
                        float psdThreshold, float temporalDampening, int colorizationMethod,
                        bool useMeanFromPrevious, bool stabilization) {
                auto g = std::make_unique<GasDetection>();
                auto& o = g->object;
                o.SetPsdMode(psdMode);
                o.SetWindowSize(windowSize);
                o.SetPsdStep(psdStep);
                o.SetEdgeFactor(edgeFactor);
                o.SetPsdThreshold(psdThreshold);
                o.SetTemporalDampening(temporalDampening);
                o.SetColorizationMethod(colorizationMethod);
                o.SetUseMeanFromPreviousImage(useMeanFromPrevious);
                o.SetUseImageStabilisation(stabilization);
                return g;
            }),
            py::kw_only(), "psd_mode"_a = 2, "window_size"_a = 32, "psd_step"_a = 16,
            "edge_factor"_a = 8, "psd_threshold"_a = 3.5f, "temporal_dampening"_a = 0.0f,
            "colorization_method"_a = 0, "use_mean_from_previous_image"_a = false,
            "stabilization"_a = true)
        .def("run", &GasRun<GasDetection>, "frame"_a, "reference"_a, "colour"_a, py::kw_only(),
             "out"_a = py::none(),
             "Tints `colour` (HxWx4 uint8) where gas is found in `frame` against `reference`; "
             "returns a new image or fills `out` (may be `colour`).");
    Property<GasDetection, int>(gas, "psd_mode", &ip::GasDetection::GetPsdMode,
                                &ip::GasDetection::SetPsdMode,
                                "0: spectra along rows, 1: along columns, else the smaller.");
    Property<GasDetection, int>(gas, "window_size", &ip::GasDetection::GetWindowSize,
                                &ip::GasDetection::SetWindowSize, "Block side in pixels.");
    Property<GasDetection, int>(gas, "psd_step", &ip::GasDetection::GetPsdStep,
                                &ip::GasDetection::SetPsdStep, "Distance between blocks.");
    Property<GasDetection, int>(gas, "edge_factor", &ip::GasDetection::GetEdgeFactor,
                                &ip::GasDetection::SetEdgeFactor, "Edge suppression strength.");
    Property<GasDetection, float>(gas, "psd_threshold", &ip::GasDetection::GetPsdThreshold,
                                  &ip::GasDetection::SetPsdThreshold,
                                  "Multiple of the mean level a block must reach.");
    Property<GasDetection, float>(gas, "temporal_dampening",
                                  &ip::GasDetection::GetTemporalDampening,
                                  &ip::GasDetection::SetTemporalDampening,
                                  "Weight of the previous frames' level; 0: no smoothing.");
    Property<GasDetection, int>(gas, "colorization_method",
                                &ip::GasDetection::GetColorizationMethod,
                                &ip::GasDetection::SetColorizationMethod, "Tinting method.");
    Property<GasDetection, bool>(gas, "use_mean_from_previous_image",
                                 &ip::GasDetection::UseMeanFromPreviousImage,
                                 &ip::GasDetection::SetUseMeanFromPreviousImage,
                                 "Threshold against the previous frame's mean.");
    Property<GasDetection, bool>(gas, "stabilization", &ip::GasDetection::UseImageStabilization,
                                 &ip::GasDetection::SetUseImageStabilisation,
                                 "Align the reference to the frame first.");
    gas.def("__repr__", [](GasDetection& g) {
        const auto& o = g.object;
        return "GasDetection(psd_mode=" + std::to_string(o.GetPsdMode()) +
               ", window_size=" + std::to_string(o.GetWindowSize()) +
               ", psd_step=" + std::to_string(o.GetPsdStep()) +
               ", edge_factor=" + std::to_string(o.GetEdgeFactor()) +
               ", psd_threshold=" + Float(o.GetPsdThreshold()) +
               ", temporal_dampening=" + Float(o.GetTemporalDampening()) +
               ", colorization_method=" + std::to_string(o.GetColorizationMethod()) +
               ", use_mean_from_previous_image=" +
               (o.UseMeanFromPreviousImage() ? "True" : "False") +
               ", stabilization=" + (o.UseImageStabilization() ? "True" : "False") + ")";
    });

    py::class_<GasDetectionDifference> diff(
        m, "GasDetectionDifference",
        "Gas plumes found by the smoothed, edge-suppressed difference to a reference frame.");
    diff.def(py::init(
                 [](int edgeFactor, int sensitivity, int colorizationMethod, bool stabilization) {
                     auto g = std::make_unique<GasDetectionDifference>();
                     g->object.SetEdgeFactor(edgeFactor);
                     g->object.SetSensitivityThreshold(sensitivity);
                     g->object.SetColorizationMethod(colorizationMethod);
                     g->object.SetUseImageStabilisation(stabilization);
                     return g;
                 }),
             py::kw_only(), "edge_factor"_a = 8, "sensitivity_threshold"_a = 20,
             "colorization_method"_a = 0, "stabilization"_a = true)
        .def("run", &GasRun<GasDetectionDifference>, "frame"_a, "reference"_a, "colour"_a,
             py::kw_only(), "out"_a = py::none(),
             "Tints `colour` (HxWx4 uint8) where gas is found in `frame` against `reference`; "
             "returns a new image or fills `out` (may be `colour`).");
    Property<GasDetectionDifference, int>(
        diff, "edge_factor", &ip::GasDetectionDifference::GetEdgeFactor,
        &ip::GasDetectionDifference::SetEdgeFactor, "Edge suppression strength; 0 or below: off.");
    Property<GasDetectionDifference, int>(diff, "sensitivity_threshold",
                                          &ip::GasDetectionDifference::GetSensitivityThreshold,
                                          &ip::GasDetectionDifference::SetSensitivityThreshold,
                                          "Smallest smoothed difference, in counts, that is gas.");
    Property<GasDetectionDifference, int>(
        diff, "colorization_method", &ip::GasDetectionDifference::GetColorizationMethod,
        &ip::GasDetectionDifference::SetColorizationMethod, "Tinting method.");
    Property<GasDetectionDifference, bool>(diff, "stabilization",
                                           &ip::GasDetectionDifference::UseImageStabilization,
                                           &ip::GasDetectionDifference::SetUseImageStabilisation,
                                           "Align the reference to the frame first.");
    diff.def("__repr__", [](GasDetectionDifference& g) {
        const auto& o = g.object;
        return "GasDetectionDifference(edge_factor=" + std::to_string(o.GetEdgeFactor()) +
               ", sensitivity_threshold=" + std::to_string(o.GetSensitivityThreshold()) +
               ", colorization_method=" + std::to_string(o.GetColorizationMethod()) +
               ", stabilization=" + (o.UseImageStabilization() ? "True" : "False") + ")";
    });

    // ---- stabilisation
    py::class_<ImageStabilization>(m, "ImageStabilization",
                                   "Whole-pixel shift (up to 20 pixels each way) between a frame "
                                   "and a reference, and its compensation.")
        .def(py::init<>())
        .def(
            "estimate",
            [](ImageStabilization& s, const py::object& reference, const py::object& frame) {
                return IsFloatImage(frame)
                           ? StabilizeEstimate<float>(s, reference, frame, kFloat)
                           : StabilizeEstimate<unsigned short>(s, reference, frame, kFrame);
            },
            "reference"_a, "frame"_a,
            "(dx, dy) of `frame` against `reference` (uint16 or float32; the float form reports "
            "the opposite sign).")
        .def(
            "align",
            [](ImageStabilization& s, const py::object& reference, const py::object& frame,
               const py::object& out) {
                return IsFloatImage(frame)
                           ? StabilizeAlign<float>(s, reference, frame, out, kFloat)
                           : StabilizeAlign<unsigned short>(s, reference, frame, out, kFrame);
            },
            "reference"_a, "frame"_a, py::kw_only(), "out"_a = py::none(),
            "`frame` moved onto `reference`; returns a new image or fills `out` (may be "
            "`frame`). The uncovered strip keeps the frame's (or `out`'s) pixels.")
        .def_property_readonly("dx", [](ImageStabilization& s) { return s.object.GetDx(); })
        .def_property_readonly("dy", [](ImageStabilization& s) { return s.object.GetDy(); })
        .def("__repr__", [](ImageStabilization& s) {
            return "ImageStabilization(dx=" + std::to_string(s.object.GetDx()) +
                   ", dy=" + std::to_string(s.object.GetDy()) + ")";
        });

    // ---- regions
    py::class_<MagicWand>(m, "MagicWand",
                          "Selects the pixels strictly within a tolerance of a seed pixel's value "
                          "and 8-connected to it, closed by two 3x3 dilations and two erosions.")
        .def(py::init<>())
        .def(
            "add",
            [](MagicWand& w, const py::object& frame, std::pair<int, int> seed, float tolerance,
               const py::object& mask) { return WandRun(w, frame, seed, tolerance, mask, false); },
            "frame"_a, "seed"_a, "tolerance"_a, py::kw_only(), "mask"_a = py::none(),
            "ORs the region grown from seed=(x, y) into `mask` (uint8, updated in place; a new "
            "mask when None) and returns it. A seed outside the frame changes nothing.")
        .def(
            "remove",
            [](MagicWand& w, const py::object& frame, std::pair<int, int> seed, float tolerance,
               const py::object& mask) { return WandRun(w, frame, seed, tolerance, mask, true); },
            "frame"_a, "seed"_a, "tolerance"_a, py::kw_only(), "mask"_a = py::none(),
            "Clears the region grown from seed=(x, y) from `mask` and returns it.")
        .def("__repr__", [](const MagicWand&) { return "MagicWand()"; });

    // ---- palettes
    py::class_<PalettesTag> palettes(m, "Palettes",
                                     "Built-in grey, iron and rainbow palettes of 65536 colours.");
    py::enum_<ip::Palettes::Kind>(palettes, "Kind")
        .value("GREY", ip::Palettes::Grey)
        .value("IRON", ip::Palettes::Iron)
        .value("RAINBOW", ip::Palettes::Rainbow);
    palettes
        .def_static("table", &PaletteTable, "kind"_a,
                    "The (65536, 4) uint8 table (blue, green, red, 255), read-only.")
        .def_static("display_range", &DisplayRange, "frame"_a,
                    "(low, high): about the 1st and 99th percentile of the frame, high > low.")
        .def_static("apply", &PaletteApply, "frame"_a, "kind"_a, "low"_a = py::none(),
                    "high"_a = py::none(), py::kw_only(), "out"_a = py::none(),
                    "Colours a uint16 frame over [low, high] (default: display_range) into an "
                    "HxWx4 uint8 image.")
        .def("__repr__", [](const PalettesTag&) { return "Palettes()"; });

    // ---- radiometry
    py::class_<Statistics>(m, "Statistics",
                           "Region statistics; status 2 valid, 4 below and 5 above the kelvin "
                           "table's signal range.")
        .def(py::init<>())
        .def_readonly("min", &Statistics::min)
        .def_readonly("max", &Statistics::max)
        .def_readonly("mean", &Statistics::mean)
        .def_readonly("sum", &Statistics::sum)
        .def_readonly("std_dev", &Statistics::stdDev)
        .def_readonly("min_status", &Statistics::minStatus)
        .def_readonly("max_status", &Statistics::maxStatus)
        .def_readonly("mean_status", &Statistics::meanStatus)
        .def_readonly("sum_status", &Statistics::sumStatus)
        .def_readonly("std_dev_status", &Statistics::stdDevStatus)
        .def_property_readonly("min_pos",
                               [](const Statistics& s) { return py::make_tuple(s.minX, s.minY); })
        .def_property_readonly("max_pos",
                               [](const Statistics& s) { return py::make_tuple(s.maxX, s.maxY); })
        .def("__repr__", &StatisticsRepr);

    py::class_<RadiometricStatisticsTag>(m, "RadiometricStatistics",
                                         "Radiometry of uint16 frames: statistics, display limits "
                                         "and signal conversions.")
        .def_static("calculate", &Calculate, "frame"_a, "roi"_a = py::none(), py::kw_only(),
                    "kelvin_table"_a = py::none(), "table_low"_a = 0,
                    "Statistics of the region roi=(x, y, width, height) (default: the whole "
                    "frame), in counts, or in kelvin through kelvin_table (float32, entry i for "
                    "signal table_low + i). Positions are frame coordinates.")
        .def_static("histogram_min_max", &HistogramMinMax, "frame"_a, "low_fraction"_a,
                    "high_fraction"_a, py::kw_only(), "n_levels"_a = 4097, "lower_level"_a = 0,
                    "upper_level"_a = 65536, "roi"_a = py::none(),
                    "(min, max, hist, levels): display limits where the fractions of pixels are "
                    "reached from either end.")
        .def_static("fill_from_lut", &FillFromLut, "frame"_a, "lut"_a, py::kw_only(),
                    "out"_a = py::none(), "float32 image lut[frame].")
        .def_static("output_to_signal", &OutputToSignal, "image"_a, "output_low"_a, "output_high"_a,
                    "signal_low"_a, "signal_high"_a, "scale"_a, py::kw_only(), "out"_a = py::none(),
                    "Maps a float32 image back to uint16 signal through a linear map.")
        .def("__repr__", [](const RadiometricStatisticsTag&) { return "RadiometricStatistics()"; });

    Copyable<PlateauEqualization>(m, "PlateauEqualization");
    Copyable<DDE>(m, "DDE");
    Copyable<FastDDE>(m, "FastDDE");
    Copyable<HistogramEqualization>(m, "HistogramEqualization");
    Copyable<GasDetection>(m, "GasDetection");
    Copyable<GasDetectionDifference>(m, "GasDetectionDifference");
    Copyable<ImageStabilization>(m, "ImageStabilization");
    Copyable<MagicWand>(m, "MagicWand");

    m.def("_time_cpp", &TimeCpp, "obj"_a, "frame"_a, "n"_a, "reference"_a = py::none(),
          "colour"_a = py::none(),
          "Seconds per call of the object's operation repeated n times in C++ (for "
          "bench_overhead.py).");

    BindImageOperations(m);
#ifdef SOLOMA_PYTHON_SYNTHETIC
    BindSynthetic(m);
#endif
}
