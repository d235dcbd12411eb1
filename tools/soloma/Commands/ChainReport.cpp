#include "ChainReport.h"

#include "CommandSupport.h"
#include "KelvinOption.h"

#include "../BitmapFont.h"
#include "../Canvas.h"
#include "../HtmlPage.h"
#include "../Paths.h"
#include "../PngIo.h"
#include "../Progress.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;

// What a frame leaves behind once its pictures are written.
struct FrameRecord {
    int dx = 0;
    int dy = 0;
    Statistics frame{};
    unsigned short lower = 0;
    unsigned short upper = 0;
    int seedX = 0;
    int seedY = 0;
    std::size_t regionPixels = 0;
    Statistics region{};
    TintCount psd;
    TintCount difference;
};

// Stage times of one pass, summed over the frames averaged.
struct PassTiming {
    int threads = 1;
    int frames = 0;
    double milliseconds[kStageCount] = {};

    double Mean(int stage) const { return frames > 0 ? milliseconds[stage] / frames : 0.0; }
    double Total() const {
        double total = 0.0;
        for (int stage = 0; stage < kStageCount; ++stage) {
            total += Mean(stage);
        }
        return total;
    }
};

// The pictures of the stages, in the contact sheet's order; the last only with truth.
struct PictureStage {
    const char* key;    // in file names
    const char* title;  // above the column
};
const PictureStage kPictureStages[] = {
    {"raw", "raw counts"},
    {"stabilized", "stabilized"},
    {"dde", "DDE"},
    {"plateau", "plateau"},
    {"palette", "palette"},
    {"gas_psd", "gas PSD"},
    {"gas_difference", "gas difference"},
    {"wand", "hottest object"},
    {"truth", "true plume"},
};

struct StagePictures {
    std::size_t frame = 0;
    std::vector<Image8> pictures;  // RGB, one per stage shown
    std::vector<std::string> captions;
};

const Rgb kSheetBackground{24, 24, 24};
const unsigned char kSheetText[4] = {235, 235, 235, 255};
const unsigned char kSheetDim[4] = {150, 150, 150, 255};
const Rgb kOutlineColour{0, 255, 255};
const Rgb kPlumeColour{255, 220, 0};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

// FNV-1a over 8-byte words, for telling whether two runs gave the same pictures.
std::uint64_t Hash(std::uint64_t h, const void* data, std::size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        h = (h ^ word) * 0x100000001B3ull;
    }
    for (; i < bytes; ++i) {
        h = (h ^ p[i]) * 0x100000001B3ull;
    }
    return h;
}

std::uint64_t HashResult(const ChainResult& r) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    h = Hash(h, r.display.pixels.data(), r.display.pixels.size() * 2);
    h = Hash(h, r.colour.bgra.data(), r.colour.bgra.size());
    h = Hash(h, r.psdOverlay.bgra.data(), r.psdOverlay.bgra.size());
    h = Hash(h, r.differenceOverlay.bgra.data(), r.differenceOverlay.bgra.size());
    h = Hash(h, r.wandMask.data(), r.wandMask.size());
    const int shift[2] = {r.dx, r.dy};
    return Hash(h, shift, sizeof shift);
}

const Gray16Image& ReferenceOf(const ChainJob& job, std::size_t i) {
    if (job.reference.previous) {
        return job.frames[i == 0 ? 0 : i - 1];
    }
    return job.frames[job.reference.index];
}

std::string DescribeReference(const ChainJob& job) {
    if (job.reference.previous) {
        return "the previous frame (the first against itself)";
    }
    return job.names[job.reference.index];
}

// One pass of the chain over every frame with `threads` threads; `onFrame` sees each result
// and may stop the pass by returning false.
bool RunPass(const ChainJob& job, const char* pass, int threads, PassTiming* timing,
             std::vector<std::uint64_t>* hashes,
             const std::function<bool(std::size_t, const ChainResult&)>& onFrame) {
    omp_set_num_threads(threads);
    timing->threads = threads;
    ThermalChain chain(job.settings);
    ChainResult result;
    const std::size_t n = job.frames.size();
    Progress progress(Format("%s, %d thread%s", pass, threads, threads == 1 ? "" : "s"),
                      static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
        chain.Run(job.frames[i], ReferenceOf(job, i), &result);
        // The first frame also allocates every buffer; a stream runs in steady state.
        if (i > 0 || n == 1) {
            for (int stage = 0; stage < kStageCount; ++stage) {
                timing->milliseconds[stage] += result.milliseconds[stage];
            }
            ++timing->frames;
        }
        hashes->push_back(HashResult(result));
        if (!onFrame(i, result)) {
            progress.Finish();
            return false;
        }
        progress.Update(static_cast<int>(i + 1));
    }
    progress.Finish();
    return true;
}

