// kvtool's file subcommands: info, convert, raw, resize.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "any_image.h"
#include "batch_convert.h"
#include "commands.h"
#include "kvbase/files/image_files.h"
#include "kvbase/render/resize.h"
#include "tool_support.h"

namespace kvtool {

namespace {

const char* ContainerName(short container) {
  switch (container) {
    case K_FILE_FORMAT_TIFF: return "TIFF";
    case K_FILE_FORMAT_BMP: return "BMP";
    case K_FILE_FORMAT_JPEG: return "JPEG";
    case K_FILE_FORMAT_PNG: return "PNG";
    default: return "unknown";
  }
}

// What the headers say of the samples: "3 x 8 bits RGB", "1 x 4 bits palette, alpha".
std::string SamplesOf(const KImageFileInfo& info) {
  return std::to_string(info.samplesPerPixel) + " x " + std::to_string(info.bitsPerSample) + " bits " +
         info.colorSpace + (info.hasAlpha ? ", alpha" : "");
}

// Why a file that no kind takes is refused, when its headers tell more than the error code does.
std::string WhyNoKind(const KImageFileInfo& info) {
  const bool colour = info.samplesPerPixel - info.hasAlpha >= 3 && !info.hasPalette;
  if (colour && info.bitsPerSample == 16)
    return "16-bit RGB fits no pixel kind (C24 holds 8 bits per sample): convert the file to 8 bits per sample";
  return "";
}

void PrintText(const char* label, const char* value) { std::printf("%-11s %s\n", label, value ? value : "-"); }

// Reads --kind into `kind`; false after reporting a bad value.
bool KindOption(const Args& args, const KPixelKind*& kind) {
  kind = nullptr;
  if (auto text = args.Get("kind")) {
    kind = ParseKind(*text);
    if (kind == nullptr) return false;
  }
  return true;
}

constexpr const char* kKindHelp = "BW1|BW8|BW16|C15|C16|C24";

}  // namespace

int RunInfo(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 1) {
    std::printf(
        "usage: kvtool info FILE\n"
        "  container, compression, pages, samples, format code, size, the pixel kind it loads into,\n"
        "  resolution and texts\n");
    return args.HelpAsked() ? 0 : 2;
  }
  const std::string& path = args.Positionals()[0];
  KImageFileInfo info;
  if (KGetImageFileInfo(path.c_str(), &info) != K_SUCCESS) return FailWithCurrentError("loading " + path);
  short format = -1;
  auto image = LoadImageFile(path, nullptr, format);
  if (!image) {
    const std::string why = WhyNoKind(info);
    return FailWithCurrentError("loading " + path + (why.empty() ? "" : " (" + why + ")"));
  }
  KGenericROI& g = image->Generic();
  float x = 0, y = 0;
  KMeasurementUnit* unit = nullptr;
  g.GetResolution(x, y, unit);
  std::printf("%-11s %s\n", "file", path.c_str());
  std::printf("%-11s %s\n", "container", ContainerName(info.container));
  std::printf("%-11s %s\n", "compression", info.compression);
  std::printf("%-11s %d%s\n", "pages", info.pages, info.pages > 1 ? " (the first loads)" : "");
  std::printf("%-11s %s\n", "samples", SamplesOf(info).c_str());
  std::printf("%-11s %d\n", "format", format);
  std::printf("%-11s %d x %d\n", "size", g.GetWidth(), g.GetHeight());
  std::printf("%-11s %s\n", "kind", image->Kind().name);
  std::printf("%-11s %g x %g pixels per %s\n", "resolution", x, y, unit ? unit->GetName() : "?");
  PrintText("title", g.GetTitle());
  PrintText("author", g.GetAuthor());
  PrintText("date", g.GetDate());
  PrintText("comment", g.GetComment());
  return 0;
}

