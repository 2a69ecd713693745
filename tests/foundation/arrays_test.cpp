#include "foundation/arrays.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<int32_t> values(const IntArray& a) { return std::vector<int32_t>(a.data, a.data + a.count); }

IntArray& fill(IntArray& a, std::initializer_list<int32_t> list) {
  for (int32_t v : list) push(a, v);
  return a;
}

std::string at(const StringArray& a, int32_t i) { return a.data[i] == nullptr ? "<null>" : a.data[i]; }

}  // namespace

TEST(ArrayGrowth, NewArraysAreEmptyWithoutBlock) {
  IntArray ints;
  FloatArray floats;
  StringArray strings;
  EXPECT_EQ(ints.data, nullptr);
  EXPECT_EQ(ints.capacity, 0);
  EXPECT_EQ(ints.grow_step, 1);
  EXPECT_TRUE(is_empty(ints) && is_empty(floats) && is_empty(strings));
  EXPECT_EQ(first(ints), 0);
  EXPECT_EQ(last(floats), 0.0f);
  EXPECT_EQ(first(strings), nullptr);
  EXPECT_EQ(pop(floats), 0.0f);
  EXPECT_EQ(floats.count, 0);
}

TEST(ArrayGrowth, PushGrowsByTheStep) {
  IntArray a;
  fill(a, {1, 2, 3});
  EXPECT_EQ(a.capacity, 3);
  EXPECT_EQ(push(a, 4), 4);
  EXPECT_EQ(a.capacity, 4);

  IntArray stepped(8);
  push(stepped, 1);
  EXPECT_EQ(stepped.capacity, 8);

  // A step below 1 still grows, one slot at a time.
  FloatArray broken(0);
  push(broken, 1.5f);
  push(broken, 2.5f);
  EXPECT_EQ(broken.count, 2);
  EXPECT_EQ(last(broken), 2.5f);
}

TEST(ArrayGrowth, InsertPlacesOrAppends) {
  IntArray a;
  fill(a, {5, 6});
  insert(a, 0, 4);
  EXPECT_EQ(values(a), (std::vector<int32_t>{4, 5, 6}));
  EXPECT_EQ(a.capacity, 3);
  insert(a, -1, 7);
  insert(a, 99, 8);
  insert(a, a.count, 9);
  EXPECT_EQ(values(a), (std::vector<int32_t>{4, 5, 6, 7, 8, 9}));

  IntArray stepped(8);
  fill(stepped, {1, 2, 3, 4, 5, 6, 7, 8});
  insert(stepped, 1, 0);  // a full array grows by exactly one slot
  EXPECT_EQ(stepped.capacity, 9);
  EXPECT_EQ(first(stepped), 1);
  EXPECT_EQ(stepped.data[1], 0);
}

TEST(ArrayGrowth, ReserveKeepsElementsAndZeroFills) {
  IntArray a;
  fill(a, {1, 2, 3});
  int32_t* block = a.data;
  reserve(a, 2);
  EXPECT_EQ(a.data, block);
  reserve(a, 10);
  EXPECT_EQ(a.capacity, 10);
  EXPECT_EQ(values(a), (std::vector<int32_t>{1, 2, 3}));
  for (int i = 3; i < 10; ++i) EXPECT_EQ(a.data[i], 0);

  clear(a);
  EXPECT_EQ(a.capacity, 10);
  reserve(a, 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(a.data[i], 0);
}

TEST(ArrayEdit, RemoveMovePopAndSlots) {
  IntArray a;
  fill(a, {1, 2, 3});
  remove_at(a, 3);
  remove_at(a, -1);
  EXPECT_EQ(values(a), (std::vector<int32_t>{1, 2, 3}));
  remove_at(a, 1);
  EXPECT_EQ(values(a), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(a.data[2], 3);  // the vacated slot keeps its old value

  IntArray m;
  fill(m, {1, 2, 3});
  move(m, 0, 1);
  EXPECT_EQ(values(m), (std::vector<int32_t>{2, 1, 3}));
  move(m, 0, -1);
  move(m, 2, 1);
  move(m, 1, 0);
  EXPECT_EQ(values(m), (std::vector<int32_t>{2, 1, 3}));
  move(m, 2, -1);
  EXPECT_EQ(values(m), (std::vector<int32_t>{2, 3, 1}));

  EXPECT_EQ(remove_value(m, 3), 1);
  EXPECT_EQ(remove_value(m, 42), -1);
  EXPECT_EQ(find(m, 1), 1);
  EXPECT_EQ(pop(m), 1);
  add_slot(m);  // reuses the slot that still holds the popped value
  EXPECT_EQ(values(m), (std::vector<int32_t>{2, 1}));

  IntArray fresh;
  add_slot(fresh);
  EXPECT_EQ(values(fresh), (std::vector<int32_t>{0}));

  release(m);
  EXPECT_EQ(m.data, nullptr);
  EXPECT_EQ(m.capacity, 0);
  push(m, 5);
  EXPECT_EQ(values(m), (std::vector<int32_t>{5}));
}

TEST(StringArrayOwnership, EmptyStringsAreStoredAsNull) {
  StringArray a;
  push(a, "");
  push(a, nullptr);
  push(a, "Abc");
  EXPECT_EQ(a.data[0], nullptr);
  EXPECT_EQ(a.data[1], nullptr);
  EXPECT_EQ(find(a, ""), 0);
  EXPECT_EQ(find(a, nullptr), 0);
  EXPECT_EQ(find(a, "abc"), -1);
  EXPECT_EQ(find(a, "Abc"), 2);
  EXPECT_EQ(find(a, a.data[2]), 2);

  const char* source = "copied";
  push(a, source);
  EXPECT_NE(a.data[3], source);
  EXPECT_EQ(at(a, 3), "copied");
}

TEST(StringArrayOwnership, RemovalFreesAndNullsVacatedSlots) {
  StringArray a;
  push(a, "one");
  push(a, "two");
  push(a, "three");
  remove_at(a, 0);
  EXPECT_EQ(a.count, 2);
  EXPECT_EQ(at(a, 0), "two");
  EXPECT_EQ(a.data[2], nullptr);
  pop(a);
  EXPECT_EQ(a.data[1], nullptr);
  EXPECT_EQ(remove_value(a, "missing"), -1);

  insert(a, 0, "zero");
  set(a, 1, "");
  EXPECT_NE(a.data[1], nullptr);  // set keeps a copy of ""
  EXPECT_EQ(at(a, 1), "");
  set(a, 0, nullptr);
  EXPECT_EQ(a.data[0], nullptr);
  set(a, 5, "ignored");
  move(a, 0, 1);
  EXPECT_EQ(a.data[1], nullptr);

  push(a, "x");
  clear(a);
  EXPECT_EQ(a.count, 0);
  for (int i = 0; i < a.capacity; ++i) EXPECT_EQ(a.data[i], nullptr);
  push(a, "y");
  release(a);  // leak checking verifies the strings are freed
  EXPECT_EQ(a.data, nullptr);
}
