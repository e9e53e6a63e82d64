// The typed-character buffer and the IME handling: the 1024-byte ring, double-byte
// characters, the window procedure's pushes, and the IME messages answered from a scripted
// Imm32 table (no IME composes on this machine).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ime_fake.h"
#include "input/key_input.h"
#include "input/text_input.h"
#include "korvel.h"
#include "system/top/window_proc.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
WINAPI_TABLE SavedApi;

class TextInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    AllowMultipleInstances(1);
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    SavedApi = WinApi;
  }
  static void TearDownTestSuite() {
    WinApi = SavedApi;
    EndLibrary();
  }
  void SetUp() override {
    InitTextInput();
    InstallImeFake();
  }
  void TearDown() override { WinApi = SavedApi; }
};

// Every character waiting in the buffer, each as its bytes.
std::string DrainCharacters() {
  std::string out;
  char c[2];
  int n;
  while ((n = PopInputChar(c, 1)) != 0) out.append(c, n).append("|");
  return out;
}

HWND Window() { return WindowState.mainWindow; }

TEST_F(TextInputTest, TheBufferHolds1024BytesAndKeepsTheirOrderAcrossTheWrap) {
  for (int i = 0; i < 1024; i++) ASSERT_EQ(PushInputChar((unsigned char)('a' + i % 26)), 0) << "byte " << i;
  EXPECT_EQ(PushInputChar('x'), -1) << "the 1025th byte";
  EXPECT_EQ(IsInputBufferFull(), 1);
  char c[2];
  for (int i = 0; i < 1000; i++) ASSERT_EQ(PopInputChar(c, 1), 1);
  for (int i = 0; i < 1000; i++) ASSERT_EQ(PushInputChar('0' + i % 10), 0) << "after the wrap, byte " << i;
  EXPECT_EQ(PushInputChar('x'), -1);
  std::string expected;
  for (int i = 1000; i < 1024; i++) expected += std::string(1, (char)('a' + i % 26)) + "|";
  for (int i = 0; i < 1000; i++) expected += std::string(1, (char)('0' + i % 10)) + "|";
  EXPECT_EQ(DrainCharacters(), expected);
  EXPECT_EQ(PopInputChar(c, 1), 0);
}

TEST_F(TextInputTest, ALeadByteWaitsForItsTrailAndPeekingTakesNothing) {
  const char* a = "あ";  // two bytes in the library's character set
  PushInputChar((unsigned char)a[0]);
  char c[2] = {9, 9};
  EXPECT_EQ(PopInputChar(c, 1), 0);
  EXPECT_EQ(c[0], 0);
  PushInputChar((unsigned char)a[1]);
  EXPECT_EQ(PopInputChar(c, 0), 2);
  EXPECT_EQ(PopInputChar(c, 0), 2) << "a peek leaves the character";
  EXPECT_EQ(std::string(c, 2), std::string(a, 2));
  EXPECT_EQ(PopInputChar(c, 1), 2);
  EXPECT_EQ(PopInputChar(c, 1), 0);
  // An editing code in the lead-byte range is never paired.
  PushInputChar(0x1D);
  PushInputChar('q');
  EXPECT_EQ(DrainCharacters(), "\x1D|q|");
}

TEST_F(TextInputTest, TheWindowPushesCharactersAndEditingKeys) {
  struct {
    UINT message;
    WPARAM wParam;
    const char* pushed;
  } rows[] = {
      {WM_CHAR, 'a', "a"},         {WM_CHAR, 10, "\r"},        {WM_CHAR, 13, "\r"},
      {WM_CHAR, 22, "\x16"},       {WM_CHAR, 2, ""},           {WM_CHAR, 31, ""},
      {WM_KEYDOWN, VK_LEFT, "\x1D"}, {WM_KEYDOWN, VK_DELETE, "\x10"}, {WM_KEYDOWN, VK_NEXT, "\x15"},
      {WM_KEYDOWN, 'A', ""},
  };
  for (const auto& row : rows) {
    SendMessageA(Window(), row.message, row.wParam, 0);
    std::string got;
    char c[2];
    int n;
    while ((n = PopInputChar(c, 1)) != 0) got.append(c, n);
    EXPECT_EQ(got, row.pushed) << "message " << row.message << " wParam " << row.wParam;
  }
}

