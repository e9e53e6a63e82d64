// The handle manager: value layout, slot choice, check-value cycle, callbacks and limits.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "core/handles.h"
#include "core/log.h"
#include "core/winapi.h"
#include "test_support.h"

namespace {
const int kType = 20;  // a type no module uses

struct TestRecord {
  HANDLE_HEAD head;
  int value;
};

int initCalls;
void CountInit(HANDLE_HEAD*) { initCalls++; }
int keepRecords;
int KeepOrFree(HANDLE_HEAD*) { return keepRecords; }

class Handles : public ::testing::Test {
 protected:
  void SetUp() override { Setup(64); }
  void TearDown() override {
    keepRecords = 0;
    EndHandleType(kType);
  }
  void Setup(int maxCount) {
    EndHandleType(kType);
    HandleManagers[kType].nextId = 0;
    ASSERT_EQ(InitHandleType(kType, sizeof(TestRecord), maxCount, CountInit, KeepOrFree, "テスト"), 0);
  }
  static int Slot(HANDLE_VALUE h) { return h & 0xFFFF; }
  static int Id(HANDLE_VALUE h) { return (h >> 16) & 0x3FF; }
};

TEST_F(Handles, ValueLayoutAndCheckValueCycle) {
  HANDLE_VALUE first = NewHandle(kType, -1);
  EXPECT_EQ(first, (1 << 16) | (kType << 26) | 0);
  EXPECT_EQ(GetHandleType(first), kType);
  EXPECT_EQ(initCalls > 0, true);
  // IDs run 1..1022, then 0, then 1 again; 1023 never occurs.
  std::vector<int> ids;
  for (int i = 0; i < 1024; i++) {
    HANDLE_VALUE h = NewHandle(kType, -1);
    ids.push_back(Id(h));
    DeleteHandle(h);
  }
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1020], 1022);
  EXPECT_EQ(ids[1021], 0);
  EXPECT_EQ(ids[1022], 1);
}

TEST_F(Handles, DeletedHandlesFailAndSlotsAreReused) {
  std::vector<HANDLE_VALUE> h;
  for (int i = 0; i < 3; i++) h.push_back(NewHandle(kType, -1));
  ASSERT_EQ(DeleteHandle(h[2]), 0);
  EXPECT_EQ(LookupHandleRecord(h[2]), nullptr);
  EXPECT_EQ(DeleteHandle(h[2]), -1);
  HANDLE_VALUE again = NewHandle(kType, -1);
  EXPECT_EQ(Slot(again), 2);  // the highest slot is reused with a new check value
  EXPECT_NE(again, h[2]);
  ASSERT_EQ(DeleteHandle(h[1]), 0);
  EXPECT_EQ(Slot(NewHandle(kType, -1)), 3);  // a hole in the middle: above the highest
}

TEST_F(Handles, SlotChoiceGoesAboveTheHighestThenBelowTheLowest) {
  Setup(12);
  std::vector<HANDLE_VALUE> h;
  for (int i = 0; i < 10; i++) h.push_back(NewHandle(kType, -1));
  for (int i = 0; i < 5; i++) DeleteHandle(h[i]);
  EXPECT_EQ(Slot(NewHandle(kType, -1)), 10);
  EXPECT_EQ(Slot(NewHandle(kType, -1)), 11);
  EXPECT_EQ(Slot(NewHandle(kType, -1)), 4);  // the top is full: lowest - 1
  EXPECT_EQ(Slot(NewHandle(kType, -1)), 3);
}

TEST_F(Handles, FirstFreeSlotWhenNeitherEndHasRoom) {
  Setup(4);
  std::vector<HANDLE_VALUE> h;
  for (int i = 0; i < 4; i++) h.push_back(NewHandle(kType, -1));
  DeleteHandle(h[1]);
  EXPECT_EQ(Slot(NewHandle(kType, -1)), 1);
}

