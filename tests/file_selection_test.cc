#include "common/file_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/run_script.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

using paths = std::vector<std::string>;

TEST(FileSelectionTest, PatternsAgainstATree) {
  fake_platform os;
  for (const char* file :
       {"src\\a.htm", "src\\B.HTM", "src\\c.txt", "src\\.hidden.htm", "src\\.dot\\x.htm",
        "src\\docs\\index.htm", "src\\docs\\deep\\index.htm", "src\\docs\\deep\\p.html",
        "src\\other\\index.htm", "src\\out\\gen.htm", "src\\zz.ZIP"})
    os.add_file(file, "x");
  os.add_folder("src\\empty");
  const struct {
    const char* pattern;
    const char* left_out;
    paths expected;
  } cases[] = {
      {"*.htm", "", {"B.HTM", "a.htm"}},
      {"?.htm", "", {"B.HTM", "a.htm"}},
      {"*.zip", "", {"zz.ZIP"}},
      {"**\\*.htm",
       "",
       {"B.HTM", "a.htm", "docs\\deep\\index.htm", "docs\\index.htm", "other\\index.htm",
        "out\\gen.htm"}},
      // The target folder inside the source is left out.
      {"**\\*.htm",
       "src\\out",
       {"B.HTM", "a.htm", "docs\\deep\\index.htm", "docs\\index.htm",
        "other\\index.htm"}},
      {"docs\\**\\index.htm", "", {"docs\\deep\\index.htm", "docs\\index.htm"}},
      {"docs\\**",
       "",
       {"docs\\deep\\index.htm", "docs\\deep\\p.html", "docs\\index.htm"}},
      {"*\\index.htm", "", {"docs\\index.htm", "other\\index.htm"}},
      {"D*\\*\\*.HTML", "", {"docs\\deep\\p.html"}},
      {"docs/*.htm", "", {"docs\\index.htm"}},
      {"**\\deep\\**\\*", "", {"docs\\deep\\index.htm", "docs\\deep\\p.html"}},
      {"*.none", "", {}},
      {"empty\\*", "", {}},
  };
  for (const auto& c : cases) {
    paths found;
    EXPECT_TRUE(select_files(os, "src", c.pattern, c.left_out, found).is_ok())
        << c.pattern;
    EXPECT_EQ(found, c.expected) << c.pattern << " without " << c.left_out;
  }
}

TEST(FileSelectionTest, AFolderThatCannotBeListedFails) {
  fake_platform os;
  paths found;
  EXPECT_TRUE(select_files(os, "missing", "*", "", found).is_not_found());
  EXPECT_TRUE(found.empty());
}

TEST(FileSelectionTest, AFolderInsideAnother) {
  fake_platform os;
  const struct {
    const char* inner;
    const char* outer;
    bool inside;
  } cases[] = {
      {"site\\out", "site", true},   {"site/out", "site", true}, {"site", "site", false},
      {"site2\\out", "site", false}, {"sites", "site", false},   {"\\out", "\\", true},
      {"out", "\\", false},          {"other", "site", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lies_inside(os, c.inner, c.outer), c.inside)
        << c.inner << " in " << c.outer;
  // Windows tells paths apart without letter case.
  os.system = platform_kind::windows;
  EXPECT_TRUE(lies_inside(os, "SITE\\Out", "site"));
}

TEST(FileSelectionTest, PatternsAndTheirFolders) {
  EXPECT_TRUE(is_pattern("*.htm"));
  EXPECT_TRUE(is_pattern("a?.txt"));
  EXPECT_FALSE(is_pattern("docs\\a.txt"));
  const struct {
    const char* path;
    const char* folder;
    const char* pattern;
  } cases[] = {
      {"d:\\site\\**\\*.htm", "d:\\site", "**\\*.htm"},
      {"*.htm", "", "*.htm"},
      {"site/a/b*.htm", "site/a", "b*.htm"},
      {"\\*.htm", "\\", "*.htm"},
      {"plain.htm", "plain.htm", ""},
  };
  for (const auto& c : cases) {
    std::string folder, pattern;
    split_at_first_wildcard(c.path, folder, pattern);
    EXPECT_EQ(folder, c.folder) << c.path;
    EXPECT_EQ(pattern, c.pattern) << c.path;
  }
}

// A name line that is a pattern is handled as if each selected file's path
// were written on a line of its own.
TEST(FileSelectionTest, AReplaceLineWithAPattern) {
  fake_platform os;
  os.add_file("src\\a.htm", "old");
  os.add_file("src\\sub\\b.htm", "old old");
  os.add_file("src\\c.txt", "old");
  os.add_file("script",
              "[txt_content_replace]\nold\nnew\nsrc\nout\n  **\\*.htm\n*.none\n");
  const char* const args[] = {"quillmend", "script"};
  EXPECT_EQ(run_script(2, args, os), 0);
  EXPECT_EQ(os.files["out\\a.htm"], "new");
  EXPECT_EQ(os.files["out\\sub\\b.htm"], "new new");
  EXPECT_FALSE(os.exists("out\\c.txt"));
  EXPECT_EQ(os.out.str(),
            "src\\a.htm to out\\a.htm successed!\n"
            "src\\sub\\b.htm to out\\sub\\b.htm successed!\n"
            "open src\\*.none failed.\n\ntxt_content_replace error.\n");
  EXPECT_NE(os.err.str().find("script:7: src\\*.none: no regular file matches"),
            std::string::npos)
      << os.err.str();
}

// Each target of a pattern gets the record; a refused one does not keep the
// others from theirs, and the record fails.
TEST(FileSelectionTest, ASpliceIntoEveryTargetOfAPattern) {
  fake_platform os;
  os.add_file("menu", "B\nnew\nE\n");
  os.add_file("site\\a.htm", "B\nold\nE\n");
  os.add_file("site\\b.htm", "B\nno end\n");
  os.add_file("site\\c.htm", "x\nB\nold\nE\n");
  os.add_file("script", "[txt_content_replace_txt]\nB\nE\nmenu\nB\nE\nsite\\*.htm\n");
  const char* const args[] = {"quillmend", "script"};
  EXPECT_EQ(run_script(2, args, os), 0);
  EXPECT_EQ(os.files["site\\a.htm"], "B\nnew\nE\n");
  EXPECT_EQ(os.files["site\\b.htm"], "B\nno end\n");
  EXPECT_EQ(os.files["site\\c.htm"], "x\nB\nnew\nE\n");
  EXPECT_EQ(os.out.str(), "txt_content_replace_txt error.\n");
  EXPECT_NE(os.err.str().find("site\\b.htm (splice record from line 2): the target has a "
                              "start marker but no end marker"),
            std::string::npos)
      << os.err.str();
}

}  // namespace
}  // namespace quillmend
