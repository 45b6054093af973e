// End-to-end: the real binary where the system gets in the way (a full
// disk, folders where files should be, a kill in the middle of a write) and
// on inputs that are hostile or huge. Whatever happens, no target is ever
// left half written, and the binary never dies of a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "tests/e2e_harness.h"
#include "tests/e2e_inputs.h"

namespace quillmend_e2e {
namespace {

using namespace std::string_literals;

const char kPause[] = "Press any key to continue . . . \n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool is_partial_file(const std::string& name) {
  return contains(name, ".quillmend-partial-");
}

// `err` has the binary's own words for a failure, `own_words`, followed by
// the system's reason: `posix_reason` on POSIX. Windows words its reasons
// differently from one version to the next (and Wine its own way), so there
// any reason will do, as long as there is one.
testing::AssertionResult reports(const std::string& err, const std::string& own_words,
                                 const std::string& posix_reason) {
  const std::size_t at = err.find(own_words);
  if (at == std::string::npos) return testing::AssertionFailure() << "no " << own_words;
  if (!testing_windows_build()) {
    if (err.compare(at + own_words.size(), posix_reason.size(), posix_reason) == 0)
      return testing::AssertionSuccess();
    return testing::AssertionFailure() << "not the reason " << posix_reason;
  }
  std::string reason = err.substr(at + own_words.size());
  reason = reason.substr(0, reason.find('\n'));
  if (!reason.empty() && reason.back() == '\r') reason.pop_back();
  if (reason.empty()) return testing::AssertionFailure() << "no reason";
  return testing::AssertionSuccess();
}

// A text of `size` bytes that no find text below occurs in.
std::string filler(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "lorem ipsum dolor sit amet\n";
  text.resize(size);
  return text;
}

// A run that meets a full disk: the file size limit stands for it.
struct full_disk_case {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  std::string script;
  long file_size_limit;
  int exit_status;
  std::string expected_out;  // with LF line ends
  const char* expected_err;  // the binary's own words, "" for none
  const char* posix_reason;  // the system's reason after them
  const char* target;        // relative, '/' separators
  const char* target_folder;
};

void check_full_disk(const full_disk_case& c) {
  temp_folder dir;
  for (const auto& file : c.files) dir.write(file.first, file.second);
  const std::string old_content =
      std::find_if(c.files.begin(), c.files.end(), [&](const auto& file) {
        return file.first == c.target;
      })->second;
  const std::vector<std::string> names_before = dir.list(c.target_folder);
  run_options options;
  options.file_size_limit = c.file_size_limit;
  const run_result result = dir.run_script(c.script, options);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, c.exit_status);
  EXPECT_EQ(result.out, as_written(c.expected_out));
  if (*c.expected_err != '\0') {
    EXPECT_TRUE(reports(result.err, c.expected_err, c.posix_reason)) << result.err;
  }
  EXPECT_TRUE(dir.read(c.target) == old_content) << "the target changed";
  // No temporary file left behind, here or beside the work files.
  EXPECT_EQ(dir.list(c.target_folder), names_before);
  for (const char* work : {"c:\\temp\\old", "c:\\temp\\new"})
    for (const std::string& name : list_folder(dir.drive_c(work)))
      EXPECT_FALSE(is_partial_file(name)) << work << "\\" << name;
}

