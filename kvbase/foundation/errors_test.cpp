#include "kvbase/foundation/errors.h"

#include <gtest/gtest.h>

#include <string>

#include "kvbase/foundation/internal/error_texts.h"
#include "kvbase/testing/trace_capture.h"

namespace {

TEST(Errors, StartUpStateAndVersion) {
  // This test runs first in its program: nothing has touched the error state yet.
  EXPECT_EQ(KGetError(), K_SUCCESS);
  EXPECT_EQ(KSuccess(), 1);
  EXPECT_STREQ(KGetErrorText(), "Success");
  EXPECT_EQ(KGetTraceMode(), K_TRACE_ON_ERROR);
  EXPECT_EQ(bKMacroTrace, 0);
  EXPECT_STREQ(KGetVersion(), "6.0.0");
}

TEST(Errors, SuccessAndFailureBands) {
  KTraceCapture trace;
  struct Case {
    int code, success, failure;
  } cases[] = {{0, 1, 0}, {106, 1, 0}, {999, 1, 0}, {1000, 0, 1}, {14500, 0, 1}, {-5, 1, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(KSetError(static_cast<K_ERRORS>(c.code)), c.code);
    EXPECT_EQ(KGetError(), c.code);
    EXPECT_EQ(KSuccess(), c.success) << c.code;
    EXPECT_EQ(KFailure(), c.failure) << c.code;
  }
  EXPECT_EQ(KOk(), K_SUCCESS);
  EXPECT_EQ(KGetError(), K_SUCCESS);
}

TEST(Errors, TextsKeepTheirSpelling) {
  EXPECT_TRUE(kvbase::internal::ErrorTextsAreSorted());
  EXPECT_STREQ(KGetErrorText(K_ERROR_INVALID_DATA_SIZE), "Inalvid data size - Check type compatibility");
  EXPECT_STREQ(KGetErrorText(K_ERROR_CANNOT_MODIFY_ROI), "Unabler to modify ROI - Contact Technical Support");
  EXPECT_STREQ(KGetErrorText(K_ERROR_CONTOUR_FULL), "Maximum pixels in countour reached - Contact Technical Support");
  EXPECT_STREQ(KGetErrorText(K_ERROR_INSUFFICIENT_ALLOCATION), "Unsufficient memory allocation - Contact Technical Support");
  EXPECT_STREQ(KGetErrorText(K_ERROR_NOT_LIST_ATTACHMENT_MODE),
               "Not in list attachement mode - Detach daughters first");
  EXPECT_STREQ(KGetErrorText(K_ERROR_SHAPE_HAS_THIS_DAUGHTER),
               "shape already has this daughter - Detach daughter first");
  EXPECT_STREQ(KGetErrorText(K_ERROR_FILE_READ),
               "File error while reading - Check file integrity, troubleshoot disk device");
  EXPECT_STREQ(KGetErrorText(K_ERROR_TOO_FEW_CHARACTERS), "Too few characters found - Contact Technical Support");
  EXPECT_STREQ(KGetErrorText(K_ERROR_INTERNAL), "Internal error - Contact Technical Support");
  EXPECT_EQ(static_cast<int>(K_ERROR_SYMBOL_SIZE_UNDETERMINED), 100020);
  EXPECT_STREQ(KGetErrorText(K_ERROR_SYMBOL_SIZE_UNDETERMINED),
               "Could not determine symbol size - Increase image resolution");
}

TEST(Errors, CodesLeftToUsHaveTextsInTheTableStyle) {
  const K_ERRORS ours[] = {K_ERROR_NOT_A_MATCHER_FILE, K_ERROR_UNSUPPORTED_FINDER_FILE_VERSION,
                           K_ERROR_NOT_A_MATRIX_CODE_FILE, K_ERROR_NOT_A_CHECKER_FILE,
                           K_ERROR_ACQ_CHANNEL_LINK, K_ERROR_ACQ_NO_BOARD_BY_PCI_POSITION,
                           K_ERROR_ACQ_FOREIGN_IMAGE};
  for (K_ERRORS code : ours) {
    const std::string text = KGetErrorText(code);
    EXPECT_EQ(text.find("Unknown error code"), std::string::npos) << code;
    EXPECT_NE(text.find(" - "), std::string::npos) << text;
  }
}

TEST(Errors, UnknownCodesPrintAsSigned16Bit) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {{1211, "Unknown error code: 1211"},   {-5, "Unknown error code: -5"},
               {104, "Unknown error code: 104"},     {14010, "Unknown error code: 14010"},
               {40000, "Unknown error code: -25536"}, {100021, "Unknown error code: -31051"}};
  for (const Case& c : cases) EXPECT_STREQ(KGetErrorText(static_cast<K_ERRORS>(c.code)), c.text);
}

TEST(Errors, TraceErrorFollowsModeAndMacroFlag) {
  KTraceCapture trace;

  // Nothing is shown while the current error is a success.
  KSetError(static_cast<K_ERRORS>(106));
  EXPECT_EQ(KTraceError("KTest::Quiet"), 106);
  EXPECT_EQ(KTraceFullError("file.cpp", 3, "text"), 106);
  EXPECT_TRUE(trace.Boxes().empty());

  KSetError(K_ERROR_FILE_OPEN);
  EXPECT_EQ(KTraceError("KImage::Load"), K_ERROR_FILE_OPEN);
  ASSERT_EQ(trace.Boxes().size(), 1u);
  EXPECT_EQ(trace.Boxes()[0].caption, "KTrace");
  EXPECT_EQ(trace.Boxes()[0].type, 0x2030u);
  EXPECT_EQ(trace.Boxes()[0].text,
            "Function: KImage::Load\nFile could not be opened - Check file pathname, troubleshoot disk device");

  trace.Clear();
  KSetTraceMode(K_TRACE_SILENT);
  KTraceError("KImage::Load");
  KSetTraceMode(static_cast<K_TRACE_MODE>(3));
  KTraceError("KImage::Load");
  EXPECT_TRUE(trace.Boxes().empty());

  // Mode 2 shows KTraceError boxes unless a client macro reports them.
  KSetTraceMode(K_TRACE_ON_FULL_ERROR);
  KTraceError("KImage::Load");
  EXPECT_EQ(trace.Names(), std::vector<std::string>{"KImage::Load"});
  trace.Clear();
  bKMacroTrace = 1;
  KTraceError("KImage::Load");
  EXPECT_TRUE(trace.Boxes().empty());
  KSetTraceMode(K_TRACE_ON_ERROR);
  KTraceError("KImage::Load");
  EXPECT_EQ(trace.Boxes().size(), 1u);
}

TEST(Errors, TraceFullErrorOnlyInFullMode) {
  KTraceCapture trace;
  KSetError(K_ERROR_INTERNAL);
  EXPECT_EQ(KTraceFullError("main.cpp", 42, "while loading"), 32767);
  EXPECT_TRUE(trace.Boxes().empty());  // mode 1

  KSetTraceMode(K_TRACE_ON_FULL_ERROR);
  bKMacroTrace = 1;
  EXPECT_EQ(KTraceFullError("main.cpp", 42, "while loading"), 32767);
  ASSERT_EQ(trace.Boxes().size(), 1u);
  EXPECT_EQ(trace.Boxes()[0].text,
            "File main.cpp, line 42\nwhile loading\nInternal error - Contact Technical Support");
  EXPECT_EQ(trace.Boxes()[0].caption, "KTrace");

  // The result is cut to 16 bits; a line number of any width fits the box.
  trace.Clear();
  KSetError(K_ERROR_SYMBOL_SIZE_UNDETERMINED);
  EXPECT_EQ(KTraceFullError("", -2147483647 - 1, ""), static_cast<short>(100020));
  ASSERT_EQ(trace.Boxes().size(), 1u);
  EXPECT_EQ(trace.Boxes()[0].text.substr(0, 25), "File , line -2147483648\n\n");
}

}  // namespace
