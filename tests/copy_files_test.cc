#include "copy/copy_files.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/run_script.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

class CopyFilesTest : public ::testing::Test {
 protected:
  CopyFilesTest() {
    os.add_file("src\\index.htm", "i");
    os.add_file("src\\Index2.HTM", "I");
    os.add_file("src\\a.htm.htm", "aa");
    os.add_file("src\\keep.txt", "k");
    os.add_file("src\\.hidden.htm", "h");
    os.add_folder("out");
    state.source_dir = "src";
    state.target_dir = "out";
    state.operation_mode = section_mode::copy_file;
  }

  bool copy(const std::string& line) {
    state.current_line = line;
    reporter report(os, "script");
    return dispatch_line(state, os, report);
  }

  script_state state;
  fake_platform os;
};

TEST_F(CopyFilesTest, BothOperatorFormsRenameAlike) {
  for (const char* line :
       {"*.htm > .html", ".html < *.htm", "  *.htm \t>\t.html  extra"}) {
    fake_platform fresh;
    fresh.files = os.files;
    fresh.folders = os.folders;
    state.current_line = line;
    reporter report(fresh, "script");
    ASSERT_TRUE(dispatch_line(state, fresh, report)) << line;
    EXPECT_EQ(fresh.files["out\\index.html"], "i") << line;
    EXPECT_EQ(fresh.files["out\\Index2.html"], "I") << line;
    EXPECT_EQ(fresh.files["out\\a.html.html"], "aa") << line;
    EXPECT_FALSE(fresh.exists("out\\keep.txt")) << line;
    EXPECT_FALSE(fresh.exists("out\\.hidden.html")) << line;
    EXPECT_EQ(
        fresh.out.str(),
        "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n");
    EXPECT_EQ(state.source_dir, "src");
    EXPECT_EQ(state.target_dir, "out");
    EXPECT_TRUE(state.ignore_case);
  }
}

TEST_F(CopyFilesTest, NamesWithoutTheLiteralPartKeepTheirNames) {
  os.add_file("src\\plain.htm", "p");
  ASSERT_TRUE(copy("\"*plain*\" > X"));
  EXPECT_EQ(os.files["out\\X.htm"], "p");
  ASSERT_TRUE(copy("\"keep.txt\" > other"));
  // A quoted pattern without an outer star keeps its quotes, which never
  // occur in a name: the file keeps its own name.
  EXPECT_EQ(os.files["out\\keep.txt"], "k");
}

// The whole alphabet folds, its last letter included.
TEST_F(CopyFilesTest, LetterCaseIsIgnoredFromAToZ) {
  os.add_file("src\\a.ZIP", "a");
  os.add_file("src\\b.zip", "b");
  os.add_file("src\\c.Zip", "c");
  os.add_file("src\\AZ.txt", "az");
  ASSERT_TRUE(copy("*.zip > .bak"));
  EXPECT_EQ(os.files["out\\a.bak"], "a");
  EXPECT_EQ(os.files["out\\b.bak"], "b");
  EXPECT_EQ(os.files["out\\c.bak"], "c");
  ASSERT_TRUE(copy("az* > Za"));
  EXPECT_EQ(os.files["out\\Za.txt"], "az");
}

TEST_F(CopyFilesTest, APatternWithASlashListsThatFolder) {
  os.add_file("src\\sub\\x.htm", "x");
  ASSERT_TRUE(copy("sub/*.htm > .html"));
  EXPECT_EQ(os.files["c:\\temp\\old\\myCopyTemp.txt"], "x.htm\n");
  // Without an outer star the whole pattern is the literal part, which no
  // bare name holds: the name stays.
  EXPECT_EQ(os.files["c:\\temp\\new\\myCopyTemp.txt"], "x.htm\n");
}