TEST(RobustnessE2E, FullDiskLeavesEveryTargetAsItWas) {
  const std::string big = filler(200 * 1024) + "needle";
  const std::string small = filler(10 * 1024) + "needle";
  const char* const copied =
      "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n"
      "Press any key to continue . . . \n";
  const full_disk_case cases[] = {
      {"replace, failing while streaming",
       {{"src/a.txt", big}, {"out/a.txt", "old target"}},
       "[txt_content_replace]\nneedle\npin\nsrc\nout\na.txt\n",
       4096,
       0,
       "src\\a.txt write out\\a.txt failed.\n\ntxt_content_replace error.\n",
       "",
       "",
       "out/a.txt",
       "out"},
      {"replace, failing when the last block is flushed",
       {{"src/a.txt", small}, {"out/a.txt", "old target"}},
       "[txt_content_replace_no_case]\nNEEDLE\npin\nsrc\nout\na.txt\n",
       4096,
       0,
       "src\\a.txt write out\\a.txt failed.\n\ntxt_content_replace_no_case error. \n",
       "",
       "",
       "out/a.txt",
       "out"},
      {"replace where every byte is an occurrence",
       {{"src/a.txt", std::string(300000, 'x')}, {"out/a.txt", "keep\n"}},
       "[txt_content_replace]\nx\ny\nsrc\nout\na.txt\n",
       100000,
       0,
       "src\\a.txt write out\\a.txt failed.\n\ntxt_content_replace error.\n",
       "",
       "",
       "out/a.txt",
       "out"},
      {"replace of a multi-MiB file, failing mid-file",
       {{"src/big.txt", large_input()}, {"out/big.txt", "the old target\n"}},
       "[txt_content_replace]\nold\nnew\nsrc\nout\nbig.txt\n",
       1024 * 1024,
       0,
       "src\\big.txt write out\\big.txt failed.\n\ntxt_content_replace error.\n",
       "",
       "",
       "out/big.txt",
       "out"},
      {"replace in place",
       {{"site/a.txt", big}},
       "[txt_content_replace]\nneedle\npin\nsite\nsite\na.txt\n",
       4096,
       0,
       "site\\a.txt write site\\a.txt failed.\n\ntxt_content_replace error.\n",
       "",
       "",
       "site/a.txt",
       "site"},
      {"splice with a large block",
       {{"site/menu.htm", "<m>\n" + big + "\n</m>\n"},
        {"site/page.htm", "head\n<m>\nold\n</m>\n"}},
       "[txt_content_replace_txt]\n<m>\n</m>\nsite\\menu.htm\n<m>\n</"
       "m>\nsite\\page.htm\n",
       4096,
       0,
       "txt_content_replace_txt error.\n",
       "",
       "",
       "site/page.htm",
       "site"},
      {"copy of a large file",
       {{"src/a.htm", big}, {"out/a.html", "old target"}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       4096,
       0,
       copied,
       "copy \"src\\a.htm\" to \"out\\a.html\" failed: ",
       "File too large",
       "out/a.html",
       "out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    check_full_disk(c);
  }
}

// Lets uid 65534 into the test's folder and read its files; it can write
// nowhere there.
void open_to_nobody(const temp_folder& dir, const std::vector<std::string>& folders,
                    const std::vector<std::string>& files) {
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  for (const std::string& folder : folders)
    ASSERT_EQ(::chmod(dir.at(folder).c_str(), 0755), 0) << folder;
  for (const std::string& file : files)
    ASSERT_EQ(::chmod(dir.at(file).c_str(), 0644), 0) << file;
}

TEST(HarnessE2E, RunAsNobodyDropsEveryIdOfRoot) {
  const std::string why_not = cannot_run_as_nobody();
  if (!why_not.empty()) GTEST_SKIP() << why_not;
  temp_folder dir;
  dir.write("script.txt", "[system_command]\nid -u\nid -g\nid -G\n");
  open_to_nobody(dir, {}, {"script.txt"});
  run_options options;
  options.arguments = {"script.txt"};
  options.run_as_nobody = true;
  const run_result result = dir.run(options);
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_EQ(result.out, "65534\n65534\n65534\nPress any key to continue . . . \n");
}

TEST(RobustnessE2E, UnwritableTargetFolderIsReported) {
  // Root writes into a read-only folder anyway, so root runs the binary as
  // nobody, a user without rights in the test's folder.
  run_options options;
  if (::geteuid() == 0) {
    const std::string why_not = cannot_run_as_nobody();
    if (!why_not.empty())
      GTEST_SKIP() << "running as root, which writes into a read-only folder anyway, "
                      "and "
                   << why_not;
    options.run_as_nobody = true;
  }
  temp_folder dir;
  dir.write("src/a.txt", "one");
  dir.write("out/a.txt", "old");
  open_to_nobody(dir, {"src"}, {"src/a.txt", "out/a.txt"});
  ASSERT_EQ(::chmod(dir.at("out").c_str(), 0555), 0);
  const run_result result =
      dir.run_script("[txt_content_replace]\none\n1\nsrc\nout\na.txt\n", options);
  ::chmod(dir.at("out").c_str(), 0755);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, as_written("src\\a.txt open out\\a.txt failed.\n\n"
                                   "txt_content_replace error.\n"));
  EXPECT_EQ(dir.read("out/a.txt"), "old");
  EXPECT_EQ(dir.list("out"), std::vector<std::string>{"a.txt"});
}

TEST(RobustnessE2E, FoldersWhereFilesShouldBe) {
  const struct {
    const char* name;
    std::vector<std::string> folders;
    std::string script;
    int exit_status;
    const char* expected_out;
    const char* expected_err;  // the binary's own words, "" for none
    const char* posix_reason;  // the system's reason after them
  } cases[] = {
      {"replace target is a folder",
       {"out/a.txt"},
       "[txt_content_replace]\none\n1\nsrc\nout\na.txt\n",
       0,
       "src\\a.txt open out\\a.txt failed.\n\ntxt_content_replace error.\n",
       "",
       ""},
      {"replace input is a folder",
       {"src/d"},
       "[txt_content_replace]\none\n1\nsrc\nout\nd\n",
       0,
       "open src\\d failed.\n\ntxt_content_replace error.\n",
       "",
       ""},
      {"splice target is a folder",
       {"page"},
       "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage\n",
       0,
       "txt_content_replace_txt error.\n",
       "",
       ""},
      {"copy source is a folder",
       {"src/d.txt"},
       "[copy_file]\nsrc\nout\nd.txt > e.txt\n",
       0,
       "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n"
       "Press any key to continue . . . \n",
       "copy \"src\\d.txt\" to \"out\\e.txt\" failed: ",
       "Is a directory"},
      {"copy target is a folder",
       {"out/a.txt"},
       "[copy_file]\nsrc\nout\na.txt > a.txt\n",
       0,
       "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n"
       "Press any key to continue . . . \n",
       "copy \"src\\a.txt\" to \"out\\a.txt\" failed: ",
       "Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder dir;
    dir.write("src/a.txt", "one");
    dir.write("menu.htm", "<m>\nnew\n</m>\n");
    dir.write("out/keep.txt", "k");
    for (const std::string& folder : c.folders) make_dirs(dir.at(folder));
    const run_result result = dir.run_script(c.script);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_EQ(result.out, as_written(c.expected_out));
    if (*c.expected_err != '\0') {
      EXPECT_TRUE(reports(result.err, c.expected_err, c.posix_reason)) << result.err;
    }
    for (const std::string& folder : c.folders) {
      struct stat info;
      EXPECT_TRUE(::stat(dir.at(folder).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
          << folder << " is no longer a folder";
      EXPECT_TRUE(dir.list(folder).empty()) << folder;
    }
    for (const std::string& name : dir.list("out")) EXPECT_FALSE(is_partial_file(name));
  }
}

std::string replace_all(std::string text, const std::string& find,
                        const std::string& replacement) {
  for (std::size_t at = text.find(find); at != std::string::npos;
       at = text.find(find, at + replacement.size()))
    text.replace(at, find.size(), replacement);
  return text;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size()))
    ++count;
  return count;
}

// One run on hostile or huge input: the files `setup` makes, the script, the
// exit status, and what `check` then finds.
struct input_case {
  const char* name;
  const char* not_on_windows;  // why the case cannot run there, or nullptr
  std::function<void(const temp_folder&)> setup;
  std::string script;
  int exit_status;
  std::function<void(const temp_folder&, const run_result&)> check;
};

// Runs each case in a folder of its own; `after_each` checks what every case
// of a table must keep to.
void run_input_cases(const std::vector<input_case>& cases,
                     const std::function<void(const temp_folder&)>& after_each = {}) {
  for (const input_case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.not_on_windows != nullptr && testing_windows_build()) {
      std::cout << "[ skipped  ] " << c.name << ": " << c.not_on_windows << std::endl;
      continue;
    }
    temp_folder dir;
    c.setup(dir);
    const run_result result = dir.run_script(c.script);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, c.exit_status)
        << result.out.substr(0, 500) << result.err.substr(0, 500);
    c.check(dir, result);
    if (after_each) after_each(dir);
  }
}

