// Soft-image handles: the type's start and end, creation, removal with every handle check,
// and the pixels freed with the handle or with the end of the type.
#include <gtest/gtest.h>

#include "core/memory.h"
#include "image/soft_image.h"
#include "korvel.h"
#include "test_support.h"

namespace {
TEST(SoftImage, TypeStartsAndEndsOnceAndRemovalChecksTheHandle) {
  StartTestLog();
  EXPECT_EQ(MakeSoftImage(4, 4), -1) << "before the type is started";
  EXPECT_EQ(RemoveSoftImageHandle(0x08000000), -1);
  EXPECT_EQ(EndSoftImageHandleType(), -1);
  int blocks = GetAllocBlockCount();
  ASSERT_EQ(StartSoftImageHandleType(), 0);
  EXPECT_EQ(StartSoftImageHandleType(), -1);

  int a = MakeSoftImage(8, 3);
  int b = MakeSoftImage(2, 2);
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  EXPECT_EQ(GetHandleType(a), HANDLE_TYPE_SOFT_IMAGE);
  RASTER_IMAGE* image = FindSoftImage(a);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 8);
  EXPECT_EQ(image->height, 3);
  EXPECT_EQ(image->format.colorBits, 32);
  EXPECT_EQ(MakeSoftImage(0, 5), -1);

  struct {
    int handle;
    const char* name;
  } refused[] = {{-1, "none"},
                 {(a & ~HANDLE_TYPE_MASK_BITS) | (HANDLE_TYPE_GRAPH << HANDLE_TYPE_SHIFT), "another type"},
                 {a ^ (1 << HANDLE_ID_SHIFT), "another check value"},
                 {(a & ~HANDLE_SLOT_MASK) | 0x7FFF, "slot past the maximum"},
                 {(a & ~HANDLE_SLOT_MASK) | 100, "empty slot"}};
  for (const auto& row : refused) EXPECT_EQ(RemoveSoftImageHandle(row.handle), -1) << row.name;
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_SOFT_IMAGE].count, 2);

  BeginHandleAsyncLoad(a, 0);
  EXPECT_EQ(RemoveSoftImageHandle(a), -1) << "a load is pending";
  EndHandleAsyncLoad(a);
  int beforeRemove = GetAllocBlockCount();
  EXPECT_EQ(RemoveSoftImageHandle(a), 0);
  EXPECT_EQ(GetAllocBlockCount(), beforeRemove - 2) << "the record and its pixels";
  EXPECT_EQ(RemoveSoftImageHandle(a), -1);
  EXPECT_EQ(FindSoftImage(a), nullptr);

  EXPECT_EQ(EndSoftImageHandleType(), 0) << "frees the pixels of b";
  EXPECT_EQ(EndSoftImageHandleType(), -1);
  EXPECT_EQ(GetAllocBlockCount(), blocks);
  EXPECT_EQ(RemoveSoftImageHandle(b), -1);
}

TEST(SoftImage, DeleteAllEmptiesTheType) {
  ASSERT_EQ(StartSoftImageHandleType(), 0);
  for (int i = 0; i < 5; i++) ASSERT_NE(MakeSoftImage(3, 3), -1);
  EXPECT_EQ(DeleteAllSoftImages(), 0);
  EXPECT_EQ(HandleManagers[HANDLE_TYPE_SOFT_IMAGE].count, 0);
  EndSoftImageHandleType();
}
}  // namespace
