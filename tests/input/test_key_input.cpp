// Key-input handles: the editing codes applied by the key-input frame to a handle's text,
// the filters, the length limit, the clipboard and the IME composition limit. Shift comes
// from the system key state the input module reads.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ime_fake.h"
#include "input/key_input.h"
#include "input/text_input.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
class KeyInput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    AllowMultipleInstances(1);
    SetRunWhileInactive(1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
  }
  static void TearDownTestSuite() { EndLibrary(); }
  void SetUp() override { SetShift(false); }
  void TearDown() override {
    SetShift(false);
    DeleteAllKeyInputHandles();
  }

 public:
  static void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = keys[VK_LSHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
    Sleep(2);  // the key state is read once per millisecond tick
  }
};

// Queues the bytes and lets one pump pass run the key-input frame, as a program's frame does.
void Type(const std::string& bytes) {
  for (unsigned char c : bytes) PushInputChar(c);
  PumpWindowMessages();
}

// A handle holding text with the cursor at the given byte and no selection, made active.
int MakeEditor(int maxLength, int flags, const std::string& text, int cursor) {
  int handle = MakeKeyInput(maxLength, flags);
  SetActiveKeyInput(handle);
  Type(text);
  KEY_INPUT_RECORD* r = FindKeyInputRecord(handle);
  r->cursor = cursor;
  return handle;
}

std::string TextOf(int handle) {
  char buffer[2048];
  GetKeyInputText(handle, buffer, sizeof buffer);
  return buffer;
}

const std::string kA = "あ";  // a double-byte character

TEST_F(KeyInput, EditingCasesTable) {
  struct {
    const char* name;
    int maxLength, flags;
    std::string text;
    int cursor;
    bool shift;
    std::string typed;
    std::string expected;
    int expectedCursor, selStart, selEnd;
  } rows[] = {
      {"full text gives way at its end", 4, 0, "abcd", 1, false, "x", "axbc", 2, -1, -1},
      {"backspace after a double-byte character", 10, 0, "a" + kA, 3, false, "\b", "a", 1, -1, -1},
      {"backspace after a single byte", 10, 0, "abc", 2, false, "\b", "ac", 1, -1, -1},
      {"backspace at the start", 10, 0, "abc", 0, false, "\b", "abc", 0, -1, -1},
      {"delete over a lead byte", 10, 0, kA + "b", 0, false, "\x10", "b", 0, -1, -1},
      {"delete at the end", 10, 0, "ab", 2, false, "\x10", "ab", 2, -1, -1},
      {"numbers: minus only first", 10, 4, "", 0, false, "-1-2", "-12", 3, -1, -1},
      {"numbers: one full stop", 10, 4, "", 0, false, "1.2.3", "1.23", 4, -1, -1},
      {"numbers: 1 e 3", 10, 4, "", 0, false, "1e3", "13", 2, -1, -1},
      {"numbers: no double-byte", 10, 4, "", 0, false, kA + "7", "7", 1, -1, -1},
      {"single-byte only", 10, 2, "", 0, false, "a" + kA + "b", "ab", 2, -1, -1},
      {"double-byte only", 10, 8, "", 0, false, "a" + kA + "b", kA, 2, -1, -1},
      {"too long for the limit: refused", 1, 0, "", 0, false, kA + "q", "q", 1, -1, -1},
      {"double-byte dropped whole at the end", 4, 0, "ab" + kA, 0, false, "x", "xab", 1, -1, -1},
      {"right over a double-byte character", 10, 0, kA + "b", 0, false, "\x1C", kA + "b", 2, -1, -1},
      {"left over a double-byte character", 10, 0, "b" + kA, 3, false, "\x1D", "b" + kA, 1, -1, -1},
      {"shift+home selects back to 0", 10, 0, "abcdef", 3, true, "\x1A", "abcdef", 0, 3, 0},
      {"shift+end selects to the end", 10, 0, "abcdef", 2, true, "\x19", "abcdef", 6, 2, 6},
      {"shift+left twice", 10, 0, "abcdef", 4, true, "\x1D\x1D", "abcdef", 2, 4, 2},
      {"home and end", 10, 0, "abc", 1, false, "\x1A" "x\x19y", "xabcy", 5, -1, -1},
      {"tab, up, down ignored", 10, 0, "ab", 1, false, "\t\x1E\x1F", "ab", 1, -1, -1},
      {"other control bytes are inserted", 10, 0, "", 0, false, "\x02", "\x02", 1, -1, -1},
  };
  for (const auto& row : rows) {
    int handle = MakeEditor(row.maxLength, row.flags, row.text, row.cursor);
    SetShift(row.shift);
    Type(row.typed);
    SetShift(false);
    KEY_INPUT_RECORD* r = FindKeyInputRecord(handle);
    EXPECT_EQ(TextOf(handle), row.expected) << row.name;
    EXPECT_EQ(r->length, (int)row.expected.size()) << row.name;
    EXPECT_EQ(r->cursor, row.expectedCursor) << row.name;
    EXPECT_EQ(r->selectionStart, row.selStart) << row.name;
    EXPECT_EQ(r->selectionEnd, row.selEnd) << row.name;
    DeleteKeyInputHandle(handle);
  }
}