// Every byte value four times over, then CR LF, NUL and 0x1A around and
// between occurrences of "find", and a CR at the very end.
std::string every_byte() {
  std::string bytes;
  for (int round = 0; round < 4; ++round)
    for (int byte = 0; byte < 256; ++byte) bytes += static_cast<char>(byte);
  return bytes + std::string("\x1a\r\n\0find\0\x1a", 10) + "find\r";
}

TEST(RobustnessE2E, BinaryAndInvalidUtf8BytesPassUnchanged) {
  const std::string binary = every_byte();
  run_input_cases({
      {"binary bytes pass byte for byte", nullptr,
       [&](const temp_folder& dir) { dir.write("src/bin.dat", binary); },
       "[txt_content_replace]\nfind\nFOUND\nsrc\nout\nbin.dat\n", 1,
       [&](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("out/bin.dat"),
                   rewritten_text(replace_all(binary, "find", "FOUND")));
       }},
      {"invalid UTF-8 in the data and in the find text", nullptr,
       [](const temp_folder& dir) {
         dir.write("src/u.txt", "\xff\xfe\xc3\x28 \xed\xa0\x80 \xc3\x28!");
       },
       "[txt_content_replace]\n\xc3\x28\nok\nsrc\nout\nu.txt\n", 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("out/u.txt"), rewritten_text("\xff\xfe"
                                                         "ok \xed\xa0\x80 ok!"));
       }},
      {"NUL, 0x1A, CR LF and bytes above 127 beside occurrences", nullptr,
       [](const temp_folder& dir) {
         dir.write("src/bin.dat", "a\0b\x1a\r\n\xff\xe9 old \x1a\0old"s);
       },
       "[txt_content_replace]\nold\nnew\nsrc\nout\nbin.dat\n", 1,
       [](const temp_folder& dir, const run_result&) {
         // A CR LF is read as a line end and written as one on Windows too.
         EXPECT_EQ(dir.read("out/bin.dat"), "a\0b\x1a\r\n\xff\xe9 new \x1a\0new"s);
       }},
      {"ignoring case folds ASCII letters only, not bytes above 127", nullptr,
       [](const temp_folder& dir) {
         dir.write("src/l1.txt", "old\xe9 OLD\xc9 Old\xc9 \xe0\xc0");
       },
       "[txt_content_replace_no_case]\nOLD\xc9\nnew\nsrc\nout\nl1.txt\n", 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("out/l1.txt"), "old\xe9 new new \xe0\xc0");
       }},
      {"a copy is byte for byte", nullptr,
       [&](const temp_folder& dir) {
         dir.write("src/bin.dat", binary);
         make_dirs(dir.at("out"));
       },
       "[copy_file]\nsrc\nout\n*.dat > .bin\n", 1,
       [&](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(result.err, "");
         EXPECT_TRUE(dir.read("out/bin.bin") == binary);
       }},
  });
}