struct Quality {
    double recall = NAN;     // share of the plume tinted
    double precision = NAN;  // share of the tinted pixels inside the plume
    double iou = NAN;        // intersection over union
};

Quality QualityOf(const TintCount& count) {
    Quality q;
    const double tp = static_cast<double>(count.truePositives);
    if (count.truth > 0) {
        q.recall = tp / static_cast<double>(count.truth);
    }
    if (count.tinted > 0) {
        q.precision = tp / static_cast<double>(count.tinted);
    }
    const double united = static_cast<double>(count.truth + count.tinted) - tp;
    if (united > 0) {
        q.iou = tp / united;
    }
    return q;
}

std::string Share(double value) {
    return std::isnan(value) ? "-" : Format("%.3f", value);
}

TintCount Sum(const std::vector<FrameRecord>& records, TintCount FrameRecord::*which) {
    TintCount total;
    for (const FrameRecord& r : records) {
        const TintCount& c = r.*which;
        total.tinted += c.tinted;
        total.truth += c.truth;
        total.truePositives += c.truePositives;
    }
    return total;
}

bool JitterFound(const FrameRecord& record, const FrameTruth& truth) {
    // The stabilizer reports the move that brings the frame back: the jitter's opposite.
    return record.dx == -truth.jitterX && record.dy == -truth.jitterY;
}

// Whether the wand started on the vehicle, the hottest thing while it is in view.
bool SeedOnVehicle(const FrameRecord& record, const FrameTruth& truth) {
    return truth.vehicle.Contains(record.seedX, record.seedY);
}

// A value in the unit of the region statistics: kelvin through the table, or counts.
std::string InUnit(const ChainJob& job, double value) {
    return job.settings.kelvin.Empty() ? Format("%.0f", value) : Format("%.1f K", value);
}

// One of the region's statistics; "-" when the region is empty (a seed on the frame's edge
// can lose every pixel to the wand's closing).
std::string RegionValue(const ChainJob& job, const FrameRecord& record, double Statistics::*which) {
    return record.regionPixels == 0 ? "-" : InUnit(job, record.region.*which);
}

// --- pictures ------------------------------------------------------------------------------

// A 16-bit stage in grey over its own 1st..99th percentile, as the library's palettes show a
// frame, so that a few hot pixels do not flatten the picture.
Image8 PreviewOf(const Gray16Image& image) {
    using ImageProcessing::Palettes;
    int low = 0;
    int high = 0;
    std::vector<unsigned char> bgra(image.pixels.size() * 4);
    Palettes::DisplayRange(image.pixels.data(), image.Step(), image.width, image.height, &low,
                           &high);
    Palettes::Apply(image.pixels.data(), image.Step(), Palettes::Grey, low, high, bgra.data(),
                    4 * image.width, image.width, image.height);
    return BgraToRgb(bgra.data(), image.width, image.height);
}

Image8 ColourOf(const ColourImage& image) {
    return BgraToRgb(image.bgra.data(), image.width, image.height);
}

