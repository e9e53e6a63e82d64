// Vertex- and index-buffer handles on Wine's real device: element ranges written into both
// copies, the lock refused or failing, loss and re-creation, and the system copy's release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "graphics/device/buffers.h"
#include "real_device.h"
#include "test_support.h"

namespace {
int LockCount;
DEVICE_CALL_TABLE SavedCalls;

class Buffers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
  void SetUp() override {
    SavedCalls = DeviceCalls;
    LockCount = 0;
    DeviceCalls.BufferLock = [](IDirect3DResource9* b, UINT o, UINT s, void** d, DWORD f) {
      LockCount++;
      return SavedCalls.BufferLock(b, o, s, d, f);
    };
  }
  void TearDown() override { DeviceCalls = SavedCalls; }
};

// The device buffer's contents, read through a lock of the whole buffer.
std::vector<int> ReadDeviceBuffer(int handle, int count) {
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)LookupHandleRecord(handle);
  std::vector<int> out(count, -99);
  void* data = nullptr;
  if (record->buffer == nullptr || FAILED(SavedCalls.BufferLock(record->buffer, 0, 0, &data, D3DLOCK_READONLY)))
    return out;
  memcpy(out.data(), data, count * 4);
  SavedCalls.BufferUnlock(record->buffer);
  return out;
}

std::vector<int> ReadSystemCopy(int handle, int count) {
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)LookupHandleRecord(handle);
  std::vector<int> out(count);
  memcpy(out.data(), record->systemCopy, count * 4);
  return out;
}

TEST_F(Buffers, RangesAreCheckedAndOnlyTheWrittenElementsChangeInBothCopies) {
  int handle = CreateVertexBuffer(4, 20);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetHandleType(handle), HANDLE_TYPE_VERTEX_BUFFER);
  ASSERT_NE(((BUFFER_HANDLE*)LookupHandleRecord(handle))->buffer, nullptr);
  std::vector<int> zeros(20, 0);
  ASSERT_EQ(SetVertexBufferData(0, zeros.data(), 20, handle), 0);
  std::vector<int> values(30);
  for (int i = 0; i < 30; i++) values[i] = 100 + i;

  struct {
    int first, count, result, locks;
  } rows[] = {
      {10, 10, 0, 1},   // elements 10-19 of 20
      {15, 10, -1, 0},  // runs past the end
      {20, 0, 0, 0},    // empty write at the end: nothing locked
      {0, 0, 0, 0},
      {-1, 5, -1, 0},   // negative first
      {3, -2, -1, 0},   // negative count
      {0, 21, -1, 0},
      {21, 0, -1, 0},   // start past the end
      {0x7FFFFFF0, 0x20, -1, 0},  // sum overflows
  };
  std::vector<int> expected(20, 0);
  for (const auto& row : rows) {
    std::string name = "first " + std::to_string(row.first) + " count " + std::to_string(row.count);
    LockCount = 0;
    EXPECT_EQ(SetVertexBufferData(row.first, values.data(), row.count, handle), row.result) << name;
    EXPECT_EQ(LockCount, row.locks) << name;
    if (row.result == 0)
      for (int i = 0; i < row.count; i++) expected[row.first + i] = values[i];
    EXPECT_EQ(ReadSystemCopy(handle, 20), expected) << name;
    EXPECT_EQ(ReadDeviceBuffer(handle, 20), expected) << name;
  }
  EXPECT_EQ(DeleteVertexBuffer(handle), 0);
}