TEST(RobustnessE2E, HugeScriptsAndLines) {
  const std::string mega(1 << 20, 'M');
  const std::string mega_marker = "<" + std::string(1 << 20, 'k') + ">";
  const std::string mega_data(1 << 20, 'd');
  std::string many_lines = "[txt_content_replace]\none\n1\nsrc\nout\n";
  for (int i = 0; i < 100000; ++i)
    many_lines += (i % 10000 == 0) ? std::string(1, "abcd"[i / 10000 % 4]) + ".txt\n"
                                   : std::string(i % 3 + 1, ' ') + "\t\n";
  run_input_cases({
      {"a script of 100,000 lines", nullptr,
       [](const temp_folder& dir) {
         for (const char* name : {"a", "b", "c", "d"})
           dir.write(std::string("src/") + name + ".txt", std::string("one ") + name);
       },
       many_lines, 1,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(count_of(result.out, as_written("successed!\n")), 10u);
         for (const char* name : {"a", "b", "c", "d"})
           EXPECT_EQ(dir.read(std::string("out/") + name + ".txt"),
                     rewritten_text(std::string("1 ") + name));
       }},
      {"a find text of 1 MB", nullptr,
       [&](const temp_folder& dir) {
         dir.write("src/a.txt", "x" + mega + "y" + mega + mega.substr(1) + "z");
       },
       "[txt_content_replace]\n" + mega + "\nm\nsrc\nout\na.txt\n", 1,
       [&](const temp_folder& dir, const run_result&) {
         // The text after the second occurrence is one byte short of a third.
         EXPECT_EQ(dir.read("out/a.txt"), rewritten_text("xmym" + mega.substr(1) + "z"));
       }},
      {"a file name of 1 MB", nullptr, [](const temp_folder&) {},
       "[txt_content_replace]\none\n1\nsrc\nout\n" + mega + "\n", 0,
       [&](const temp_folder&, const run_result& result) {
         EXPECT_EQ(result.out, as_written("open src\\" + mega +
                                          " failed.\n\ntxt_content_replace error.\n"));
       }},
      {"markers of 1 MB and a data line of 1 MB in a splice", nullptr,
       [&](const temp_folder& dir) {
         dir.write("menu.htm", "x\n" + mega_marker + "\nnew\n" + mega_data + "\n" +
                                   mega_marker + "\n");
         dir.write("page.htm",
                   "head\n" + mega_marker + "\nold\n" + mega_marker + "\ntail\n");
       },
       "[txt_content_replace_txt]\n" + mega_marker + "\n" + mega_marker + "\nmenu.htm\n" +
           mega_marker + "\n" + mega_marker + "\npage.htm\n",
       1,
       [&](const temp_folder& dir, const run_result&) {
         EXPECT_TRUE(dir.read("page.htm") ==
                     rewritten_text("head\n" + mega_marker + "\nnew\n" + mega_data +
                                    "\n" + mega_marker + "\ntail\n"));
       }},
  });
}