TEST_F(Handles, WantedHandleIsReproducedOrItsIdKept) {
  HANDLE_VALUE wanted = (77 << 16) | (kType << 26) | 5;
  EXPECT_EQ(NewHandle(kType, wanted), wanted);
  HANDLE_VALUE other = NewHandle(kType, wanted);  // slot 5 is taken: another slot, same ID
  EXPECT_NE(Slot(other), 5);
  EXPECT_EQ(Id(other), 77);
  // Values that are not handles of this type with a slot in range count as none.
  HANDLE_VALUE foreign = (900 << 16) | (HANDLE_TYPE_FONT << 26) | 9;
  HANDLE_VALUE outOfRange = (900 << 16) | (kType << 26) | 1000;
  for (HANDLE_VALUE bad : {foreign, outOfRange, (HANDLE_VALUE)0x83840005}) {
    HANDLE_VALUE h = NewHandle(kType, bad);
    ASSERT_NE(h, -1);
    EXPECT_EQ(GetHandleType(h), kType);
    EXPECT_NE(Id(h), 900);
  }
}

TEST_F(Handles, TerminateReturningOneKeepsTheRecord) {
  HANDLE_VALUE h = NewHandle(kType, -1);
  int flag = 0;
  SetHandleDeleteFlag(h, &flag);
  keepRecords = 1;
  EXPECT_EQ(DeleteHandle(h), 0);
  EXPECT_EQ(flag, -1);
  EXPECT_NE(LookupHandleRecord(h), nullptr);
  keepRecords = 0;
  EXPECT_EQ(DeleteHandle(h), 0);
  EXPECT_EQ(LookupHandleRecord(h), nullptr);
}

int selectOdd(HANDLE_HEAD* r) { return ((TestRecord*)r)->value % 2 == 1 ? 0 : 1; }
int selectNone(HANDLE_HEAD*) { return 1; }

TEST_F(Handles, DeleteHandlesOfTypeHonoursTheFilter) {
  std::vector<HANDLE_VALUE> h;
  for (int i = 0; i < 8; i++) {
    h.push_back(NewHandle(kType, -1));
    ((TestRecord*)LookupHandleRecord(h.back()))->value = i;
  }
  EXPECT_EQ(DeleteHandlesOfType(kType, selectNone), 0);
  EXPECT_EQ(HandleManagers[kType].count, 8);
  EXPECT_EQ(DeleteHandlesOfType(kType, selectOdd), 0);
  for (int i = 0; i < 8; i++) EXPECT_EQ(LookupHandleRecord(h[i]) != nullptr, i % 2 == 0) << i;
  EXPECT_EQ(DeleteHandlesOfType(kType, nullptr), 0);
  EXPECT_EQ(HandleManagers[kType].count, 0);
  EXPECT_EQ(DeleteHandlesOfType(HANDLE_TYPE_COUNT - 1, nullptr), -1);
}

TEST_F(Handles, CheckValuesKeepCyclingAcrossTheEndOfAType) {
  HANDLE_VALUE a = NewHandle(kType, -1);
  EndHandleType(kType);
  EXPECT_EQ(LookupHandleRecord(a), nullptr);
  ASSERT_EQ(InitHandleType(kType, sizeof(TestRecord), 64, nullptr, nullptr, "テスト"), 0);
  EXPECT_EQ(InitHandleType(kType, sizeof(TestRecord), 64, nullptr, nullptr, "テスト"), -1);
  EXPECT_EQ(Id(NewHandle(kType, -1)), Id(a) + 1);
}

TEST_F(Handles, ResizeKeepsRecordAndListConsistent) {
  HANDLE_VALUE a = NewHandle(kType, -1);
  HANDLE_VALUE b = NewHandle(kType, -1);
  HANDLE_VALUE c = NewHandle(kType, -1);
  ((TestRecord*)LookupHandleRecord(b))->value = 1234;
  ASSERT_EQ(ResizeHandleRecord(b, 100000), 0);
  TestRecord* moved = (TestRecord*)LookupHandleRecord(b);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->value, 1234);
  EXPECT_EQ(moved->head.node.data, moved);
  // Walk the list newest first: c, b, a.
  HANDLE_LIST_NODE* n = HandleManagers[kType].listHead.next;
  EXPECT_EQ(n->handle, c);
  EXPECT_EQ(n->next->handle, b);
  EXPECT_EQ(n->next->next->handle, a);
  EXPECT_EQ(n->next->next->next, &HandleManagers[kType].listTail);
  EXPECT_EQ(ResizeHandleRecord(-1, 64), -1);
}