TEST_F(TextInputTest, TypedKeysThenACommittedCompositionArriveInOrder) {
  SendMessageA(Window(), WM_CHAR, 'a', 0);
  SendMessageA(Window(), WM_CHAR, 'b', 0);
  SendMessageA(Window(), WM_IME_STARTCOMPOSITION, 0, 0);
  EXPECT_EQ(TextInput.ime.composing, 1);
  Fake().composition = "かん";
  SendMessageA(Window(), WM_IME_COMPOSITION, 0, GCS_COMPSTR);
  EXPECT_STREQ(TextInput.ime.composition, "かん");
  Fake().result = "漢字";
  Fake().composition = "";
  SendMessageA(Window(), WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
  SendMessageA(Window(), WM_IME_ENDCOMPOSITION, 0, 0);
  EXPECT_EQ(TextInput.ime.composing, 0);
  EXPECT_STREQ(TextInput.ime.composition, "");
  std::string k = "漢字";
  EXPECT_EQ(DrainCharacters(), "a|b|" + k.substr(0, 2) + "|" + k.substr(2, 2) + "|");
  EXPECT_EQ(TextInput.ime.used, 1);
}

TEST_F(TextInputTest, CompositionReadsAreBoundedAndErrorLengthsCountAsZero) {
  struct {
    LONG compositionLength;
    LONG cursor, clauseBytes, attributeBytes;
    int length, cursorChars, clauses, attributes;
  } rows[] = {
      {IMM_ERROR_NODATA, -1, -2, IMM_ERROR_GENERAL, 0, 0, 0, 0},
      {5000, 5000, 100000, 9999, 1024, 1024, 1024, 1024},
      {3, 2, 8, 3, 3, 2, 2, 3},
  };
  for (const auto& row : rows) {
    Fake().compositionLength = row.compositionLength;
    Fake().cursor = row.cursor;
    Fake().clauseBytes = row.clauseBytes;
    Fake().attributeBytes = row.attributeBytes;
    SendMessageA(Window(), WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE | GCS_COMPATTR);
    std::string name = "reported length " + std::to_string(row.compositionLength);
    EXPECT_EQ((int)strlen(TextInput.ime.composition), row.length) << name;
    EXPECT_EQ(TextInput.ime.compositionCursor, row.cursorChars) << name;
    EXPECT_EQ(TextInput.ime.clauseCount, row.clauses) << name;
    EXPECT_EQ(TextInput.ime.attributeCount, row.attributes) << name;
  }
}

TEST_F(TextInputTest, OpenStatusFollowsCompositionOnlyFromVista) {
  int saved = WindowState.osCode;
  struct {
    int osCode, afterStart, afterEnd;
  } rows[] = {{OS_CODE_WINXP, 0, 0}, {OS_CODE_VISTA, 1, 0}, {OS_CODE_WIN7, 1, 0}};
  for (const auto& row : rows) {
    WindowState.osCode = row.osCode;
    TextInput.ime.openStatus = 0;
    SendMessageA(Window(), WM_IME_STARTCOMPOSITION, 0, 0);
    EXPECT_EQ(TextInput.ime.openStatus, row.afterStart) << "os " << row.osCode;
    SendMessageA(Window(), WM_IME_ENDCOMPOSITION, 0, 0);
    EXPECT_EQ(TextInput.ime.openStatus, row.afterEnd) << "os " << row.osCode;
  }
  WindowState.osCode = saved;
  Fake().openStatus = TRUE;
  EXPECT_EQ(SendMessageA(Window(), WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0), 0);
  EXPECT_EQ(TextInput.ime.openStatus, 1);
}

TEST_F(TextInputTest, CandidateListsAreKeptUntilClosedAndFailuresLogged) {
  std::vector<unsigned char> block(sizeof(CANDIDATELIST) + 12, 0);
  ((CANDIDATELIST*)block.data())->dwSize = (DWORD)block.size();
  ((CANDIDATELIST*)block.data())->dwCount = 2;
  Fake().candidates = block;
  SendMessageA(Window(), WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
  ASSERT_NE(TextInput.ime.candidateList, nullptr);
  EXPECT_EQ(TextInput.ime.candidateListSize, (int)block.size());
  EXPECT_EQ(TextInput.ime.candidateList->dwCount, 2u);
  SendMessageA(Window(), WM_IME_NOTIFY, IMN_CHANGECANDIDATE, 0);
  EXPECT_EQ(TextInput.ime.candidateListSize, (int)block.size());
  SendMessageA(Window(), WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 0);
  EXPECT_EQ(TextInput.ime.candidateList, nullptr);
  EXPECT_EQ(TextInput.ime.candidateListSize, 0);

  Fake().candidateReadFails = true;
  SendMessageA(Window(), WM_IME_NOTIFY, IMN_SETCANDIDATEPOS, 0);
  EXPECT_EQ(TextInput.ime.candidateList, nullptr);
  std::string log = ReadLogWithoutStamps();
  EXPECT_NE(log.find("漢字変換候補の取得に失敗しました  BufSize:" + std::to_string(block.size()) + "\r\n"), std::string::npos);
  Fake().candidates.clear();
  SendMessageA(Window(), WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
  EXPECT_NE(ReadLogWithoutStamps().find("漢字変換候補のデータサイズが０でした  DefHWND:"), std::string::npos);

  // Switching the IME off drops the list and the composition.
  Fake().candidates = block;
  Fake().candidateReadFails = false;
  SetImeEnabled(1);
  SendMessageA(Window(), WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
  strcpy(TextInput.ime.composition, "x");
  SetImeEnabled(0);
  EXPECT_EQ(TextInput.ime.candidateList, nullptr);
  EXPECT_STREQ(TextInput.ime.composition, "");
}

TEST_F(TextInputTest, ActivationRestoresTheCompositionInFourSteps) {
  SetImeEnabled(1);
  TextInput.ime.openStatus = 1;
  Fake().composition = "へんかん";
  ApplyActivationChange(WA_INACTIVE, 0);
  ApplyActivationChange(WA_ACTIVE, 0);
  EXPECT_EQ(TextInput.ime.restoreStep, 1);
  ProcessKeyInputFrame();
  EXPECT_EQ(TextInput.ime.restoreStep, 0);
  std::string joined;
  for (const std::string& call : Fake().calls) joined += call + ";";
  EXPECT_EQ(joined, "GetComp;Notify " + std::to_string(NI_COMPOSITIONSTR) + " " + std::to_string(CPS_CANCEL) +
                        ";SetOpen 0;SetOpen 1;SetOpen 1;SetComp " + std::to_string(SCS_SETSTR) + " へんかん;");
  SetImeEnabled(0);
}

TEST_F(TextInputTest, CountingCharactersStepsOverDoubleByteCharacters) {
  const char* text = "aあbい";
  struct {
    int bytes, chars;
  } rows[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {5, 4}, {6, 4}, {100, 4}};
  for (const auto& row : rows) EXPECT_EQ(CountCharsInBytes(text, row.bytes), row.chars) << row.bytes << " bytes";
}
}  // namespace