// Names that a shell would act on: each would create the file "canary".
const char kShellName1[] = "a$(touch canary);b`touch canary`&|\"'%PATH%.txt";
const char kShellName2[] = "x;touch canary;.txt";
const char kShellName3[] = "$(touch canary).txt";

// Names with '|' or '"' cannot be held on Windows: files made under such a
// name from here are listed by Wine but cannot be opened there.
const char kNotAWindowsName[] = "'|' and '\"' cannot be in a Windows file name";

// What a name handed to a shell would leave behind, wherever the shell ran.
void expect_no_canary(const temp_folder& dir) {
  for (const char* folder : {"", "src/", "out/"})
    for (const char* canary : {"canary", "canary2", "canary3", "ran", "ran2"})
      EXPECT_FALSE(dir.exists(std::string(folder) + canary))
          << folder << canary << ": a name was handed to a shell";
}

// %OS% is set on every Windows machine and $HOME on every POSIX one: a name
// handed to cmd or sh would change, and the last two would run mkdir.
std::vector<std::string> interpreter_names() {
  return {"%OS%.htm",  "100%.htm",           "a&b.htm",
          "x^y.htm",   "semi;colon (1).htm", "it's.htm",
          "$HOME.htm", "$(mkdir ran).htm",   "`mkdir ran2`.htm"};
}
// Copies are byte for byte on every platform.
const char kCopiedContent[] = "one\r\ntwo\n\x1a three";

void write_interpreter_names(const temp_folder& dir) {
  for (const std::string& name : interpreter_names())
    dir.write("src/" + name, kCopiedContent);
  dir.write("src/other.txt", "not listed");
  // A dot-file is hidden on POSIX, and Wine gives it the hidden attribute.
  dir.write("src/.hidden.htm", "not listed");
  make_dirs(dir.at("out"));
}

