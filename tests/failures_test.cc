// Failures that let the run go on (a copy that cannot be made, a splice's
// copy-back) must still end the run as a failure, while processing goes on
// as before; and failures are reported for what really failed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/run_script.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct failure_case {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  std::string script;
  // Makes one call fail: operation and its number, "" for none.
  std::string failing_operation;
  int failing_call;
  int exit_status;
  std::string expected_out;
  std::vector<std::string> expected_err;  // parts of it, in any order
  std::vector<std::pair<std::string, std::string>> expected_files;
};

TEST(RunOutcomeTest, FailuresThatGoOnEndTheRunAsAFailure) {
  const char* const kListed =
      "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n";
  const char* const kPause = "Press any key to continue . . . \n";
  const failure_case cases[] = {
      {"every copy made",
       {{"src\\a.htm", "A"}, {"out\\keep", ""}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       "",
       0,
       1,
       std::string(kListed) + kPause,
       {},
       {{"out\\a.html", "A"}}},
      {"copies into a missing folder: each reported, the script goes on",
       {{"src\\a.htm", "A"}, {"src\\b.htm", "B"}},
       "[copy_file]\nsrc\nmissing\n*.htm > .html\n[system_command]\necho after\n",
       "",
       0,
       0,
       std::string(kListed) + kPause,
       {"copy \"src\\a.htm\" to \"missing\\a.html\" failed",
        "copy \"src\\b.htm\" to \"missing\\b.html\" failed"},
       {}},
      {"one copy of two fails, the other is made",
       {{"src\\a.htm", "A"}, {"src\\b.htm", "B"}, {"out\\keep", ""}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       // Commits: the old list, the new list, then one per copy.
       "commit",
       3,
       0,
       std::string(kListed) + kPause,
       {"copy \"src\\a.htm\" to \"out\\a.html\" failed: injected commit error"},
       {{"out\\b.html", "B"}}},
      {"a splice whose copy-back fails",
       {{"menu.htm", "<m>\nnew\n</m>\n"}, {"page.htm", "<m>\nold\n</m>\n"}},
       "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n",
       // Commits: the work file, then the copy-back.
       "commit",
       2,
       0,
       kPause,
       {"page.htm (splice record from line 2): the spliced copy could not replace it: "
        "injected commit error"},
       {{"page.htm", "<m>\nold\n</m>\n"}}},
      {"a source folder that cannot be listed",
       {{"src\\a.htm", "A"}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       "list_matching",
       1,
       0,
       std::string(kListed) + kPause,
       {"dir \"src\\*.htm\": injected listing error"},
       {}},
      {"a source folder without a match is no failure",
       {{"src\\a.txt", "A"}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       "",
       0,
       1,
       std::string(kListed) + kPause,
       {"dir \"src\\*.htm\": File Not Found"},
       {}},
      {"two names that become one: the first is copied, the second reported",
       {{"src\\x.HTM", "upper"}, {"src\\x.htm", "lower"}, {"out\\keep", ""}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       "",
       0,
       0,
       std::string(kListed) + kPause,
       {"copy \"src\\x.htm\" to \"out\\x.html\" failed: \"x.HTM\" is copied to the "
        "same name"},
       {{"out\\x.html", "upper"}}},
      {"a pattern without a literal part fails the copy line itself",
       {{"src\\a.htm", "A"}},
       "[copy_file]\nsrc\nout\n** > x\n",
       "",
       0,
       0,
       "\ncopy_file error.\n",
       {"pattern **: it has no literal part that the new name could replace"},
       {}},
      {"command lines stay unchecked",
       {},
       "[system_command]\nfalse\n",
       "",
       0,
       1,
       kPause,
       {},
       {}},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_platform os;
    for (const auto& file : c.files) os.add_file(file.first, file.second);
    os.add_file("script", c.script);
    if (!c.failing_operation.empty()) os.fail_once(c.failing_operation, c.failing_call);
    const char* const args[] = {"quillmend", "script"};
    EXPECT_EQ(run_script(2, args, os), c.exit_status);
    EXPECT_EQ(os.out.str(), c.expected_out);
    for (const std::string& part : c.expected_err)
      EXPECT_TRUE(contains(os.err.str(), part)) << part << " in " << os.err.str();
    if (c.expected_err.empty()) {
      EXPECT_EQ(os.err.str(), "");
    }
    for (const auto& file : c.expected_files)
      EXPECT_EQ(os.files[file.first], file.second) << file.first;
    EXPECT_FALSE(contains(os.out.str(), "can't be NULL"));
  }
}

TEST(RunOutcomeTest, AReadErrorIsReportedAsOneAndLeavesTheTarget) {
  fake_platform os;
  os.add_file("src\\a.txt", "one two one");
  os.add_file("out\\a.txt", "old");
  os.add_file("script", "[txt_content_replace]\none\n1\nsrc\nout\na.txt\n");
  // The script is read whole by the first read; the second is the data's.
  os.fail_once("read", 2);
  const char* const args[] = {"quillmend", "script"};
  EXPECT_EQ(run_script(2, args, os), 0);
  // The console keeps its fixed text; the located line says what failed.
  EXPECT_EQ(os.out.str(),
            "src\\a.txt write out\\a.txt failed.\n\ntxt_content_replace error.\n");
  EXPECT_TRUE(contains(os.err.str(), "src\\a.txt: read failed: injected read error"))
      << os.err.str();
  EXPECT_FALSE(contains(os.err.str(), "out\\a.txt")) << os.err.str();
  EXPECT_EQ(os.files["out\\a.txt"], "old");
}

}  // namespace
}  // namespace quillmend