StagePictures MakeStagePictures(const ChainJob& job, std::size_t i, const ChainResult& r,
                                const FrameRecord& record) {
    StagePictures s;
    s.frame = i;
    const Gray16Image& frame = job.frames[i];
    const bool truth = !job.truth.empty();
    const ValueRange range = FindRange(frame);
    auto add = [&](Image8 picture, std::string caption) {
        s.pictures.push_back(std::move(picture));
        s.captions.push_back(std::move(caption));
    };
    add(PreviewOf(frame), Format("%u..%u counts", range.min, range.max));
    std::string shift = Format("dx %+d dy %+d", r.dx, r.dy);
    if (truth) {
        shift += JitterFound(record, job.truth[i]) ? ", exact" : ", missed";
    }
    add(PreviewOf(r.aligned), shift);
    add(PreviewOf(r.enhanced),
        Format("kernel %d, gain %g", job.settings.ddeKernel, job.settings.detailGain));
    add(PreviewOf(r.display), Format("damping %g", job.settings.damping));
    add(ColourOf(r.colour),
        Format("%s %d..%d", job.settings.paletteName.c_str(), r.paletteLow, r.paletteHigh));
    const std::size_t pixels = frame.pixels.size();
    const struct {
        const ColourImage& overlay;
        const TintCount& count;
    } detectors[] = {{r.psdOverlay, record.psd}, {r.differenceOverlay, record.difference}};
    for (const auto& detector : detectors) {
        const TintCount& count = detector.count;
        if (truth) {
            const Quality q = QualityOf(count);
            add(ColourOf(detector.overlay), "R " + Share(q.recall) + " P " + Share(q.precision));
        } else {
            add(ColourOf(detector.overlay),
                Format("tinted %.2f %%",
                       100.0 * static_cast<double>(count.tinted) / static_cast<double>(pixels)));
        }
    }
    Image8 wand = ColourOf(r.colour);
    DrawOutline(&wand, r.wandMask, kOutlineColour);
    const int margin = std::max(3, frame.width / 40);
    DrawBox(&wand, BoundingBox(r.wandMask, frame.width, margin), std::max(1, frame.width / 320),
            kOutlineColour);
    add(std::move(wand),
        Format("%zu px, max ", record.regionPixels) + RegionValue(job, record, &Statistics::max));
    if (truth) {
        Image8 plume = PreviewOf(r.display);
        Fill(&plume, job.truth[i].plumeMask, kPlumeColour);
        add(std::move(plume), Format("plume %zu px", record.psd.truth));
    }
    return s;
}

// The integer factor for Rescale that brings a picture `width` wide near `tileWidth`.
int TileFactor(int width, int tileWidth) {
    if (width > tileWidth) {
        return (width + tileWidth - 1) / tileWidth;
    }
    return 2 * width <= tileWidth ? -(tileWidth / width) : 1;
}

std::string Clip(const std::string& text, int width, int scale) {
    const int fits = std::max(0, (width + scale) / (kGlyphAdvance * scale));
    return static_cast<int>(text.size()) <= fits ? text : text.substr(0, fits);
}

// The stages side by side, one row per shown frame, titled and captioned in the built-in font.
Image8 MakeContactSheet(const ChainJob& job, const std::vector<StagePictures>& rows, int tileWidth,
                        int textScale) {
    const int t = textScale;
    const int pad = 6 * t;
    const int line = 10 * t;
    const int factor = TileFactor(job.frames[0].width, tileWidth);
    const Image8 probe = Rescale(rows[0].pictures[0], factor);
    const int tileW = probe.width;
    const int tileH = probe.height;
    const int columns = static_cast<int>(rows[0].pictures.size());
    const int width = pad + columns * (tileW + pad);
    const int rowHeight = line + tileH + pad / 2 + line + pad;
    const int height = pad + line + pad + line + pad + static_cast<int>(rows.size()) * rowHeight;
    Image8 sheet = MakeCanvas(width, height, kSheetBackground);
    const std::string title =
        job.title + Format(", %dx%d, %zu frames, against %s", job.frames[0].width,
                           job.frames[0].height, job.frames.size(), DescribeReference(job).c_str());
    DrawText(&sheet, pad, pad, Clip(title, width - 2 * pad, t), t, kSheetText);
    int y = pad + line + pad;
    for (int c = 0; c < columns; ++c) {
        DrawText(&sheet, pad + c * (tileW + pad), y, Clip(kPictureStages[c].title, tileW, t), t,
                 kSheetDim);
    }
    y += line + pad;
    for (const StagePictures& row : rows) {
        DrawText(&sheet, pad, y, job.names[row.frame], t, kSheetText);
        y += line;
        for (int c = 0; c < columns; ++c) {
            const int x = pad + c * (tileW + pad);
            Paste(&sheet, Rescale(row.pictures[c], factor), x, y);
            DrawText(&sheet, x, y + tileH + pad / 2, Clip(row.captions[c], tileW + pad, t), t,
                     kSheetDim);
        }
        y += tileH + pad / 2 + line + pad;
    }
    return sheet;
}

// --- report on stdout ----------------------------------------------------------------------