// The work lists hold the names as they are, and so do the copies.
void check_interpreter_names(const temp_folder& dir, const run_result& result) {
  EXPECT_EQ(result.out,
            as_written("c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt "
                       "successed!\n" +
                       std::string(kPause)));
  EXPECT_EQ(result.err, "");
  std::vector<std::string> sorted_names = interpreter_names();
  std::sort(sorted_names.begin(), sorted_names.end());
  std::string old_list, new_list;
  std::vector<std::string> new_names;
  for (const std::string& name : sorted_names) {
    old_list += name + "\n";
    new_names.push_back(name + "l");
    new_list += new_names.back() + "\n";
  }
  EXPECT_EQ(read_file(dir.drive_c("c:\\temp\\old\\myCopyTemp.txt")),
            as_written(old_list));
  EXPECT_EQ(read_file(dir.drive_c("c:\\temp\\new\\myCopyTemp.txt")),
            as_written(new_list));
  std::sort(new_names.begin(), new_names.end());
  EXPECT_EQ(dir.list("out"), new_names);
  for (const std::string& name : new_names)
    EXPECT_TRUE(dir.read("out/" + name) == kCopiedContent) << name;
}

const char kCommandsInAName[] = "x$(touch canary)`touch canary2`;touch canary3&";

TEST(RobustnessE2E, NamesAreNeverHandedToAShell) {
  run_input_cases(
      {
          {"shell characters in a replace name", kNotAWindowsName,
           [](const temp_folder& dir) {
             dir.write(std::string("src/") + kShellName1, "one");
           },
           std::string("[txt_content_replace]\none\n1\nsrc\nout\n") + kShellName1 + "\n",
           1,
           [](const temp_folder& dir, const run_result&) {
             EXPECT_EQ(dir.read(std::string("out/") + kShellName1), rewritten_text("1"));
           }},
          {"shell characters in a splice name", nullptr,
           [](const temp_folder& dir) {
             dir.write("menu.htm", "<m>\nnew\n</m>\n");
             dir.write(kShellName2, "<m>\nold\n</m>\n");
           },
           std::string("[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\n") +
               kShellName2 + "\n",
           1,
           [](const temp_folder& dir, const run_result&) {
             EXPECT_EQ(dir.read(kShellName2), rewritten_text("<m>\nnew\n</m>\n"));
           }},
          {"shell characters in copy names and patterns", kNotAWindowsName,
           [](const temp_folder& dir) {
             for (const char* name : {kShellName1, kShellName2, kShellName3})
               dir.write(std::string("src/") + name, name);
             make_dirs(dir.at("out"));
           },
           "[copy_file]\nsrc\nout\n*.txt > .bak\n\"$(touch canary)*\" > |&\n", 1,
           [](const temp_folder& dir, const run_result&) {
             for (const char* name : {kShellName1, kShellName2, kShellName3}) {
               const std::string copy = replace_all(name, ".txt", ".bak");
               EXPECT_EQ(dir.read("out/" + copy), name) << copy;
             }
             EXPECT_EQ(dir.read("out/|&.txt"), kShellName3);
           }},
          {"names that mean something to an interpreter are copied as they are", nullptr,
           write_interpreter_names, "[copy_file]\nsrc\nout\n*.htm > .html\n", 1,
           check_interpreter_names},
          {"commands in a copied name", nullptr,
           [](const temp_folder& dir) {
             dir.write(std::string("src/") + kCommandsInAName + ".htm", "e");
             make_dirs(dir.at("out"));
           },
           "[copy_file]\nsrc\nout\n*.htm > .txt\n", 1,
           [](const temp_folder& dir, const run_result&) {
             EXPECT_EQ(dir.read(std::string("out/") + kCommandsInAName + ".txt"), "e");
           }},
      },
      expect_no_canary);
}

