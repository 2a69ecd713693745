// The portable pieces: the Windows runtime's random numbers, the re-entrant lock, path joining and the
// search pattern rule.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/platform.h"

TEST(PortableRandom, ReproducesTheWindowsRuntime) {
  platform_srand(1);
  const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
  for (int32_t value : expected) EXPECT_EQ(platform_rand(), value);

  platform_srand(12345);
  EXPECT_EQ(platform_rand(), 7584);
  EXPECT_EQ(platform_rand(), 19164);
  EXPECT_EQ(platform_rand(), 25795);

  // The 32-bit state wraps many times over a long run; the values stay 15-bit.
  platform_srand(1);
  int32_t value = 0;
  for (int i = 0; i < 1000; ++i) {
    value = platform_rand();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
  EXPECT_EQ(value, 12249);
}

TEST(PortableLock, IsReentrantForItsHolderOnly) {
  PlatformLock lock;
  platform_lock(&lock);
  EXPECT_TRUE(platform_try_lock(&lock));  // the holder takes it again

  auto try_from_other_thread = [&lock] {
    std::atomic<bool> taken{false};
    std::thread other([&] {
      taken = platform_try_lock(&lock);
      if (taken) platform_unlock(&lock);
    });
    other.join();
    return taken.load();
  };
  EXPECT_FALSE(try_from_other_thread());
  platform_unlock(&lock);
  EXPECT_FALSE(try_from_other_thread());  // still held once
  platform_unlock(&lock);
  EXPECT_TRUE(try_from_other_thread());
}

TEST(PortablePaths, JoinsWithOneSeparator) {
  char out[32];
  ASSERT_TRUE(platform_join_path(out, sizeof out, "base", "anim"));
  EXPECT_STREQ(out, "base" PLATFORM_PATH_SEPARATOR_TEXT "anim");
  ASSERT_TRUE(platform_join_path(out, sizeof out, "base" PLATFORM_PATH_SEPARATOR_TEXT, "tmp"));
  EXPECT_STREQ(out, "base" PLATFORM_PATH_SEPARATOR_TEXT "tmp");
  ASSERT_TRUE(platform_join_path(out, sizeof out, "", "a.dat"));
  EXPECT_STREQ(out, "a.dat");

  // In place, as the program builds "base", "anim", then a title.
  char path[16] = "base";
  ASSERT_TRUE(platform_join_path(path, sizeof path, path, "anim"));
  ASSERT_TRUE(platform_join_path(path, sizeof path, path, "a.dat"));
  EXPECT_STREQ(path, "base" PLATFORM_PATH_SEPARATOR_TEXT "anim" PLATFORM_PATH_SEPARATOR_TEXT "a.dat");
  EXPECT_EQ(strlen(path), 15u);  // exactly fills the buffer with its terminator

  // A path that does not fit is refused, never cut.
  EXPECT_FALSE(platform_join_path(path, sizeof path, path, "x"));
  EXPECT_STREQ(path, "");
  EXPECT_FALSE(platform_join_path(out, 0, "a", "b"));
}

TEST(PortablePatterns, MatchLikeWindows) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.dat", "a.dat", true},     {"*.dat", "X.DAT", true},      {"*.dat", "Mixed.Dat", true},
      {"*.dat", ".dat", true},      {"*.dat", "a.dat.bak", false}, {"*.dat", "adat", false},
      {"*.dat", "a.data", false},   {"*.dat", "a.kar", false},     {"*.*", "noext", true},
      {"*.*", "a.b.c", true},       {"*", "anything", true},       {"*.kar", "x.KAR", true},
      {"a?c.dat", "abc.dat", true}, {"a?c.dat", "ac.dat", false},  {"exact.dat", "EXACT.dat", true},
      {"*a*b", "xxaYYb", true},     {"*a*b", "xxaYYbc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform_match_pattern(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
  }
}