void PrintTiming(const ChainJob& job, const PassTiming& single, const PassTiming& parallel) {
    const Gray16Image& f = job.frames[0];
    std::printf("\ntiming: mean per frame over %d frame%s of %dx%d%s\n", single.frames,
                single.frames == 1 ? "" : "s", f.width, f.height,
                job.frames.size() > 1 ? " (the first frame, which allocates, left out)" : "");
    const std::string many =
        Format("%d thread%s", parallel.threads, parallel.threads == 1 ? "" : "s");
    std::printf("  %-12s %19s   %19s\n", "", "1 thread", many.c_str());
    std::printf("  %-12s %9s %9s   %9s %9s\n", "stage", "ms", "fps", "ms", "fps");
    auto row = [](const char* name, double a, double b) {
        std::printf("  %-12s %9.2f %9.1f   %9.2f %9.1f\n", name, a, a > 0 ? 1000.0 / a : 0.0, b,
                    b > 0 ? 1000.0 / b : 0.0);
    };
    for (int stage = 0; stage < kStageCount; ++stage) {
        row(StageName(stage), single.Mean(stage), parallel.Mean(stage));
    }
    row("whole chain", single.Total(), parallel.Total());
}

void PrintQuality(const ChainJob& job, const std::vector<FrameRecord>& records) {
    std::printf(
        "\ndetection against the true plume, each frame against %s (stabilisation on)\n"
        "  camera: the true move of the frame; found: the stabilizer's estimate of it\n"
        "  recall: share of the plume tinted; precision: share of the tinted pixels in the "
        "plume\n",
        DescribeReference(job).c_str());
    std::printf("  %-10s %7s %8s %8s %6s | %-6s %6s %6s %6s | %-6s %6s %6s %6s\n", "frame", "plume",
                "camera", "found", "exact", "psd", "recall", "prec", "IoU", "diff", "recall",
                "prec", "IoU");
    int exact = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FrameRecord& r = records[i];
        const FrameTruth& t = job.truth[i];
        const bool found = JitterFound(r, t);
        exact += found;
        const Quality psd = QualityOf(r.psd);
        const Quality diff = QualityOf(r.difference);
        std::printf("  %-10s %7zu %+4d %+3d %+4d %+3d %6s | %-6s %6s %6s %6s | %-6s %6s %6s %6s\n",
                    job.names[i].c_str(), r.psd.truth, t.jitterX, t.jitterY, -r.dx, -r.dy,
                    found ? "yes" : "NO", "", Share(psd.recall).c_str(),
                    Share(psd.precision).c_str(), Share(psd.iou).c_str(), "",
                    Share(diff.recall).c_str(), Share(diff.precision).c_str(),
                    Share(diff.iou).c_str());
    }
    const TintCount psdTotal = Sum(records, &FrameRecord::psd);
    const TintCount diffTotal = Sum(records, &FrameRecord::difference);
    const Quality psd = QualityOf(psdTotal);
    const Quality diff = QualityOf(diffTotal);
    std::printf("  %-10s %7zu %17s %6s | %-6s %6s %6s %6s | %-6s %6s %6s %6s\n", "all",
                psdTotal.truth, "", Format("%d/%zu", exact, records.size()).c_str(), "",
                Share(psd.recall).c_str(), Share(psd.precision).c_str(), Share(psd.iou).c_str(), "",
                Share(diff.recall).c_str(), Share(diff.precision).c_str(), Share(diff.iou).c_str());
    std::printf("  jitter recovered exactly in %d of %zu frames%s\n", exact, records.size(),
                exact == static_cast<int>(records.size()) ? "" : " (NOT all)");
    int inView = 0;
    int onVehicle = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        inView += !job.truth[i].vehicle.Empty();
        onVehicle += SeedOnVehicle(records[i], job.truth[i]);
    }
    std::printf("  the hottest object was the vehicle in %d of the %d frames it is in view\n",
                onVehicle, inView);
}