namespace {

bool IsDirectory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The settings a conversion writes with, read once from the options before any file is converted.
bool ApplyFileSettings(const Args& args, std::string& problem) {
  long long quality = -1, stripSize = -1, threshold = -1;
  if (auto text = args.Get("quality"); text && (!ParseInt(*text, quality) || quality < 0))
    return problem = "--quality needs a number of 0 or more", false;
  if (auto text = args.Get("strip-size"); text && (!ParseInt(*text, stripSize) || stripSize < 0))
    return problem = "--strip-size needs a number of bytes", false;
  if (auto text = args.Get("threshold"); text && (!ParseInt(*text, threshold) || threshold < 0 || threshold > 255))
    return problem = "--threshold needs a gray level 0 to 255", false;
  if (quality >= 0) KSetJpegQuality(static_cast<unsigned int>(quality));
  if (stripSize >= 0) KSetTiffStripSize(static_cast<unsigned int>(stripSize));
  if (threshold >= 0) KSetTiffThreshold(static_cast<unsigned int>(threshold));
  return true;
}

// The one-file form: OUT is written as it is named, in place, like any save.
int ConvertToFile(const std::string& in, const std::string& out, const ConvertOptions& options) {
  const std::string line = ConvertInPlace({in, out}, options);
  if (line.empty()) return 0;
  std::fprintf(stderr, "%s\n", line.c_str());
  return 1;
}

// The conversions of `ins` into the directory `dir`; false when two inputs would have the same output.
bool PlanBatch(const std::vector<std::string>& ins, const std::string& dir, const std::string& extension,
               std::vector<ConvertJob>& jobs, std::string& problem) {
  std::set<std::string> outputs;
  for (const std::string& in : ins) {
    jobs.push_back({in, OutputPath(in, dir, extension)});
    if (!outputs.insert(jobs.back().out).second) return problem = "two inputs would both be " + jobs.back().out, false;
  }
  return true;
}

}  // namespace

int RunConvert(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"format", "kind", "quality", "strip-size", "threshold", "ext", "jobs"})) return 2;
  const std::vector<std::string>& positionals = args.Positionals();
  if (args.HelpAsked() || positionals.size() < 2) {
    std::printf(
        "usage: kvtool convert IN OUT [options]\n"
        "       kvtool convert IN... DIR/ [--ext .png|.tif|.bmp|.jpg] [--jobs N] [options]\n"
        "  loads each IN into the kind that fits it (or --kind) and saves it with format CODE: as OUT, or\n"
        "  into the existing directory DIR under its own name (with --ext, under that extension)\n"
        "  options: [--format CODE] [--kind %s] [--quality Q] [--strip-size B] [--threshold T]\n"
        "  CODE: 0-4 TIFF, 6-8 BMP, 10-11 JPEG, 13-15 PNG, 16-19 compressed TIFF; default 12: by the\n"
        "  output's extension .tif, .bmp, .jpg or .png. --jobs: worker threads (default: the cores)\n",
        kKindHelp);
    return args.HelpAsked() ? 0 : 2;
  }
  ConvertOptions options;
  if (!KindOption(args, options.kind)) return UsageError("--kind must be one of " + std::string(kKindHelp));
  long long format = K_FILE_FORMAT_AUTO, jobs = std::max(1u, std::thread::hardware_concurrency());
  if (auto text = args.Get("format"); text && !ParseInt(*text, format)) return UsageError("--format needs a number");
  if (format < -32768 || format > 32767) return UsageError("--format is out of range");
  options.format = static_cast<short>(format);
  if (auto text = args.Get("jobs"); text && (!ParseInt(*text, jobs) || jobs < 1 || jobs > 1024))
    return UsageError("--jobs needs a number of threads, 1 to 1024");
  const std::string extension = args.Get("ext").value_or("");
  if (!extension.empty() && extension != ".png" && extension != ".tif" && extension != ".bmp" && extension != ".jpg")
    return UsageError("--ext must be .png, .tif, .bmp or .jpg");
  std::string problem;
  if (!ApplyFileSettings(args, problem)) return UsageError(problem);

  const std::string& last = positionals.back();
  if (!IsDirectory(last)) {
    if (positionals.size() > 2 || last.empty() || last.back() == '/')
      return UsageError("'" + last + "' is not an existing directory");
    if (args.Has("ext") || args.Has("jobs")) return UsageError("--ext and --jobs go with a directory to convert into");
    return ConvertToFile(positionals[0], last, options);
  }
  std::vector<ConvertJob> plan;
  if (!PlanBatch({positionals.begin(), positionals.end() - 1}, last, extension, plan, problem))
    return UsageError(problem);
  return ConvertMany(plan, options, static_cast<unsigned int>(jobs)) == 0 ? 0 : 1;
}

