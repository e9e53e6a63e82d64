// The log writer: stamps, indentation, line ends, continuation and the off switch.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/log.h"
#include "core/winapi.h"
#include "test_support.h"

namespace {
class Log : public ::testing::Test {
 protected:
  void SetUp() override {
    EnableLogFile(1);
    StartTestLog();
  }
};

TEST_F(Log, StartCreatesAnEmptyFile) {
  WriteLogText("x\n");
  StartLog();
  EXPECT_EQ(ReadLog(), "");
}

TEST_F(Log, LinesAreStampedAndTextsContinueALine) {
  WriteLogText("abc");
  WriteLogText("def\n");
  WriteLogText("next\n");
  std::string log = ReadLog();
  // "%d:" then the text; the continued text gets no stamp of its own.
  size_t colon = log.find(':');
  ASSERT_NE(colon, std::string::npos);
  for (size_t i = 0; i < colon; i++) EXPECT_TRUE(isdigit((unsigned char)log[i])) << log;
  EXPECT_EQ(ReadLogWithoutStamps(), "abcdef\r\nnext\r\n");
}

TEST_F(Log, IndentWritesTabsAndNeverGoesBelowZero) {
  UnindentLog();
  WriteLogText("a\n");
  IndentLog();
  IndentLog();
  WriteLogText("b\n");
  UnindentLog();
  UnindentLog();
  UnindentLog();
  WriteLogText("c\n");
  EXPECT_EQ(ReadLogWithoutStamps(), "a\r\n\t\tb\r\nc\r\n");
}

TEST_F(Log, LineFeedsBecomeCrLfUntilOneAlreadyHasItsCr) {
  struct Case { const char* in; const char* out; } cases[] = {
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\nc", "a\r\nb\nc"},
      {"\n", "\r\n"},
  };
  for (const Case& c : cases) {
    StartLog();
    WriteLogText(c.in);
    EXPECT_EQ(ReadLogWithoutStamps(), c.out) << c.in;
  }
}

TEST_F(Log, ALongTextOfLineFeedsGrowsTheWorkBuffer) {
  std::string feeds(300, '\n'), expected;
  for (int i = 0; i < 300; i++) expected += "\r\n";
  WriteLogText(feeds.c_str());
  std::string log = ReadLog();
  EXPECT_EQ(log.substr(log.find(':') + 1), expected);
}

TEST_F(Log, ShiftJisTrailByteIsNotTakenForALineFeed) {
  // A double-byte character whose trail byte is 0x5C, then a line feed.
  WriteLogText("\x95\x5C\n");
  EXPECT_EQ(ReadLogWithoutStamps(), "\x95\x5C\r\n");
}

TEST_F(Log, FormattedLinesAreBoundedAndEndInALineFeed) {
  std::string big(3000, 'x');
  AddLogLineFormat("%s", big.c_str());
  std::string log = ReadLogWithoutStamps();
  EXPECT_EQ(log.size(), 1022u + 2u);
  EXPECT_EQ(log.substr(log.size() - 3), "x\r\n");
  StartLog();
  AddLogLineFormatW(L"%d %ls", 42, L"\x65E5\x672C");  // 日本 in UTF-16
  EXPECT_EQ(ReadLogWithoutStamps(), "42 日本\r\n");
}

TEST_F(Log, WideLinesLongerThanTheBufferAreCutAtACharacter) {
  const std::string nichi = "\x93\xFA";  // 日 in CP932
  struct Case { const wchar_t* prefix; std::string kept; } cases[] = {
      {L"", ""}, {L"a", "a"},  // 1022 bytes fit: 511 characters, or a and 510 of them
  };
  for (const Case& c : cases) {
    StartLog();
    AddLogLineFormatW(L"%ls%ls", c.prefix, std::wstring(600, L'\x65E5').c_str());
    WriteLogText("next\n");
    std::string expected = c.kept;
    for (size_t n = (1022 - c.kept.size()) / 2; n > 0; n--) expected += nichi;
    // The cut line is closed: the next text is a line of its own.
    EXPECT_EQ(ReadLogWithoutStamps(), expected + "\r\nnext\r\n") << "prefix " << c.kept;
  }
}

TEST_F(Log, SwitchedOffWritesNothing) {
  EnableLogFile(0);
  DeleteFileA("Log.txt");
  StartLog();
  WriteLogText("hidden\n");
  EXPECT_EQ(GetFileAttributesA("Log.txt"), INVALID_FILE_ATTRIBUTES);
  EnableLogFile(1);
}
}  // namespace
