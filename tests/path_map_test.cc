#include "platform/path_map.h"

#include <gtest/gtest.h>

namespace quillmend {
namespace {

TEST(PathMapTest, MapsScriptPathsToPosix) {
  const struct {
    const char* script_path;
    const char* expected;
  } cases[] = {
      {"sub\\a.txt", "sub/a.txt"},
      {"a.txt", "a.txt"},
      {"c:\\temp\\old", "/drives/c/temp/old"},
      {"D:\\site\\out\\x.htm", "/drives/d/site/out/x.htm"},
      {"c:", "/drives/c"},
      {"c:x.txt", "/drives/c/x.txt"},
      {"\\abs\\path", "/abs/path"},
      {"already/posix", "already/posix"},
      {"1:\\not a drive", "1:/not a drive"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(map_to_posix(c.script_path, "/drives"), c.expected) << c.script_path;
}

TEST(PathMapTest, RecognisesBareDrives) {
  EXPECT_TRUE(is_bare_drive("c:"));
  EXPECT_TRUE(is_bare_drive("Z:"));
  EXPECT_FALSE(is_bare_drive("c:\\"));
  EXPECT_FALSE(is_bare_drive("cc"));
  EXPECT_FALSE(is_bare_drive(":"));
}

TEST(PathMapTest, DrivesRootComesFromTheEnvironment) {
  EXPECT_EQ(drives_root_from("/mnt", "/xdg", "/home/u"), "/mnt");
  EXPECT_EQ(drives_root_from("", "/xdg", "/home/u"), "/xdg/quillmend/drives");
  EXPECT_EQ(drives_root_from(nullptr, nullptr, "/home/u"),
            "/home/u/.local/share/quillmend/drives");
  EXPECT_EQ(drives_root_from(nullptr, "", "/home/u"),
            "/home/u/.local/share/quillmend/drives");
  // Never the root folder's "/.local/share" when no home is known.
  EXPECT_EQ(drives_root_from(nullptr, nullptr, nullptr), "");
  EXPECT_EQ(drives_root_from("", "", ""), "");
  EXPECT_EQ(drives_root_from(nullptr, "/xdg", nullptr), "/xdg/quillmend/drives");
}

}  // namespace
}  // namespace quillmend