int RunRaw(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"kind"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 2) {
    std::printf(
        "usage: kvtool raw IN OUT [--kind %s]\n"
        "  writes the loaded pixels as rows without padding (BW1 packed bits, C24 blue, green, red)\n",
        kKindHelp);
    return args.HelpAsked() ? 0 : 2;
  }
  const KPixelKind* kind = nullptr;
  if (!KindOption(args, kind)) return UsageError("--kind must be one of " + std::string(kKindHelp));
  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short format;
  auto image = LoadImageFile(in, kind, format);
  if (!image) return FailWithCurrentError("loading " + in);
  const std::vector<unsigned char> rows = image->PackedRows();
  std::FILE* file = std::fopen(out.c_str(), "wb");
  if (file == nullptr) {
    KSetError(K_ERROR_FILE_OPEN);
    return FailWithCurrentError("writing " + out);
  }
  const bool written = std::fwrite(rows.data(), 1, rows.size(), file) == rows.size();
  if (std::fclose(file) != 0 || !written) {
    KSetError(K_ERROR_FILE_WRITE);
    return FailWithCurrentError("writing " + out);
  }
  return 0;
}

int RunResize(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"kind"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 3) {
    std::printf(
        "usage: kvtool resize IN OUT WIDTHxHEIGHT [--kind %s]\n"
        "  nearest-neighbour resize with exact integer sampling; OUT's format follows its extension\n",
        kKindHelp);
    return args.HelpAsked() ? 0 : 2;
  }
  const std::string& size = args.Positionals()[2];
  const size_t x = size.find('x');
  long long width = 0, height = 0;
  if (x == std::string::npos || !ParseInt(size.substr(0, x), width) || !ParseInt(size.substr(x + 1), height) ||
      width <= 0 || height <= 0 || width > 1000000 || height > 1000000)
    return UsageError("the size must be WIDTHxHEIGHT, each 1 to 1000000");
  const KPixelKind* kind = nullptr;
  if (!KindOption(args, kind)) return UsageError("--kind must be one of " + std::string(kKindHelp));
  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short format;
  auto source = LoadImageFile(in, kind, format);
  if (!source) return FailWithCurrentError("loading " + in);
  if (source->Kind().type == K_IMAGE_BW1) {
    KSetError(K_ERROR_UNSUPPORTED_IMAGE_TYPE);
    return FailWithCurrentError("resizing a BW1 image (load it with --kind BW8)");
  }
  AnyImage destination(source->Kind());
  KOk();
  destination.Generic().SetSize(static_cast<int>(width), static_cast<int>(height));
  if (KFailure()) return FailWithCurrentError("sizing the destination");
  source->Visit([&](auto& image) {
    using Image = std::remove_reference_t<decltype(image)>;
    if constexpr (!std::is_same_v<Image, KImageBW1>)
      KResize(&image, &destination.As<typename std::remove_pointer_t<decltype(image.GetImagePtr(0, 0))>>());
  });
  if (KFailure()) return FailWithCurrentError("resizing " + in);
  if (destination.Save(out, K_FILE_FORMAT_AUTO) != K_SUCCESS) return FailWithCurrentError("saving " + out);
  return 0;
}

}  // namespace kvtool
