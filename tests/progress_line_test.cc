#include "engine/progress_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quillmend {
namespace {

TEST(ProgressLineTest, ShowsNothingForTheFirstSecond) {
  std::ostringstream console;
  double now = 0;
  progress_line progress(console, true, 1000, [&now] { return now; });
  now = 0.9;
  progress.update(500);
  progress.erase();
  EXPECT_EQ(console.str(), "");
}

TEST(ProgressLineTest, RewritesInPlaceAndErases) {
  std::ostringstream console;
  double now = 0;
  progress_line progress(console, true, 1000, [&now] { return now; });
  now = 1.5;
  progress.update(50);
  progress.update(59);  // still 5%: nothing new
  progress.update(420);
  progress.erase();
  EXPECT_EQ(console.str(), "   5%\b\b\b\b\b  42%\b\b\b\b\b     \b\b\b\b\b");
}

TEST(ProgressLineTest, DisabledWritesNothing) {
  for (const auto& c :
       {std::make_pair(false, std::int64_t{1000}), std::make_pair(true, std::int64_t{-1}),
        std::make_pair(true, std::int64_t{0})}) {
    std::ostringstream console;
    double now = 0;
    progress_line progress(console, c.first, c.second, [&now] { return now; });
    now = 5;
    progress.update(10);
    progress.erase();
    EXPECT_EQ(console.str(), "") << c.first << " " << c.second;
  }
}

}  // namespace
}  // namespace quillmend