TEST_F(KeyInput, ASelectionIsDeletedReplacedCopiedAndCut) {
  int handle = MakeEditor(20, 0, "abcdef", 3);
  SetShift(true);
  Type("\x1A");  // select 0-3
  SetShift(false);
  Type("\x10");  // delete removes the selection
  EXPECT_EQ(TextOf(handle), "def");
  EXPECT_EQ(FindKeyInputRecord(handle)->cursor, 0);

  SetShift(true);
  Type("\x1C\x1C");  // select "de"
  SetShift(false);
  Type("\x03");  // copy
  char clip[64] = {};
  ASSERT_EQ(ReadClipboardText(clip, sizeof clip), 0);
  EXPECT_STREQ(clip, "de");
  Type("XY");  // typing replaces the selection
  EXPECT_EQ(TextOf(handle), "XYf");

  SetShift(true);
  Type("\x1D");  // select "Y"
  SetShift(false);
  Type("\x18");  // cut
  EXPECT_EQ(TextOf(handle), "Xf");
  ReadClipboardText(clip, sizeof clip);
  EXPECT_STREQ(clip, "Y");
  DeleteKeyInputHandle(handle);
}

TEST_F(KeyInput, PasteDropsControlCodesAndStopsWhereTheBufferIsFull) {
  WriteClipboardText("ab\r\ncd\x16" "e\x03" "f");
  int handle = MakeEditor(5000, 0, "", 0);
  Type("\x16");
  EXPECT_EQ(TextOf(handle), "abcdef") << "line breaks and editing codes left out; no second paste";
  DeleteKeyInputHandle(handle);

  std::string longText;
  for (int i = 0; i < 1500; i++) longText += (char)('a' + i % 26);
  WriteClipboardText(longText.c_str());
  handle = MakeEditor(5000, 0, "", 0);
  Type("\x16");
  EXPECT_EQ(TextOf(handle), longText.substr(0, 1024)) << "the typed-character buffer holds 1024 bytes";
  DeleteKeyInputHandle(handle);
}

TEST_F(KeyInput, EnterAndEscapeFinishAndInvalidHandlesAreRefused) {
  int plain = MakeEditor(10, 0, "ab", 2);
  Type("\x1B" "c");
  EXPECT_EQ(GetKeyInputStatus(plain), 0) << "escape without cancelling changes nothing";
  EXPECT_EQ(TextOf(plain), "abc");
  Type("\r" "d");
  EXPECT_EQ(GetKeyInputStatus(plain), 1);
  EXPECT_EQ(TextInput.activeKeyInput, -1);
  EXPECT_EQ(TextOf(plain), "abc") << "nothing after Enter is taken";
  char c[2];
  EXPECT_EQ(PopInputChar(c, 1), 1) << "the character after Enter stays in the buffer";

  int cancellable = MakeEditor(10, 1, "x", 1);
  Type("\x1B");
  EXPECT_EQ(GetKeyInputStatus(cancellable), 2);

  EXPECT_EQ(DeleteKeyInputHandle(plain), 0);
  EXPECT_EQ(DeleteKeyInputHandle(plain), -1);
  EXPECT_EQ(GetKeyInputStatus(plain), -1);
  EXPECT_EQ(DeleteKeyInputHandle(cancellable ^ 0x10000), -1) << "another check id";
  TextInput.activeKeyInput = cancellable ^ 0x10000;
  EXPECT_EQ(ProcessKeyInputFrame(), -1);
  TextInput.activeKeyInput = -1;
  EXPECT_EQ(ProcessKeyInputFrame(), 0);
  EXPECT_EQ(cancellable >> 26, 9);
}

TEST_F(KeyInput, DeletingTheLastHandleSwitchesTheImeOff) {
  int a = MakeKeyInput(5, 0), b = MakeKeyInput(5, 0);
  SetActiveKeyInput(a);
  EXPECT_EQ(TextInput.ime.enabled, 1);
  DeleteKeyInputHandle(a);
  EXPECT_EQ(TextInput.activeKeyInput, -1);
  EXPECT_EQ(TextInput.ime.enabled, 1);
  DeleteKeyInputHandle(b);
  EXPECT_EQ(TextInput.ime.enabled, 0);
}

TEST_F(KeyInput, TheCompositionIsCutToTheRoomLeft) {
  WINAPI_TABLE saved = WinApi;
  InstallImeFake();
  Fake().composition = "いろは";  // six bytes
  strcpy(TextInput.ime.composition, "いろは");
  TextInput.ime.compositionLimit = 1;
  int handle = MakeEditor(6, 0, "abc", 3);
  Fake().calls.clear();
  PumpWindowMessages();
  std::string joined;
  for (const std::string& call : Fake().calls) joined += call + ";";
  EXPECT_EQ(joined, "GetComp;Notify " + std::to_string(NI_COMPOSITIONSTR) + " " + std::to_string(CPS_CANCEL) +
                        ";SetComp " + std::to_string(SCS_SETSTR) + " い;");
  TextInput.ime.compositionLimit = 0;
  TextInput.ime.composition[0] = 0;
  WinApi = saved;
  DeleteKeyInputHandle(handle);
}
}  // namespace