TEST(RobustnessE2E, DotDotPartsAndSeparatorsInNames) {
  run_input_cases({
      {"names with .. parts in a replace section", nullptr,
       [](const temp_folder& dir) {
         dir.write("top.txt", "one top");
         dir.write("src/a.txt", "one a");
         make_dirs(dir.at("src/sub"));
       },
       "[txt_content_replace]\none\n1\nsrc\nout\n..\\top.txt\nsub\\..\\a.txt\n", 1,
       [](const temp_folder& dir, const run_result&) {
         // src\..\top.txt and out\..\top.txt are the same file.
         EXPECT_EQ(dir.read("top.txt"), rewritten_text("1 top"));
         EXPECT_EQ(dir.read("out/a.txt"), rewritten_text("1 a"));
       }},
      {"a copy pattern with a .. part lists the parent folder's names", nullptr,
       [](const temp_folder& dir) {
         dir.write("top.htm", "t");
         make_dirs(dir.at("src"));
         make_dirs(dir.at("out"));
       },
       "[copy_file]\nsrc\nout\n..\\*.htm > .txt\n", 0,
       [](const temp_folder& dir, const run_result& result) {
         // The names are bare and stay in the source folder: top.htm is
         // looked for as src\top.htm. The pattern has no outer star, so
         // nothing is renamed.
         EXPECT_TRUE(reports(result.err,
                             "copy \"src\\top.htm\" to \"out\\top.htm\" failed: ",
                             "No such file or directory"))
             << result.err;
         EXPECT_TRUE(dir.list("out").empty());
         EXPECT_EQ(dir.read("top.htm"), "t");
       }},
      {"listed names with a backslash or a line end never reach outside", nullptr,
       [](const temp_folder& dir) {
         dir.write("victim.htm", "attacker");
         dir.write("victim.txt", "precious");
         dir.write("src/z.htm\n..\\victim.htm", "z");
         make_dirs(dir.at("src/x"));
         dir.write("src/x\\..\\..\\victim.htm", "x");
         dir.write("src/plain.htm", "p");
         make_dirs(dir.at("out"));
       },
       "[copy_file]\nsrc\nout\n*.htm > .txt\n", 1,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(dir.read("victim.txt"), "precious");
         EXPECT_EQ(dir.list("out"), std::vector<std::string>{"plain.txt"});
         EXPECT_EQ(
             count_of(result.err, "left out: a name with a separator or a line end"), 2u)
             << result.err;
       }},
  });
}

TEST(RobustnessE2E, EmptyFiles) {
  run_input_cases({
      {"empty file", nullptr, [](const temp_folder& dir) { dir.write("src/e.txt", ""); },
       "[txt_content_replace]\none\n1\nsrc\nout\ne.txt\n", 1,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_TRUE(dir.exists("out/e.txt"));
         EXPECT_EQ(dir.read("out/e.txt"), "");
         EXPECT_TRUE(
             contains(result.out, as_written("src\\e.txt to out\\e.txt successed!\n")));
       }},
      {"empty copy source", nullptr,
       [](const temp_folder& dir) {
         dir.write("src/e.htm", "");
         make_dirs(dir.at("out"));
       },
       "[copy_file]\nsrc\nout\n*.htm > .html\n", 1,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(result.err, "");
         EXPECT_EQ(dir.list("out"), std::vector<std::string>{"e.html"});
         EXPECT_EQ(dir.read("out/e.html"), "");
       }},
      {"empty splice target: the block is its only content", nullptr,
       [](const temp_folder& dir) {
         dir.write("menu.htm", "<m>\nnew\n</m>\n");
         dir.write("page.htm", "");
       },
       "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n", 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("page.htm"), rewritten_text("new\n"));
       }},
      {"empty splice source: no block, the target stays", nullptr,
       [](const temp_folder& dir) {
         dir.write("menu.htm", "");
         dir.write("page.htm", "head\n<m>\nold\n</m>\n");
       },
       "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n", 0,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(result.out, as_written("txt_content_replace_txt error.\n"));
         EXPECT_EQ(dir.read("page.htm"), "head\n<m>\nold\n</m>\n");
       }},
  });
}

// The content of a large sparse file: zeros, with a few texts at offsets.
struct sparse_content {
  std::uint64_t size;
  std::vector<std::pair<std::uint64_t, std::string>> pieces;  // ascending offsets