TEST_F(Buffers, HandlesOfTheWrongTypeDeletedOrLoadingAreRefused) {
  int vertices = CreateVertexBuffer(8, 4);
  int indices = CreateIndexBuffer(6);
  ASSERT_NE(vertices, -1);
  ASSERT_NE(indices, -1);
  EXPECT_EQ(GetHandleType(indices), HANDLE_TYPE_INDEX_BUFFER);
  const unsigned short index[6] = {0, 1, 2, 2, 1, 3};
  EXPECT_EQ(SetIndexBufferData(0, index, 6, indices), 0);
  EXPECT_EQ(SetIndexBufferData(0, index, 6, vertices), -1);
  EXPECT_EQ(SetVertexBufferData(0, index, 1, indices), -1);
  EXPECT_EQ(SetVertexBufferData(0, index, 1, -1), -1);
  EXPECT_EQ(DeleteIndexBuffer(vertices), -1);
  BeginHandleAsyncLoad(vertices, 0);
  EXPECT_EQ(SetVertexBufferData(0, index, 1, vertices), -1);
  EndHandleAsyncLoad(vertices);
  EXPECT_EQ(SetVertexBufferData(0, index, 1, vertices), 0);
  EXPECT_EQ(CreateVertexBuffer(0, 4), -1);
  EXPECT_EQ(CreateIndexBuffer(-3), -1);
  EXPECT_EQ(DeleteIndexBuffer(indices), 0);
  EXPECT_EQ(SetIndexBufferData(0, index, 6, indices), -1);
  EXPECT_EQ(DeleteVertexBuffer(vertices), 0);
}

TEST_F(Buffers, AFailedLockLogsAndLeavesBothCopies) {
  int handle = CreateIndexBuffer(4);
  ASSERT_NE(handle, -1);
  const unsigned short first[4] = {1, 2, 3, 4};
  ASSERT_EQ(SetIndexBufferData(0, first, 4, handle), 0);
  DeviceCalls.BufferLock = [](IDirect3DResource9*, UINT, UINT, void**, DWORD) { return (HRESULT)D3DERR_INVALIDCALL; };
  const unsigned short second[4] = {9, 9, 9, 9};
  EXPECT_EQ(SetIndexBufferData(0, second, 4, handle), -1);
  EXPECT_NE(ReadLogWithoutStamps().find("インデックスバッファのロックに失敗しました\r\n"), std::string::npos);
  BUFFER_HANDLE* record = (BUFFER_HANDLE*)LookupHandleRecord(handle);
  EXPECT_EQ(memcmp(record->systemCopy, first, 8), 0);
  DeviceCalls = SavedCalls;
  std::vector<int> device = ReadDeviceBuffer(handle, 2);
  EXPECT_EQ(memcmp(device.data(), first, 8), 0);
  DeleteIndexBuffer(handle);
}

TEST_F(Buffers, WithoutADeviceBufferOnlyTheCopyChangesAndRecreationRefillsIt) {
  int handle = CreateVertexBuffer(4, 8);
  ASSERT_NE(handle, -1);
  const int before[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(SetVertexBufferData(0, before, 8, handle), 0);
  ReleaseAllBufferObjects();
  EXPECT_EQ(((BUFFER_HANDLE*)LookupHandleRecord(handle))->buffer, nullptr);
  const int changed[2] = {70, 80};
  LockCount = 0;
  EXPECT_EQ(SetVertexBufferData(6, changed, 2, handle), 0);
  EXPECT_EQ(LockCount, 0);
  std::vector<int> expected = {1, 2, 3, 4, 5, 6, 70, 80};
  EXPECT_EQ(ReadSystemCopy(handle, 8), expected);
  RecreateAllBufferObjects();
  EXPECT_EQ(ReadDeviceBuffer(handle, 8), expected);
  DeleteVertexBuffer(handle);
}

TEST_F(Buffers, DeletingFreesTheSystemCopyAndAFailedCreationLogs) {
  int blocks = GetAllocBlockCount();
  int handle = CreateVertexBuffer(48, 100);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetAllocBlockCount(), blocks + 2);  // the record and its copy
  EXPECT_EQ(DeleteVertexBuffer(handle), 0);
  EXPECT_EQ(GetAllocBlockCount(), blocks);

  DeviceCalls.DeviceCreateIndexBuffer = [](UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer9**, HANDLE*) {
    return (HRESULT)D3DERR_OUTOFVIDEOMEMORY;
  };
  EXPECT_EQ(CreateIndexBuffer(10), -1);
  EXPECT_NE(ReadLogWithoutStamps().find("インデックスバッファの作成に失敗しました\r\n"), std::string::npos);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
}
}  // namespace
