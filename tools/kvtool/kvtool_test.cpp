// End-to-end tests of kvtool: the real program on generated files, checked for exit status, messages,
// and outputs read back by our loader and by independent readers (libtiff, libjpeg-turbo).

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "kvbase/files/image_files.h"
#include "kvbase/testing/temp_dir.h"
#include "kvbase/testing/tiff_builder.h"

namespace {

struct Outcome {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

std::string ReadText(const std::string& path) {
  const std::vector<unsigned char> bytes = KReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class KvtoolTest : public ::testing::Test {
 protected:
  // Runs kvtool with `args` (already quoted where needed).
  Outcome Kvtool(const std::string& args) {
    const std::string out = dir_.Path("stdout.txt"), err = dir_.Path("stderr.txt");
    const std::string command = std::string(KVTOOL_PATH) + " " + args + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    Outcome run;
    if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
  }
  std::string Path(const std::string& name) { return dir_.Path(name); }

  // A w x h gray image with a diagonal ramp, saved as `name`.
  std::string GrayFile(const std::string& name, int w = 40, int h = 30, short format = K_FILE_FORMAT_AUTO) {
    KImageBW8 image(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.SetPixel(static_cast<unsigned char>((x * 5 + y * 3) & 0xFF), x, y);
    image.SetTitle("ramp");
    EXPECT_EQ(KSaveImage(&image, Path(name).c_str(), format), K_SUCCESS);
    return Path(name);
  }
  std::string ColourFile(const std::string& name, int w = 32, int h = 24) {
    KImageC24 image(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        image.SetPixel(KC24(static_cast<unsigned char>(x * 8), static_cast<unsigned char>(y * 10), 200), x, y);
    EXPECT_EQ(KSaveImage(&image, Path(name).c_str(), K_FILE_FORMAT_AUTO), K_SUCCESS);
    return Path(name);
  }

  KTempDir dir_;
};

TEST_F(KvtoolTest, UsageAndHelp) {
  EXPECT_EQ(Kvtool("").status, 2);
  const Outcome unknown = Kvtool("frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown subcommand"), std::string::npos);
  for (const char* sub : {"info", "convert", "raw", "resize", "view", "plot", "relief", "colorhist", "show", "tour"}) {
    const Outcome help = Kvtool(std::string(sub) + " --help");
    EXPECT_EQ(help.status, 0) << sub;
    EXPECT_EQ(help.out.rfind(std::string("usage: kvtool ") + sub, 0), 0u) << help.out;
    EXPECT_EQ(Kvtool(sub).status, 2) << sub << " without arguments";
  }
  EXPECT_EQ(Kvtool("convert a b --bogus 1").status, 2);
  // show checks its options against the image before it looks for a display.
  const std::string gray = GrayFile("g.bmp");
  const Outcome outside = Kvtool("show " + gray + " --roi 40,0,5,5");
  EXPECT_EQ(outside.status, 2);
  EXPECT_EQ(outside.err, "kvtool: --roi lies outside the 40 x 30 image\n");
  for (const char* huge : {"1,1,2147483000,5", "3e9,0,5,5", "0,0,5,nan"}) {
    const Outcome refused = Kvtool("show " + gray + " --roi " + huge);
    EXPECT_EQ(refused.status, 2) << huge;
    EXPECT_EQ(refused.err, "kvtool: --roi must be X,Y,W,H, each within a billion\n") << huge;
  }
  EXPECT_EQ(Kvtool("show " + gray + " --zoom 2,3").status, 2);
  EXPECT_EQ(Kvtool("convert a b --quality").status, 2);
}

TEST_F(KvtoolTest, InfoDescribesTheFile) {
  const std::string tif = GrayFile("ramp.tif");
  const Outcome info = Kvtool("info " + tif);
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("container   TIFF"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("format      1"), std::string::npos);
  EXPECT_NE(info.out.find("size        40 x 30"), std::string::npos);
  EXPECT_NE(info.out.find("kind        BW8"), std::string::npos);
  EXPECT_NE(info.out.find("title       ramp"), std::string::npos);
  EXPECT_NE(info.out.find("author      -"), std::string::npos);

  EXPECT_NE(info.out.find("compression none"), std::string::npos);
  EXPECT_NE(info.out.find("pages       1\n"), std::string::npos);
  EXPECT_NE(info.out.find("samples     1 x 8 bits gray"), std::string::npos);

  const Outcome colour = Kvtool("info " + GrayFile("p.tif", 40, 30, K_FILE_FORMAT_TIFF_GRAY_PACKBITS));
  EXPECT_NE(colour.out.find("compression PackBits"), std::string::npos) << colour.out;
  const Outcome bmp = Kvtool("info " + ColourFile("c.bmp"));
  EXPECT_NE(bmp.out.find("kind        C24"), std::string::npos) << bmp.out;
  EXPECT_NE(bmp.out.find("format      8"), std::string::npos);
  EXPECT_NE(bmp.out.find("samples     3 x 8 bits RGB"), std::string::npos);

  // A 16-bit gray PNG is not refused for good by BW8: the automatic choice goes on to BW16.
  KImageBW16 wide16(5, 3);
  ASSERT_EQ(KSaveImage(&wide16, Path("w16.png").c_str(), K_FILE_FORMAT_PNG_GRAY), K_SUCCESS);
  EXPECT_NE(Kvtool("info " + Path("w16.png")).out.find("kind        BW16"), std::string::npos);

  // No kind holds 16-bit colour: the error line says so and what to do.
  kvbase::testing::KTiffBuilder rgb48(false);
  rgb48.Long(256, {2}).Long(257, {1}).Short(258, {16, 16, 16}).Short(262, {2}).Short(277, {3});
  rgb48.Strips({std::vector<unsigned char>(12, 0x80)});
  ASSERT_TRUE(KWriteFileBytes(Path("rgb48.tif"), rgb48.Build()));
  const Outcome wide = Kvtool("info " + Path("rgb48.tif"));
  EXPECT_EQ(wide.status, 1);
  EXPECT_NE(wide.err.find("error 1202"), std::string::npos) << wide.err;
  EXPECT_NE(wide.err.find("16-bit RGB fits no pixel kind"), std::string::npos) << wide.err;
  EXPECT_NE(wide.err.find("convert the file to 8 bits per sample"), std::string::npos) << wide.err;
}

TEST_F(KvtoolTest, A16BitGrayPngLoadsWithoutAKind) {
  // The PNG reader refuses it for BW8 with its own code, which must not end the search for a kind.
  KImageBW16 deep(12, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) deep.SetPixel(static_cast<unsigned short>(x * 5000 + y), x, y);
  ASSERT_EQ(KSaveImage(&deep, Path("deep.png").c_str(), K_FILE_FORMAT_PNG_GRAY), K_SUCCESS);
  const Outcome info = Kvtool("info " + Path("deep.png"));
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("kind        BW16"), std::string::npos) << info.out;
}

TEST_F(KvtoolTest, ErrorsAreOneLineWithCodeAndText) {
  const Outcome missing = Kvtool("info " + Path("missing.bmp"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "kvtool: loading " + Path("missing.bmp") +
                ": error 1102: File could not be opened - Check file pathname, troubleshoot disk device\n");

  KWriteFileBytes(Path("junk.bin"), std::vector<unsigned char>(64, 'x'));
  const Outcome junk = Kvtool("info " + Path("junk.bin"));
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.err.find("error 1105: Bad file format"), std::string::npos) << junk.err;

  const std::string bmp = GrayFile("g.bmp");
  const Outcome gif = Kvtool("convert " + bmp + " " + Path("out.gif"));
  EXPECT_EQ(gif.status, 1);
  EXPECT_NE(gif.err.find("error 1109"), std::string::npos) << gif.err;
  EXPECT_FALSE(KFileExists(Path("out.gif")));
  EXPECT_EQ(std::count(gif.err.begin(), gif.err.end(), '\n'), 1);
}

TEST_F(KvtoolTest, DamagedFilesNeverCrashIt) {
  const std::string sources[] = {GrayFile("a.bmp"), GrayFile("a.tif"), GrayFile("a.jpg"), ColourFile("b.jpg")};
  int n = 0;
  for (const std::string& source : sources) {
    const std::vector<unsigned char> bytes = KReadFileBytes(source);
    for (size_t cut : {size_t{10}, size_t{20}, bytes.size() / 2, bytes.size() - 1}) {
      const std::string damaged = Path("damaged" + std::to_string(n++));
      std::vector<unsigned char> part(bytes.begin(), bytes.begin() + cut);
      if (cut > 40) part[cut / 3] ^= 0x5A;  // a flipped byte inside, too
      KWriteFileBytes(damaged, part);
      const Outcome run = Kvtool("info " + damaged);
      EXPECT_TRUE(run.status == 0 || run.status == 1) << source << " cut at " << cut << ": " << run.err;
      if (run.status == 1) {
        // The codec may have printed its own message first; kvtool's line comes last.
        const size_t last = run.err.rfind('\n', run.err.size() - 2);
        const std::string line = run.err.substr(last == std::string::npos ? 0 : last + 1);
        EXPECT_EQ(line.rfind("kvtool: loading " + damaged + ": error ", 0), 0u) << run.err;
      }
    }
  }
}

TEST_F(KvtoolTest, ConvertWritesFilesThatLibtiffReads) {
  const std::string bmp = GrayFile("g.bmp");
  const std::string tif = Path("g.tif");
  ASSERT_EQ(Kvtool("convert " + bmp + " " + tif + " --format 4 --strip-size 100").status, 0);
  TIFF* tiff = TIFFOpen(tif.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  uint32_t width = 0, height = 0;
  uint16_t compression = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
  EXPECT_EQ(width, 40u);
  EXPECT_EQ(height, 30u);
  EXPECT_EQ(compression, COMPRESSION_PACKBITS);
  std::vector<unsigned char> row(TIFFScanlineSize(tiff));
  for (uint32_t y = 0; y <= 7; ++y) ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1);  // compressed: in order
  for (int x = 0; x < 40; ++x) EXPECT_EQ(row[x], (x * 5 + 7 * 3) & 0xFF);
  TIFFClose(tiff);

  // Bilevel with a threshold, written from the gray image.
  ASSERT_EQ(Kvtool("convert " + bmp + " " + Path("b.tif") + " --format 0 --threshold 100").status, 0);
  tiff = TIFFOpen(Path("b.tif").c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  uint16_t bits = 0;
  TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  EXPECT_EQ(bits, 1);
  TIFFClose(tiff);
}

TEST_F(KvtoolTest, ConvertWritesJpegThatLibjpegDecodes) {
  const std::string bmp = ColourFile("c.bmp");
  const std::string jpg = Path("c.jpg");
  ASSERT_EQ(Kvtool("convert " + bmp + " " + jpg + " --quality 95").status, 0);
  std::FILE* file = std::fopen(jpg.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&cinfo);
  EXPECT_EQ(cinfo.output_width, 32u);
  EXPECT_EQ(cinfo.output_height, 24u);
  EXPECT_EQ(cinfo.output_components, 3);
  std::vector<unsigned char> row(32 * 3);
  JSAMPROW rows[1] = {row.data()};
  for (int y = 0; y <= 12; ++y) jpeg_read_scanlines(&cinfo, rows, 1);
  // Pixel (16, 12) in red, green, blue: (128, 120, 200) before compression.
  EXPECT_NEAR(row[16 * 3 + 0], 128, 8);
  EXPECT_NEAR(row[16 * 3 + 1], 120, 8);
  EXPECT_NEAR(row[16 * 3 + 2], 200, 8);
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
}

TEST_F(KvtoolTest, RawRowsArePacked) {
  const std::string bmp = ColourFile("c.bmp", 5, 3);
  ASSERT_EQ(Kvtool("raw " + bmp + " " + Path("c.raw")).status, 0);
  const std::vector<unsigned char> raw = KReadFileBytes(Path("c.raw"));
  ASSERT_EQ(raw.size(), 5u * 3 * 3);
  // Pixel (4, 2): blue 200, green 20, red 32, in that order.
  EXPECT_EQ(raw[(2 * 5 + 4) * 3 + 0], 200);
  EXPECT_EQ(raw[(2 * 5 + 4) * 3 + 1], 20);
  EXPECT_EQ(raw[(2 * 5 + 4) * 3 + 2], 32);

  ASSERT_EQ(Kvtool("raw " + bmp + " " + Path("g.raw") + " --kind BW8").status, 1);  // colour into gray
  const std::string gray = GrayFile("g.tif", 9, 2);
  ASSERT_EQ(Kvtool("raw " + gray + " " + Path("g.raw")).status, 0);
  EXPECT_EQ(KReadFileBytes(Path("g.raw")).size(), 18u);
}

TEST_F(KvtoolTest, ResizeGivesTheRequestedSize) {
  const std::string bmp = GrayFile("g.bmp", 40, 30);
  ASSERT_EQ(Kvtool("resize " + bmp + " " + Path("r.tif") + " 80x15").status, 0);
  KImageBW8 resized;
  short format;
  ASSERT_EQ(KLoadImage(&resized, Path("r.tif").c_str(), format), K_SUCCESS);
  EXPECT_EQ(resized.GetWidth(), 80);
  EXPECT_EQ(resized.GetHeight(), 15);
  EXPECT_EQ(resized.GetPixel(79, 14), (39 * 5 + 28 * 3) & 0xFF);  // source (39, 28)
  EXPECT_EQ(Kvtool("resize " + bmp + " " + Path("r.tif") + " 80by15").status, 2);
}

TEST_F(KvtoolTest, PicturesHaveTheExpectedSizeAndMarks) {
  const std::string gray = GrayFile("g.bmp", 40, 30);
  const Outcome view =
      Kvtool("view " + gray + " " + Path("v.bmp") + " --zoom 2 --roi 5,5,20,10 --mask ellipse --lut 1,0,1");
  ASSERT_EQ(view.status, 0) << view.err;
  KImageC24 picture;
  short format;
  ASSERT_EQ(KLoadImage(&picture, Path("v.bmp").c_str(), format), K_SUCCESS);
  EXPECT_GE(picture.GetWidth(), 80);
  EXPECT_GE(picture.GetHeight(), 60);
  // The frame's top line at device row 10 is red between the handles; the image shows gray elsewhere.
  const KC24 corner = picture.GetPixel(18, 10);
  EXPECT_EQ(corner.byte2, 255);
  EXPECT_EQ(corner.byte1, 0);
  const KC24 plain = picture.GetPixel(70, 50);
  EXPECT_EQ(plain.byte0, plain.byte2);

  ASSERT_EQ(Kvtool("plot " + gray + " " + Path("p.bmp") + " --row 3").status, 0);
  ASSERT_EQ(Kvtool("plot " + gray + " " + Path("h.bmp") + " --histogram").status, 0);
  EXPECT_EQ(Kvtool("plot " + gray + " " + Path("x.bmp") + " --row 30").status, 2);
  ASSERT_EQ(Kvtool("relief " + gray + " " + Path("r.bmp") + " --dot 4").status, 0);
  EXPECT_EQ(Kvtool("relief " + gray + " " + Path("r2.bmp") + " --dot 2").status, 1);
  ASSERT_EQ(Kvtool("colorhist " + ColourFile("c.bmp") + " " + Path("h3.bmp") + " --tilt 20").status, 0);
  KImageC24 cube;
  ASSERT_EQ(KLoadImage(&cube, Path("h3.bmp").c_str(), format), K_SUCCESS);
  EXPECT_EQ(cube.GetWidth(), 512);
}

TEST_F(KvtoolTest, TourWritesEveryPictureItLists) {
  const Outcome tour = Kvtool("tour " + Path("demo"));
  ASSERT_EQ(tour.status, 0) << tour.err;
  size_t listed = 0;
  for (const char* file : {"scene-gray.bmp", "scene-colour.jpg", "road-view.bmp", "road-mask.bmp", "road.tif",
                           "road-roi.tif", "resized.tif", "relief.bmp", "relief-colour.bmp", "colorhist.bmp",
                           "plot-profile.bmp", "plot-histogram.bmp", "plot-lut.bmp"}) {
    EXPECT_TRUE(KFileExists(Path("demo/") + file)) << file;
    listed += tour.out.find(file) != std::string::npos;
  }
  EXPECT_EQ(listed, 13u);
  TIFF* tiff = TIFFOpen(Path("demo/road.tif").c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  char* title = nullptr;
  ASSERT_EQ(TIFFGetField(tiff, TIFFTAG_DOCUMENTNAME, &title), 1);
  EXPECT_STREQ(title, "kvbase tour");
  TIFFClose(tiff);
}

}  // namespace

namespace {

// Files in the directory `dir`, leading dots included.
std::vector<std::string> ListDirectory(const std::string& dir) {
  std::vector<std::string> names;
  const std::string listing = dir + "/.listing";
  std::system(("ls -a " + dir + " > " + listing).c_str());
  std::string text = ReadText(listing), name;
  for (char c : text) {
    if (c != '\n') {
      name += c;
    } else if (!name.empty()) {
      if (name != "." && name != ".." && name != ".listing") names.push_back(name);
      name.clear();
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(KvtoolTest, ConvertManyFilesIntoADirectory) {
  const std::string a = GrayFile("a.bmp"), b = ColourFile("b.tif"), bad = Path("bad.bmp");
  ASSERT_TRUE(KWriteFileBytes(bad, {'B', 'M', 1, 2, 3}));
  const std::string out = Path("out");
  ASSERT_EQ(std::system(("mkdir " + out).c_str()), 0);

  // Each file keeps its name with the new extension; the bad one prints its error line and the others
  // go on; the run ends with one summary line and exit status 1.
  const Outcome run = Kvtool("convert " + a + " " + bad + " " + b + " " + out + "/ --ext .jpg --jobs 2");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("kvtool: loading " + bad + ": error 1103"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("kvtool: converted 2 of 3 files into " + out + "/"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(", 1 failed\n"), std::string::npos) << run.err;
  EXPECT_EQ(ListDirectory(out), (std::vector<std::string>{"a.jpg", "b.jpg"})) << "no partial file stays behind";
  KImageC24 colour;
  short format = -1;
  EXPECT_EQ(KLoadImage(&colour, (out + "/b.jpg").c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_JPEG_COLOR);

  // Without --ext each file keeps its extension; a refused save leaves no file under either name.
  const Outcome kept = Kvtool("convert " + a + " " + b + " " + out + " --format 1");
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.err.find("saving " + out + "/b.tif as C24: error 1214"), std::string::npos) << kept.err;
  EXPECT_EQ(ListDirectory(out), (std::vector<std::string>{"a.bmp", "a.jpg", "b.jpg"}));
  KImageBW8 gray;
  EXPECT_EQ(KLoadImage(&gray, (out + "/a.bmp").c_str(), format), K_SUCCESS);
  EXPECT_EQ(format, K_FILE_FORMAT_TIFF_GRAY) << "--format 1 writes a TIFF file whatever its name";

  // Two inputs of one name, a missing directory, and batch options without a directory are usage errors.
  EXPECT_EQ(Kvtool("convert " + a + " " + a + " " + out).status, 2);
  EXPECT_EQ(Kvtool("convert " + a + " " + b + " " + Path("missing")).status, 2);
  EXPECT_EQ(Kvtool("convert " + a + " " + Path("x.tif") + " --jobs 2").status, 2);
  EXPECT_EQ(Kvtool("convert " + a + " " + out + " --ext .gif").status, 2);
}

// Runs kvtool with `args` on a pseudo-terminal and returns all it wrote there.
std::string OnTerminal(const std::vector<std::string>& args) {
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    std::vector<char*> argv{const_cast<char*>(KVTOOL_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(KVTOOL_PATH, argv.data());
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(got));
  close(terminal);
  int status = 0;
  waitpid(child, &status, 0);
  return shown;
}

// On a terminal the progress line is redrawn in place and the summary replaces it.
TEST_F(KvtoolTest, ConvertShowsProgressOnATerminal) {
  const std::string a = GrayFile("a.bmp"), out = Path("out");
  ASSERT_EQ(std::system(("mkdir " + out).c_str()), 0);
  const std::string shown = OnTerminal({"convert", a, out + "/", "--ext", ".tif"});
  EXPECT_NE(shown.find("\r\033[K0/1 files"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\033[Kkvtool: converted 1 of 1 files"), std::string::npos) << shown;
}

}  // namespace