TEST_F(Handles, InvalidValuesFailEveryTest) {
  HANDLE_VALUE h = NewHandle(kType, -1);
  for (HANDLE_VALUE bad : {-1, h | (int)0x80000000, h + (1 << 16), (h & ~0x7C000000) | (21 << 26), h + 63}) {
    EXPECT_EQ(LookupHandleRecord(bad), nullptr) << std::hex << bad;
    EXPECT_EQ(IsHandleLoading(bad), -1);
    EXPECT_EQ(DeleteHandle(bad), -1);
  }
  EXPECT_EQ(IsHandleLoading(h), 0);
  BeginHandleAsyncLoad(h, 3);
  EXPECT_EQ(IsHandleLoading(h), 1);
  EndHandleAsyncLoad(h);
  EXPECT_EQ(IsHandleLoading(h), 0);
}

// The thread that queues a load counts it while the worker of another load of the same handle
// ends its own: no change of the count is lost, so the handle never stays loading for good.
struct LOAD_COUNTER {
  HANDLE_VALUE handle;
  HANDLE start;
  int begin;
};
DWORD WINAPI ChangeLoadCount(void* argument) {
  LOAD_COUNTER* c = static_cast<LOAD_COUNTER*>(argument);
  WaitForSingleObject(c->start, INFINITE);
  for (int i = 0; i < 2000000; i++) {
    if (c->begin) {
      BeginHandleAsyncLoad(c->handle, 3);
    } else {
      EndHandleAsyncLoad(c->handle);
    }
  }
  return 0;
}

TEST_F(Handles, LoadCountChangesFromTwoThreadsAreNotLost) {
  HANDLE_VALUE h = NewHandle(kType, -1);
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  LOAD_COUNTER counters[2] = {{h, start, 1}, {h, start, 0}};
  HANDLE threads[2];
  for (int i = 0; i < 2; i++) threads[i] = CreateThread(nullptr, 0, ChangeLoadCount, &counters[i], 0, nullptr);
  SetEvent(start);
  ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(start);
  EXPECT_EQ(LookupHandleRecord(h)->pendingLoads, 0);
  EXPECT_EQ(IsHandleLoading(h), 0);
  // The task of a counted load is named apart, without counting it again.
  BeginHandleAsyncLoad(h, -1);
  EXPECT_EQ(SetHandleAsyncLoadTask(h, 9), 0);
  EXPECT_EQ(LookupHandleRecord(h)->pendingLoads, 1);
  EXPECT_EQ(LookupHandleRecord(h)->loadTaskIndex, 9);
  EndHandleAsyncLoad(h);
  EXPECT_EQ(SetHandleAsyncLoadTask(-1, 9), -1);
}

TEST(HandleLimits, FortyFirstFontIsRefusedWithItsMessage) {
  StartTestLog();
  ASSERT_EQ(InitHandleType(HANDLE_TYPE_FONT, sizeof(HANDLE_HEAD), 40, nullptr, nullptr, "フォント"), 0);
  for (int i = 0; i < 40; i++) ASSERT_NE(NewHandle(HANDLE_TYPE_FONT, -1), -1) << i;
  EXPECT_EQ(NewHandle(HANDLE_TYPE_FONT, -1), -1);
  EXPECT_EQ(ReadLogWithoutStamps(), "フォントハンドルの数が限界数( 40 )に達していて新たなハンドルを作成できません\r\n");
  EndHandleType(HANDLE_TYPE_FONT);
}
}  // namespace