void PrintStatistics(const ChainJob& job, const std::vector<FrameRecord>& records,
                     const std::vector<std::size_t>& shown) {
    const KelvinTable& kelvin = job.settings.kelvin;
    std::printf(
        "\nhottest object: the magic-wand region grown from the brightest pixel, tolerance "
        "%g of the way to the frame's mean\n  statistics in %s; display limits from a "
        "4096-bin histogram, 1 %% cut at each end\n",
        job.settings.wandShare,
        kelvin.Empty() ? "signal counts" : ("kelvin, " + DescribeKelvinTable(kelvin)).c_str());
    std::printf("  %-10s %12s %7s %10s %10s %10s %12s   %s\n", "frame", "seed (x, y)", "pixels",
                "min", "max", "mean", "frame mean", "display limits (counts)");
    for (std::size_t i : shown) {
        const FrameRecord& r = records[i];
        std::printf("  %-10s %12s %7zu %10s %10s %10s %12s   %u..%u\n", job.names[i].c_str(),
                    Format("(%d, %d)", r.seedX, r.seedY).c_str(), r.regionPixels,
                    RegionValue(job, r, &Statistics::min).c_str(),
                    RegionValue(job, r, &Statistics::max).c_str(),
                    RegionValue(job, r, &Statistics::mean).c_str(),
                    InUnit(job, kelvin.Kelvin(r.frame.mean)).c_str(), r.lower, r.upper);
    }
}

// --- files ---------------------------------------------------------------------------------

bool WriteText(const fs::path& path, const std::string& text, std::string* error) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) {
        *error = "cannot write '" + path.string() + "'";
        return false;
    }
    return true;
}

std::string StatisticsCsv(const ChainJob& job, const std::vector<FrameRecord>& records) {
    std::string csv =
        "frame,name,dx,dy,min,max,mean,lower_limit,upper_limit,seed_x,seed_y,region_pixels,"
        "region_min,region_max,region_mean,region_unit,psd_tinted,difference_tinted\n";
    const char* unit = job.settings.kelvin.Empty() ? "counts" : "kelvin";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FrameRecord& r = records[i];
        csv += Format("%zu,%s,%d,%d,%.0f,%.0f,%.3f,%u,%u,%d,%d,%zu,%.3f,%.3f,%.3f,%s,%zu,%zu\n", i,
                      job.names[i].c_str(), r.dx, r.dy, r.frame.min, r.frame.max, r.frame.mean,
                      r.lower, r.upper, r.seedX, r.seedY, r.regionPixels, r.region.min,
                      r.region.max, r.region.mean, unit, r.psd.tinted, r.difference.tinted);
    }
    return csv;
}

std::string QualityCsv(const ChainJob& job, const std::vector<FrameRecord>& records) {
    std::string csv =
        "frame,name,jitter_x,jitter_y,found_x,found_y,exact,plume_pixels,psd_tinted,psd_inside,"
        "psd_recall,psd_precision,psd_iou,difference_tinted,difference_inside,"
        "difference_recall,difference_precision,difference_iou,vehicle_in_view,"
        "wand_on_vehicle\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FrameRecord& r = records[i];
        const FrameTruth& t = job.truth[i];
        const Quality psd = QualityOf(r.psd);
        const Quality diff = QualityOf(r.difference);
        csv += Format(
            "%zu,%s,%d,%d,%d,%d,%d,%zu,%zu,%zu,%s,%s,%s,%zu,%zu,%s,%s,%s,%d,%d\n", i,
            job.names[i].c_str(), t.jitterX, t.jitterY, -r.dx, -r.dy, JitterFound(r, t) ? 1 : 0,
            r.psd.truth, r.psd.tinted, r.psd.truePositives, Share(psd.recall).c_str(),
            Share(psd.precision).c_str(), Share(psd.iou).c_str(), r.difference.tinted,
            r.difference.truePositives, Share(diff.recall).c_str(), Share(diff.precision).c_str(),
            Share(diff.iou).c_str(), t.vehicle.Empty() ? 0 : 1, SeedOnVehicle(r, t) ? 1 : 0);
    }
    return csv;
}

std::string TimingCsv(const PassTiming& single, const PassTiming& parallel) {
    std::string csv = Format("stage,call,ms_1_thread,ms_%d_threads\n", parallel.threads);
    for (int stage = 0; stage < kStageCount; ++stage) {
        csv += Format("%s,\"%s\",%.4f,%.4f\n", StageName(stage), StageCall(stage),
                      single.Mean(stage), parallel.Mean(stage));
    }
    return csv + Format("whole chain,,%.4f,%.4f\n", single.Total(), parallel.Total());
}

std::string StagePath(const ChainJob& job, std::size_t frame, int stage) {
    return "stages/" + job.names[frame] + "_" + kPictureStages[stage].key + ".png";
}

