// The table of created, unclaimed pins: push, find, remove and the ninth push.
#include "filter/pin_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

kernel::FileObject* fileAt(int i) { return reinterpret_cast<kernel::FileObject*>(static_cast<uintptr_t>(0x1000 + 16 * i)); }

std::vector<uintptr_t> filesIn(const PinTable& table) {
  std::vector<uintptr_t> files;
  for (uint32_t i = 0; i < table.count; i++) files.push_back(reinterpret_cast<uintptr_t>(table.entries[i].fileObject));
  return files;
}

TEST(PinTable, KeepsCreationOrderAndRemovesTheFirstMatch) {
  PinTable table{};
  table.clear();
  ks::WAVEFORMATEX format{1, 2, 48000, 192000, 4, 16, 0};
  for (int i = 0; i < 4; i++) table.push(fileAt(i), static_cast<uint32_t>(100 + i), format);
  table.push(fileAt(1), 200, format);  // the same file object again
  ASSERT_NE(table.find(fileAt(1)), nullptr);
  EXPECT_EQ(table.find(fileAt(1))->processId, 101u) << "find answers the first match";
  EXPECT_EQ(table.find(fileAt(9)), nullptr);

  table.remove(fileAt(1));
  EXPECT_EQ(filesIn(table), (std::vector<uintptr_t>{0x1000, 0x1020, 0x1030, 0x1010})) << "later entries move down";
  EXPECT_EQ(table.find(fileAt(1))->processId, 200u);
  table.remove(fileAt(9));
  EXPECT_EQ(table.count, 4u) << "removing an unknown pin changes nothing";
}

TEST(PinTable, NinthPinWhileEightAreUnclaimedEmptiesTheTable) {
  PinTable table{};
  table.clear();
  ks::WAVEFORMATEX format{1, 1, 16000, 32000, 2, 16, 0};
  for (int i = 0; i < 8; i++) table.push(fileAt(i), 1, format);
  EXPECT_EQ(table.count, 8u);
  table.push(fileAt(8), 9, format);
  EXPECT_EQ(filesIn(table), (std::vector<uintptr_t>{0x1080}));
  EXPECT_EQ(table.find(fileAt(0)), nullptr) << "the older pins can no longer be claimed";
}

}  // namespace