  void create(const std::string& path) const {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& piece : pieces)
      ASSERT_EQ(::pwrite(fd, piece.second.data(), piece.second.size(),
                         static_cast<off_t>(piece.first)),
                static_cast<ssize_t>(piece.second.size()));
    ::close(fd);
  }

  // Compares block by block, so that neither side is held whole.
  bool matches(const std::string& path) const {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 ||
        static_cast<std::uint64_t>(info.st_size) != size)
      return false;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(1 << 20), expected(1 << 20);
    for (std::uint64_t at = 0; at < size; at += block.size()) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - at));
      if (!in.read(block.data(), static_cast<std::streamsize>(n))) return false;
      std::fill(expected.begin(), expected.begin() + n, '\0');
      for (const auto& piece : pieces)
        for (std::size_t i = 0; i < piece.second.size(); ++i)
          if (piece.first + i >= at && piece.first + i < at + n)
            expected[static_cast<std::size_t>(piece.first + i - at)] = piece.second[i];
      if (!std::equal(block.begin(), block.begin() + n, expected.begin())) return false;
    }
    return true;
  }
};

std::uint64_t file_size(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

TEST(RobustnessE2E, KillInTheMiddleOfAReplaceLosesNothing) {
  if (testing_windows_build()) GTEST_SKIP() << "SIGKILL of a POSIX process";
  // 200 MiB, replaced in place: the worst case, since the input itself is
  // the target.
  sparse_content old_content{200ull << 20, {}}, new_content{200ull << 20, {}};
  for (std::uint64_t k = 0; k < 12; ++k) {
    old_content.pieces.push_back({k * (16ull << 20) + 12345, "needle"});
    new_content.pieces.push_back({k * (16ull << 20) + 12345 + k, "NEEDLE!"});
  }
  new_content.size += 12;

  bool interrupted = false;
  for (int attempt = 0; attempt < 3 && !interrupted; ++attempt) {
    temp_folder dir;
    make_dirs(dir.at("site"));
    old_content.create(dir.at("site/big.bin"));
    dir.write("script.txt",
              "[txt_content_replace]\nneedle\nNEEDLE!\nsite\nsite\nbig.bin\n");
    run_options options;
    options.arguments = {"script.txt"};
    std::unique_ptr<started_run> run = dir.start(options);

    // Kill it once its temporary file is there and growing.
    std::uint64_t first_seen = 0;
    while (run->running()) {
      std::string partial;
      for (const std::string& name : dir.list("site"))
        if (is_partial_file(name)) partial = name;
      const std::uint64_t size =
          partial.empty() ? 0 : file_size(dir.at("site/" + partial));
      if (size > 0 && first_seen == 0) first_seen = size;
      if (first_seen > 0 && size > first_seen) {
        run->send(SIGKILL);
        interrupted = true;
        std::cout << "[ killed   ] with " << size << " bytes written to " << partial
                  << std::endl;
        break;
      }
      ::usleep(200);
    }
    const run_result result = run->wait();
    if (interrupted) {
      EXPECT_EQ(result.signal, SIGKILL);
    }

    const bool is_old = old_content.matches(dir.at("site/big.bin"));
    const bool is_new = !is_old && new_content.matches(dir.at("site/big.bin"));
    EXPECT_TRUE(is_old || is_new) << "the target is neither its old nor its new content";
    if (!interrupted) {
      EXPECT_TRUE(is_new) << "a run that ended by itself left the old content";
    }
    std::vector<std::string> leftovers;
    for (const std::string& name : dir.list("site"))
      if (name != "big.bin") leftovers.push_back(name);
    EXPECT_LE(leftovers.size(), 1u);
    for (const std::string& name : leftovers)
      EXPECT_EQ(name.rfind("big.bin.quillmend-partial-", 0), 0u) << name;
  }
  if (!interrupted) GTEST_SKIP() << "the replace always ended before it could be killed";
}

}  // namespace
}  // namespace quillmend_e2e