std::string MakePage(const ChainJob& job, const std::vector<FrameRecord>& records,
                     const std::vector<StagePictures>& shown, const PassTiming& single,
                     const PassTiming& parallel, bool identical,
                     std::vector<std::string>* pictures) {
    const Gray16Image& f = job.frames[0];
    HtmlPage page(job.title);
    page.Paragraph(
        job.source +
        Format(": %zu frames of %dx%d, each compared with ", job.frames.size(), f.width, f.height) +
        DescribeReference(job) + ".");
    page.Paragraph(
        "Each frame goes through the whole chain: its statistics and display limits, its "
        "whole-pixel shift against the reference, detail enhancement (DDE) and damped plateau "
        "equalization for display, the " +
        job.settings.paletteName +
        " palette, both gas detectors (power spectral density and frame difference, "
        "stabilised) tinting a grey rendering of the display frame green where the gas lowers "
        "the signal and magenta where it raises it, and the hottest object, grown by the magic "
        "wand from the brightest pixel, with its statistics.");
    page.Heading("Contact sheet");
    page.Picture("contact_sheet.png",
                 "the stages side by side for " + std::to_string(shown.size()) + " frames");

    page.Heading("Stages");
    std::vector<std::string> header = {"frame"};
    for (std::size_t c = 0; c < shown[0].pictures.size(); ++c) {
        header.push_back(kPictureStages[c].title);
    }
    std::vector<std::vector<std::string>> rows;
    for (const StagePictures& s : shown) {
        std::vector<std::string> row = {EscapeHtml(job.names[s.frame])};
        for (std::size_t c = 0; c < s.pictures.size(); ++c) {
            row.push_back(page.PictureCell(StagePath(job, s.frame, static_cast<int>(c)),
                                           kPictureStages[c].title, 160) +
                          "<br>" + EscapeHtml(s.captions[c]));
        }
        rows.push_back(row);
    }
    page.Table(header, rows);

    page.Heading("Timing");
    page.Paragraph(Format("Mean milliseconds per frame over %d frames", single.frames) +
                   (job.frames.size() > 1 ? " (the first frame, which allocates, left out)" : "") +
                   Format("; the same frames on 1 and on %d threads gave ", parallel.threads) +
                   (identical ? "identical results." : "DIFFERENT results."));
    rows.clear();
    auto timingRow = [&](const std::string& name, const std::string& call, double a, double b) {
        rows.push_back({EscapeHtml(name), EscapeHtml(call), Format("%.2f", a),
                        Format("%.1f", a > 0 ? 1000.0 / a : 0.0), Format("%.2f", b),
                        Format("%.1f", b > 0 ? 1000.0 / b : 0.0)});
    };
    for (int stage = 0; stage < kStageCount; ++stage) {
        timingRow(StageName(stage), StageCall(stage), single.Mean(stage), parallel.Mean(stage));
    }
    timingRow("whole chain", "", single.Total(), parallel.Total());
    page.Table(
        {"stage", "call", "ms, 1 thread", "fps, 1 thread",
         Format("ms, %d threads", parallel.threads), Format("fps, %d threads", parallel.threads)},
        rows);

    if (!job.truth.empty()) {
        page.Heading("Detection quality");
        page.Paragraph(
            "Against the plume mask the generator knows. Recall: share of the plume's pixels "
            "tinted; precision: share of the tinted pixels inside the plume; IoU: intersection "
            "over union. Camera: the true move of the frame; found: the stabilizer's estimate.");
        rows.clear();
        for (std::size_t i = 0; i < records.size(); ++i) {
            const FrameRecord& r = records[i];
            const FrameTruth& t = job.truth[i];
            const Quality psd = QualityOf(r.psd);
            const Quality diff = QualityOf(r.difference);
            rows.push_back({EscapeHtml(job.names[i]), std::to_string(r.psd.truth),
                            Format("%+d, %+d", t.jitterX, t.jitterY),
                            Format("%+d, %+d", -r.dx, -r.dy), JitterFound(r, t) ? "yes" : "no",
                            Share(psd.recall), Share(psd.precision), Share(psd.iou),
                            Share(diff.recall), Share(diff.precision), Share(diff.iou)});
        }
        const Quality psd = QualityOf(Sum(records, &FrameRecord::psd));
        const Quality diff = QualityOf(Sum(records, &FrameRecord::difference));
        rows.push_back({"all", std::to_string(Sum(records, &FrameRecord::psd).truth), "", "", "",
                        Share(psd.recall), Share(psd.precision), Share(psd.iou), Share(diff.recall),
                        Share(diff.precision), Share(diff.iou)});
        page.Table(
            {"frame", "plume pixels", "camera", "found", "exact", "PSD recall", "PSD precision",
             "PSD IoU", "difference recall", "difference precision", "difference IoU"},
            rows);
    }

    page.Heading("Statistics");
    const KelvinTable& kelvin = job.settings.kelvin;
    page.Paragraph(
        "Frame range and mean in signal counts; display limits from a 4096-bin histogram with "
        "1 % cut at each end; the hottest object's region in " +
        (kelvin.Empty() ? std::string("signal counts") : "kelvin, " + DescribeKelvinTable(kelvin)) +
        "; the share of each frame each detector tinted.");
    rows.clear();
    const double pixels = static_cast<double>(f.pixels.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FrameRecord& r = records[i];
        rows.push_back(
            {EscapeHtml(job.names[i]), Format("%+d, %+d", r.dx, r.dy),
             Format("%.0f..%.0f", r.frame.min, r.frame.max), Format("%.1f", r.frame.mean),
             Format("%u..%u", r.lower, r.upper), Format("(%d, %d)", r.seedX, r.seedY),
             std::to_string(r.regionPixels), RegionValue(job, r, &Statistics::min),
             RegionValue(job, r, &Statistics::max), RegionValue(job, r, &Statistics::mean),
             Format("%.2f %%", 100.0 * static_cast<double>(r.psd.tinted) / pixels),
             Format("%.2f %%", 100.0 * static_cast<double>(r.difference.tinted) / pixels)});
    }
    page.Table({"frame", "dx, dy", "range", "mean", "display limits", "seed", "region pixels",
                "region min", "region max", "region mean", "PSD tinted", "difference tinted"},
               rows);

    page.Heading("Files");
    page.Link("frames/psd/", "every frame's overlay of the spectral detector");
    page.Link("frames/difference/", "every frame's overlay of the difference detector");
    page.Link("statistics.csv", "statistics.csv");
    page.Link("timing.csv", "timing.csv");
    if (!job.truth.empty()) {
        page.Link("quality.csv", "quality.csv");
    }
    *pictures = page.Pictures();
    return page.Text();
}

}  // namespace

