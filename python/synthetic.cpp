// The command-line tool's synthetic gas-leak recording, frame by frame on demand.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SyntheticPlume.h"

namespace py = pybind11;
namespace cli = Varnik::Soloma::Cli;
using namespace py::literals;

namespace soloma_python {

namespace {

// A 2-D array owning the vector it views: no copy of the pixels.
template <typename T>
py::array OwnedArray(std::vector<T>&& pixels, int height, int width) {
    auto* owner = new std::vector<T>(std::move(pixels));
    py::capsule free(owner, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(
        {height, width},
        {static_cast<py::ssize_t>(width * sizeof(T)), static_cast<py::ssize_t>(sizeof(T))},
        owner->data(), free);
}

struct SyntheticSequence {
    explicit SyntheticSequence(const cli::PlumeSequenceOptions& options) : sequence(options) {}
    cli::PlumeSequence sequence;
    py::object record;  // the named-tuple type of the frames
};

py::object SequenceItem(const SyntheticSequence& self, py::ssize_t index) {
    const py::ssize_t count = self.sequence.Count();
    if (index < 0)
        index += count;
    if (index < 0 || index >= count) {
        throw py::index_error("index: expected -" + std::to_string(count) + " .. " +
                              std::to_string(count - 1) + ", got " + std::to_string(index));
    }
    cli::PlumeFrame f;
    {
        // Frames depend only on the options and the index: any thread may make one.
        py::gil_scoped_release release;
        f = self.sequence.Frame(static_cast<int>(index));
    }
    const int w = f.frame.width, h = f.frame.height;
    py::object vehicle = py::none();
    if (!f.vehicle.Empty()) {
        vehicle = py::make_tuple(f.vehicle.x0, f.vehicle.y0, f.vehicle.x1 - f.vehicle.x0,
                                 f.vehicle.y1 - f.vehicle.y0);
    }
    return self.record(OwnedArray(std::move(f.frame.pixels), h, w),
                       py::make_tuple(f.jitterX, f.jitterY),
                       OwnedArray(std::move(f.plumeMask), h, w), vehicle);
}

}  // namespace

void BindSynthetic(py::module_& m) {
    const py::object record =
        py::module_::import("collections")
            .attr("namedtuple")("PlumeFrame", "frame jitter plume_mask vehicle");
    record.attr("__module__") = m.attr("__name__");
    record.attr("__doc__") =
        "One synthetic frame: frame (uint16, height x width), jitter (dx, dy): how far the "
        "scene moved from frame 0, plume_mask (uint8, 255 where the gas changes the signal by "
        "more than 4 counts), vehicle (x, y, width, height) or None while out of view.";
    m.attr("PlumeFrame") = record;

    py::class_<SyntheticSequence>(
        m, "SyntheticSequence",
        "A made-up recording of a gas leak: a still scene with sensor noise, a warm vehicle "
        "driving across, a camera wandering by whole pixels and a turbulent absorbing plume "
        "leaking from frame 0 on (frame 0 shows no gas). Frames are made on demand, in any "
        "order, and are the same for the same options on every platform.")
        .def("__len__", [](const SyntheticSequence& s) { return s.sequence.Count(); })
        .def("__getitem__", &SequenceItem, "index"_a,
             "PlumeFrame(frame, jitter, plume_mask, vehicle) of frame `index` (negative counts "
             "from the end); IndexError outside the recording.")
        .def_property_readonly(
            "width", [](const SyntheticSequence& s) { return s.sequence.Options().width; })
        .def_property_readonly(
            "height", [](const SyntheticSequence& s) { return s.sequence.Options().height; })
        .def("__repr__", [](const SyntheticSequence& s) {
            const auto& o = s.sequence.Options();
            return "SyntheticSequence(frames=" + std::to_string(o.frames) +
                   ", width=" + std::to_string(o.width) + ", height=" + std::to_string(o.height) +
                   ", jitter=" + std::to_string(o.jitter) +
                   ", plume_counts=" + std::string(py::str(py::float_(o.plumeCounts))) +
                   ", seed=" + std::to_string(o.seed) +
                   ", vehicle=" + (o.vehicle ? "True" : "False") + ")";
        });

    m.def(
        "synthetic_sequence",
        [record](int frames, int width, int height, int jitter, float plumeCounts, unsigned seed,
                 bool vehicle) {
            if (frames < 0 || width < 1 || height < 1 || jitter < 0) {
                throw py::value_error(
                    "expected frames >= 0, width and height >= 1 and jitter >= 0, got frames=" +
                    std::to_string(frames) + ", width=" + std::to_string(width) +
                    ", height=" + std::to_string(height) + ", jitter=" + std::to_string(jitter));
            }
            cli::PlumeSequenceOptions o;
            o.frames = frames;
            o.width = width;
            o.height = height;
            o.jitter = jitter;
            o.plumeCounts = plumeCounts;
            o.seed = seed;
            o.vehicle = vehicle;
            std::unique_ptr<SyntheticSequence> s;
            {
                py::gil_scoped_release release;  // builds the still scene
                s = std::make_unique<SyntheticSequence>(o);
            }
            s->record = record;
            return s;
        },
        "frames"_a = 60, "width"_a = 640, "height"_a = 512, "jitter"_a = 3,
        "plume_counts"_a = 40.0f, "seed"_a = 1, "vehicle"_a = true,
        "The synthetic gas-leak recording of the command-line demo: `frames` frames of "
        "width x height, the camera moving up to `jitter` pixels each way, the gas lowering the "
        "signal by up to `plume_counts` counts (negative: raising it), with or without the "
        "vehicle. len() gives the frame count; s[i] makes frame i (a PlumeFrame).");
}

}  // namespace soloma_python