// "**\" copies a tree: the same folders under the target, made where
// missing, and only file names renamed, never a folder holding the text.
TEST_F(CopyFilesTest, ATreeIsCopiedIntoTheSameFolders) {
  os.add_file("src\\docs.htm\\page.htm", "p");
  os.add_file("src\\docs.htm\\deep\\x.HTM", "x");
  os.add_file("src\\docs.htm\\keep.txt", "k");
  ASSERT_TRUE(copy("**\\*.htm > .html"));
  EXPECT_EQ(os.files["out\\index.html"], "i");
  EXPECT_EQ(os.files["out\\a.html.html"], "aa");
  EXPECT_EQ(os.files["out\\docs.htm\\page.html"], "p");
  EXPECT_EQ(os.files["out\\docs.htm\\deep\\x.html"], "x");
  EXPECT_FALSE(os.exists("out\\docs.html"));
  EXPECT_FALSE(os.exists("out\\docs.htm\\keep.txt"));
  EXPECT_FALSE(os.exists("out\\.hidden.html"));
}

TEST_F(CopyFilesTest, APatternWithoutALiteralPartFails) {
  EXPECT_FALSE(copy("** > x"));
  EXPECT_NE(os.err.str().find("it has no literal part"), std::string::npos)
      << os.err.str();
  EXPECT_EQ(os.out.str(), "") << "no engine line for the list";
}

TEST_F(CopyFilesTest, BlankLinesAreSkipped) {
  for (const char* line : {"", "   ", "\t"}) {
    EXPECT_TRUE(copy(line)) << line;
    EXPECT_EQ(os.out.str(), "");
  }
}

TEST_F(CopyFilesTest, MalformedLinesFail) {
  for (const char* line : {"a.txt to b.txt", "*.htm>.html", "*.htm >", "*.htm", "< x"}) {
    EXPECT_FALSE(copy(line)) << line;
  }
}

TEST_F(CopyFilesTest, FailedCopiesAreReportedAndTheLineGoesOn) {
  state.target_dir = "no-such-folder";
  EXPECT_TRUE(copy("*.htm > .html"));
  EXPECT_NE(os.err.str().find(
                "copy \"src\\index.htm\" to \"no-such-folder\\index.html\" failed"),
            std::string::npos)
      << os.err.str();
  EXPECT_NE(os.err.str().find("a.htm.htm"), std::string::npos);
}

TEST_F(CopyFilesTest, NoMatchCopiesNothing) {
  EXPECT_TRUE(copy("*.none > .x"));
  EXPECT_NE(os.err.str().find("File Not Found"), std::string::npos);
  EXPECT_EQ(os.folders.count("out"), 1u);
}

TEST_F(CopyFilesTest, StaleListsAreNeverUsed) {
  os.add_file("c:\\temp\\old\\myCopyTemp.txt", "stale.htm\n");
  os.add_file("c:\\temp\\new\\myCopyTemp.txt", "stale.html\n");
  os.fail_call("open_replacement", 1);  // the listing cannot be written
  EXPECT_FALSE(copy("*.htm > .html"));
  EXPECT_FALSE(os.exists("out\\stale.html"));
}

// A new list left by an earlier line must not pair with a fresh listing when
// renaming the names fails.
TEST_F(CopyFilesTest, AFailedRenameOfTheNamesCopiesNothing) {
  os.add_file("c:\\temp\\new\\myCopyTemp.txt", "stale1.html\nstale2.html\nstale3.html\n");
  os.fail_call("open_replacement", 2);  // the listing is written, its rename is not
  EXPECT_FALSE(copy("*.htm > .html"));
  EXPECT_EQ(os.files["c:\\temp\\old\\myCopyTemp.txt"],
            "Index2.HTM\na.htm.htm\nindex.htm\n");
  for (const char* name : {"out\\stale1.html", "out\\stale2.html", "out\\stale3.html"})
    EXPECT_FALSE(os.exists(name)) << name;
}

}  // namespace
}  // namespace quillmend