std::vector<std::size_t> ShownFrames(std::size_t count) {
    std::vector<std::size_t> shown;
    for (const std::size_t i : {count / 3, 2 * count / 3, count - 1}) {
        if (count > 0 && (shown.empty() || shown.back() < i)) {
            shown.push_back(i);
        }
    }
    return shown;
}

int RunChainJob(const ChainJob& job) {
    const std::size_t n = job.frames.size();
    const Gray16Image& first = job.frames[0];
    const int threads = omp_get_max_threads();
    const bool truth = !job.truth.empty();
    const fs::path& out = job.output;
    std::string error;

    std::printf("%s\n", job.title.c_str());
    PrintReportLine("input", job.source);
    PrintReportLine("frames", Format("%zu of %dx%d, each against ", n, first.width, first.height) +
                                  DescribeReference(job));
    PrintReportLine(
        "display", Format("DDE (kernel %d, sigma %g, base %g, detail %g), plateau "
                          "(%g %% linear, damping %g), %s palette",
                          job.settings.ddeKernel, job.settings.ddeSigma, job.settings.baseSharpen,
                          job.settings.detailGain, job.settings.linearPercent, job.settings.damping,
                          job.settings.paletteName.c_str()));
    PrintReportLine("gas", Format("PSD (threshold %g) and difference (sensitivity %d), "
                                  "edge factor %d, stabilised, green/magenta tint",
                                  job.settings.psdThreshold, job.settings.sensitivity,
                                  job.settings.edgeFactor));
    for (const ReportLine& line : job.lines) {
        PrintReportLine(line.label, line.text);
    }
    std::fflush(stdout);

    for (const fs::path& folder :
         {out / "stages", out / "frames" / "psd", out / "frames" / "difference"}) {
        if (!CreateParentDirectory((folder / "x").string(), &error)) {
            return ReportFailure(error);
        }
    }

    PassTiming single;
    PassTiming parallel;
    std::vector<std::uint64_t> singleHashes;
    std::vector<std::uint64_t> parallelHashes;
    RunPass(job, "pass 1", 1, &single, &singleHashes,
            [](std::size_t, const ChainResult&) { return true; });

    const std::vector<std::size_t> shownFrames = ShownFrames(n);
    std::vector<FrameRecord> records(n);
    std::vector<StagePictures> shown;
    const bool completed = RunPass(
        job, "pass 2", threads, &parallel, &parallelHashes,
        [&](std::size_t i, const ChainResult& r) {
            FrameRecord& record = records[i];
            record.dx = r.dx;
            record.dy = r.dy;
            record.frame = r.frameStatistics;
            record.lower = r.lowerLimit;
            record.upper = r.upperLimit;
            record.seedX = r.seedX;
            record.seedY = r.seedY;
            record.regionPixels = r.regionPixels;
            record.region = r.regionStatistics;
            const std::vector<unsigned char>* mask = truth ? &job.truth[i].plumeMask : nullptr;
            const int tint = job.settings.colorization;
            record.psd = CountTinted(r.grey, r.psdOverlay, tint, mask);
            record.difference = CountTinted(r.grey, r.differenceOverlay, tint, mask);
            const std::string name = job.names[i] + ".png";
            if (!WritePng8((out / "frames" / "psd" / name).string(), ColourOf(r.psdOverlay), &error,
                           PngCompression::Fast) ||
                !WritePng8((out / "frames" / "difference" / name).string(),
                           ColourOf(r.differenceOverlay), &error, PngCompression::Fast)) {
                return false;
            }
            if (std::find(shownFrames.begin(), shownFrames.end(), i) == shownFrames.end()) {
                return true;
            }
            shown.push_back(MakeStagePictures(job, i, r, record));
            for (std::size_t c = 0; c < shown.back().pictures.size(); ++c) {
                if (!WritePng8((out / StagePath(job, i, static_cast<int>(c))).string(),
                               shown.back().pictures[c], &error, PngCompression::Fast)) {
                    return false;
                }
            }
            return true;
        });
    omp_set_num_threads(threads);
    if (!completed) {
        return ReportFailure(error);
    }
    const bool identical = singleHashes == parallelHashes;

    PrintTiming(job, single, parallel);
    if (truth) {
        PrintQuality(job, records);
    }
    PrintStatistics(job, records, shownFrames);
    std::printf(
        "\n%s gave %s results\n",
        threads == 1 ? "the two passes" : Format("the passes on 1 and %d threads", threads).c_str(),
        identical ? "identical" : "DIFFERENT");

    std::vector<std::string> pictures;
    const std::string page = MakePage(job, records, shown, single, parallel, identical, &pictures);
    if (!WritePng8((out / "contact_sheet.png").string(), MakeContactSheet(job, shown, 320, 2),
                   &error) ||
        !WriteText(out / "statistics.csv", StatisticsCsv(job, records), &error) ||
        !WriteText(out / "timing.csv", TimingCsv(single, parallel), &error) ||
        (truth && !WriteText(out / "quality.csv", QualityCsv(job, records), &error)) ||
        !WriteText(out / "index.html", page, &error)) {
        return ReportFailure(error);
    }
    if (!job.docsPicture.empty() &&
        (!CreateParentDirectory(job.docsPicture.string(), &error) ||
         !WritePng8(job.docsPicture.string(), MakeContactSheet(job, shown, 128, 1), &error))) {
        return ReportFailure(error);
    }

    std::printf("\nwrote\n");
    PrintReportLine("page", (out / "index.html").string());
    PrintReportLine("contact sheet", (out / "contact_sheet.png").string());
    PrintReportLine("stages", Format("%zu pictures in ", shown.size() * shown[0].pictures.size()) +
                                  (out / "stages").string());
    PrintReportLine("overlays", Format("%zu frames in each of ", n) +
                                    (out / "frames" / "psd").string() + " and " +
                                    (out / "frames" / "difference").string());
    PrintReportLine("tables", (out / "statistics.csv").string() + ", " +
                                  (out / "timing.csv").string() +
                                  (truth ? ", " + (out / "quality.csv").string() : ""));
    if (!job.docsPicture.empty()) {
        PrintReportLine("small sheet", job.docsPicture.string());
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - job.started;
    PrintReportLine("wall time", Format("%.1f s", wall.count()));
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
