// kvtool's file subcommands: info, convert, raw, resize.

#include <cstdio>
#include <string>

#include "any_image.h"
#include "commands.h"
#include "kvbase/files/image_files.h"
#include "kvbase/render/resize.h"
#include "tool_support.h"

namespace kvtool {

namespace {

const char* ContainerOf(short format) {
  if (format >= 0 && format <= 5) return "TIFF";
  if (format >= 6 && format <= 8) return "BMP";
  if (format >= 9 && format <= 11) return "JPEG";
  return "unknown";
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
    std::printf("usage: kvtool info FILE\n  container, format code, size, pixel kind, resolution and texts\n");
    return args.HelpAsked() ? 0 : 2;
  }
  const std::string& path = args.Positionals()[0];
  short format = -1;
  auto image = LoadImageFile(path, nullptr, format);
  if (!image) return FailWithCurrentError("loading " + path);
  KGenericROI& g = image->Generic();
  float x = 0, y = 0;
  KMeasurementUnit* unit = nullptr;
  g.GetResolution(x, y, unit);
  std::printf("%-11s %s\n", "file", path.c_str());
  std::printf("%-11s %s\n", "container", ContainerOf(format));
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

int RunConvert(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"format", "kind", "quality", "strip-size", "threshold"})) return 2;
  if (args.HelpAsked() || args.Positionals().size() != 2) {
    std::printf(
        "usage: kvtool convert IN OUT [--format CODE] [--kind %s] [--quality Q] [--strip-size B] [--threshold T]\n"
        "  loads IN into the kind that fits it (or --kind) and saves OUT with format CODE\n"
        "  (0-4 TIFF, 6-8 BMP, 10-11 JPEG; default 12: by OUT's extension .tif, .bmp or .jpg)\n",
        kKindHelp);
    return args.HelpAsked() ? 0 : 2;
  }
  const KPixelKind* kind = nullptr;
  if (!KindOption(args, kind)) return UsageError("--kind must be one of " + std::string(kKindHelp));
  long long format = K_FILE_FORMAT_AUTO, quality = -1, stripSize = -1, threshold = -1;
  if (auto text = args.Get("format"); text && !ParseInt(*text, format)) return UsageError("--format needs a number");
  if (auto text = args.Get("quality"); text && (!ParseInt(*text, quality) || quality < 0))
    return UsageError("--quality needs a number of 0 or more");
  if (auto text = args.Get("strip-size"); text && (!ParseInt(*text, stripSize) || stripSize < 0))
    return UsageError("--strip-size needs a number of bytes");
  if (auto text = args.Get("threshold"); text && (!ParseInt(*text, threshold) || threshold < 0 || threshold > 255))
    return UsageError("--threshold needs a gray level 0 to 255");
  if (format < -32768 || format > 32767) return UsageError("--format is out of range");

  const std::string& in = args.Positionals()[0];
  const std::string& out = args.Positionals()[1];
  short loaded;
  auto image = LoadImageFile(in, kind, loaded);
  if (!image) return FailWithCurrentError("loading " + in);
  if (quality >= 0) KSetJpegQuality(static_cast<unsigned int>(quality));
  if (stripSize >= 0) KSetTiffStripSize(static_cast<unsigned int>(stripSize));
  if (threshold >= 0) KSetTiffThreshold(static_cast<unsigned int>(threshold));
  if (image->Save(out, static_cast<short>(format)) != K_SUCCESS)
    return FailWithCurrentError("saving " + out + " as " + image->Kind().name);
  return 0;
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
