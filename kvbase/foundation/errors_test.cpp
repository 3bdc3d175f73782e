#include "kvbase/foundation/errors.h"

#include <gtest/gtest.h>

#include <string>

#include "kvbase/foundation/internal/error_texts.h"
#include "kvbase/testing/trace_capture.h"

namespace {

// The state as the program starts, taken before any test runs, whatever order the tests run in.
struct KStartUpState {
  K_ERRORS error = KGetError();
  std::string text = KGetErrorText();
  K_TRACE_MODE traceMode = KGetTraceMode();
  int macroTrace = bKMacroTrace;
};
const KStartUpState kStartUp;

TEST(Errors, StartUpStateAndVersion) {
  EXPECT_EQ(kStartUp.error, K_SUCCESS);
  EXPECT_EQ(kStartUp.text, "Success");
  EXPECT_EQ(kStartUp.traceMode, K_TRACE_ON_ERROR);
  EXPECT_EQ(kStartUp.macroTrace, 0);
  EXPECT_STREQ(KGetVersion(), "6.0.0");
}

TEST(Errors, SuccessAndFailureBands) {
  KTraceCapture trace;
  struct Case {
    int code, success;
  } cases[] = {{0, 1}, {106, 1}, {999, 1}, {1000, 0}, {14500, 0}, {-5, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(KSetError(static_cast<K_ERRORS>(c.code)), c.code);
    EXPECT_EQ(KGetError(), c.code);
    EXPECT_EQ(KSuccess(), c.success) << c.code;
    EXPECT_EQ(KFailure(), 1 - c.success) << c.code;
  }
  EXPECT_EQ(KOk(), K_SUCCESS);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST(Errors, TextsKeepTheirSpellingAndUnknownCodesPrintAsSigned16Bit) {
  EXPECT_TRUE(kvbase::internal::ErrorTextsAreSorted());
  EXPECT_EQ(static_cast<int>(K_ERROR_SYMBOL_SIZE_UNDETERMINED), 100020);
  struct Case {
    int code;
    const char* text;
  } cases[] = {{K_ERROR_INVALID_DATA_SIZE, "Inalvid data size - Check type compatibility"},
               {K_ERROR_CANNOT_MODIFY_ROI, "Unabler to modify ROI - Contact Technical Support"},
               {K_ERROR_CONTOUR_FULL, "Maximum pixels in countour reached - Contact Technical Support"},
               {K_ERROR_INSUFFICIENT_ALLOCATION, "Unsufficient memory allocation - Contact Technical Support"},
               {K_ERROR_NOT_LIST_ATTACHMENT_MODE, "Not in list attachement mode - Detach daughters first"},
               {K_ERROR_SHAPE_HAS_THIS_DAUGHTER, "shape already has this daughter - Detach daughter first"},
               {K_ERROR_FILE_READ, "File error while reading - Check file integrity, troubleshoot disk device"},
               {K_ERROR_TOO_FEW_CHARACTERS, "Too few characters found - Contact Technical Support"},
               {K_ERROR_INTERNAL, "Internal error - Contact Technical Support"},
               {K_ERROR_SYMBOL_SIZE_UNDETERMINED, "Could not determine symbol size - Increase image resolution"},
               {1211, "Unknown error code: 1211"},
               {-5, "Unknown error code: -5"},
               {104, "Unknown error code: 104"},
               {14010, "Unknown error code: 14010"},
               {40000, "Unknown error code: -25536"},
               {100021, "Unknown error code: -31051"}};
  for (const Case& c : cases) EXPECT_STREQ(KGetErrorText(static_cast<K_ERRORS>(c.code)), c.text) << c.code;

  // Codes whose text this library wrote itself follow the table's "what - what to do" style.
  for (K_ERRORS code : {K_ERROR_NOT_A_MATCHER_FILE, K_ERROR_UNSUPPORTED_FINDER_FILE_VERSION,
                        K_ERROR_NOT_A_MATRIX_CODE_FILE, K_ERROR_NOT_A_CHECKER_FILE, K_ERROR_ACQ_CHANNEL_LINK,
                        K_ERROR_ACQ_NO_BOARD_BY_PCI_POSITION, K_ERROR_ACQ_FOREIGN_IMAGE})
    EXPECT_NE(std::string(KGetErrorText(code)).find(" - "), std::string::npos) << code;
}

TEST(Errors, TraceBoxesFollowModeAndMacroFlag) {
  KTraceCapture trace;
  // Nothing is shown for a success. A failure shows KTraceError's box in modes 1 and 2, unless a client
  // macro reports it in mode 2, and KTraceFullError's box in mode 2 only.
  struct Case {
    int code, mode, macro;
    size_t traceBoxes, fullBoxes;
  } cases[] = {{106, 2, 0, 0, 0},  {106, 1, 0, 0, 0},  {1102, 0, 0, 0, 0}, {1102, 1, 0, 1, 0}, {1102, 2, 0, 1, 1},
               {1102, 3, 0, 0, 0}, {1102, 0, 1, 0, 0}, {1102, 1, 1, 1, 0}, {1102, 2, 1, 0, 1}, {1102, 3, 1, 0, 0}};
  for (const Case& c : cases) {
    KSetError(static_cast<K_ERRORS>(c.code));
    KSetTraceMode(static_cast<K_TRACE_MODE>(c.mode));
    bKMacroTrace = c.macro;
    trace.Clear();
    EXPECT_EQ(KTraceError("KImage::Load"), c.code);
    EXPECT_EQ(trace.Boxes().size(), c.traceBoxes) << c.code << " mode " << c.mode << " macro " << c.macro;
    trace.Clear();
    EXPECT_EQ(KTraceFullError("main.cpp", 42, "while loading"), c.code);
    EXPECT_EQ(trace.Boxes().size(), c.fullBoxes) << c.code << " mode " << c.mode << " macro " << c.macro;
  }

  trace.Clear();
  KSetError(K_ERROR_FILE_OPEN);
  KSetTraceMode(K_TRACE_ON_FULL_ERROR);
  bKMacroTrace = 0;
  KTraceError("KImage::Load");
  KSetError(K_ERROR_INTERNAL);
  KTraceFullError("main.cpp", 42, "while loading");
  // The result is cut to 16 bits; a line number of any width fits the box.
  KSetError(K_ERROR_SYMBOL_SIZE_UNDETERMINED);
  EXPECT_EQ(KTraceFullError("", -2147483647 - 1, ""), static_cast<short>(100020));
  ASSERT_EQ(trace.Boxes().size(), 3u);
  for (const KCapturedBox& box : trace.Boxes()) {
    EXPECT_EQ(box.caption, "KTrace");
    EXPECT_EQ(box.type, 0x2030u);
  }
  EXPECT_EQ(trace.Boxes()[0].text,
            "Function: KImage::Load\nFile could not be opened - Check file pathname, troubleshoot disk device");
  EXPECT_EQ(trace.Boxes()[1].text, "File main.cpp, line 42\nwhile loading\nInternal error - Contact Technical Support");
  EXPECT_EQ(trace.Boxes()[2].text.substr(0, 25), "File , line -2147483648\n\n");
}

}  // namespace
