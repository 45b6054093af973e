// Writes the benchmark's input files, the same bytes on every run and every
// machine: a fixed-seed generator, no library randomness.
//
//   make_workload sparse PATH BYTES   English-like text; "old.example.com"
//                                     about once per 10 KB, and a mixed-case
//                                     spelling of it about once per 10 KB
//   make_workload dense PATH BYTES    short lower-case words with "<>" about
//                                     every 16 bytes
//   make_workload files FOLDER COUNT BYTES SUFFIX
//                                     COUNT files of exactly BYTES bytes of
//                                     sparse text, named f00000SUFFIX...
//   make_workload lines PATH BYTES MISS HIT EVERY CASE
//                                     lines of MISS, every EVERYth one HIT
//                                     instead; CASE "mixed" flips the case
//                                     of each letter at random, "as-is"
//                                     keeps them
//
// The folder of `files` must exist. Exit status 0 on success.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class xorshift {
 public:
  explicit xorshift(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  // A number in [low, high].
  std::size_t between(std::size_t low, std::size_t high) {
    return low + static_cast<std::size_t>(next() % (high - low + 1));
  }

 private:
  std::uint64_t state_;
};

const char* const kWords[] = {
    "the",     "of",      "and",     "to",      "in",        "is",       "that",
    "for",     "it",      "as",      "was",     "with",      "be",       "by",
    "on",      "not",     "he",      "this",    "are",       "or",       "his",
    "from",    "at",      "which",   "but",     "have",      "an",       "had",
    "they",    "you",     "were",    "their",   "one",       "all",      "we",
    "can",     "her",     "has",     "there",   "been",      "if",       "more",
    "when",    "will",    "would",   "who",     "so",        "no",       "page",
    "site",    "company", "contact", "home",    "service",   "product",  "news",
    "about",   "people",  "year",    "time",    "world",     "should",   "because",
    "between", "another", "number",  "through", "example",   "during",   "without",
    "market",  "quality", "design",  "support", "customer",  "question", "history",
    "system",  "public",  "report",  "office",  "website",   "address",  "phone",
    "email",   "privacy", "policy",  "terms",   "copyright", "reserved", "rights",
    "old",     "new",     "name",    "limited", "update",    "january",  "december",
};
constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const std::string kNeedle = "old.example.com";

// Appends English-like text: sentences of words, lines of at most 72 bytes.
// The needle is put in as a word, exactly spelled every `gap` bytes or so,
// and spelled in mixed case as often.
class sparse_text {
 public:
  sparse_text(std::uint64_t seed, std::size_t gap)
      : random_(seed), gap_(gap), next_exact_(first_gap()), next_mixed_(first_gap()) {}

  void append(std::string& out, std::size_t bytes) {
    const std::size_t goal = out.size() + bytes;
    while (out.size() < goal) {
      std::string word = next_word();
      if (column_ + 1 + word.size() > 72) {
        out += '\n';
        column_ = 0;
      } else if (column_ > 0) {
        out += ' ';
        ++column_;
      }
      out += word;
      column_ += word.size();
      written_ += word.size() + 1;
    }
  }

 private:
  std::size_t first_gap() { return random_.between(gap_ * 4 / 5, gap_ * 6 / 5); }

  std::string next_word() {
    if (written_ >= next_exact_) {
      next_exact_ = written_ + first_gap();
      return kNeedle;
    }
    if (written_ >= next_mixed_) {
      next_mixed_ = written_ + first_gap();
      std::string word = kNeedle;
      for (char& c : word)
        if (c >= 'a' && c <= 'z' && random_.next() % 2 == 0)
          c = static_cast<char>(c - 32);
      return word;
    }
    std::string word = kWords[random_.next() % kWordCount];
    if (sentence_length_ == 0) {
      word[0] = static_cast<char>(word[0] - 32);
      sentence_length_ = random_.between(6, 16);
    }
    if (--sentence_length_ == 0) word += random_.next() % 5 == 0 ? "," : ".";
    return word;
  }

  xorshift random_;
  std::size_t gap_;
  std::size_t next_exact_;
  std::size_t next_mixed_;
  std::size_t written_ = 0;
  std::size_t column_ = 0;
  std::size_t sentence_length_ = 0;
};

void append_dense(xorshift& random, std::string& out, std::size_t bytes,
                  std::size_t& column) {
  const std::size_t goal = out.size() + bytes;
  while (out.size() < goal) {
    std::size_t run = random.between(8, 22);  // one "<>" every 16 bytes on average
    while (run-- > 0) {
      if (column >= 79) {
        out += '\n';
        column = 0;
      } else if (random.next() % 6 == 0) {
        out += ' ';
        ++column;
      } else {
        out += static_cast<char>('a' + random.next() % 26);
        ++column;
      }
    }
    out += "<>";
    column += 2;
  }
}

// Lines made to be hard for a search: MISS is a near miss of the find text
// at almost every byte, HIT holds one occurrence so that the output differs.
void append_lines(xorshift& random, std::string& out, std::size_t bytes,
                  const std::string& miss, const std::string& hit, std::size_t every,
                  bool mixed_case, std::size_t& line) {
  const std::size_t goal = out.size() + bytes;
  while (out.size() < goal) {
    const std::size_t start = out.size();
    out += ++line % every == 0 ? hit : miss;
    out += '\n';
    if (!mixed_case) continue;
    for (std::size_t i = start; i < out.size(); ++i) {
      const char c = out[i];
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      if (letter && random.next() % 2 == 0) out[i] = static_cast<char>(c ^ 0x20);
    }
  }
}

bool write_file(const std::string& path, const std::string& bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                       &std::fclose);
  if (!file) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    return false;
  return std::fclose(file.release()) == 0;
}

// Streams a large file out in chunks so that memory stays small.
template <typename Fill>
bool write_large(const std::string& path, std::size_t total, Fill fill) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                       &std::fclose);
  if (!file) return false;
  std::string chunk;
  std::size_t written = 0;
  while (written < total) {
    chunk.clear();
    fill(chunk, std::min<std::size_t>(1 << 20, total - written));
    if (chunk.size() > total - written) chunk.resize(total - written);
    if (std::fwrite(chunk.data(), 1, chunk.size(), file.get()) != chunk.size())
      return false;
    written += chunk.size();
  }
  return std::fclose(file.release()) == 0;
}

int usage() {
  std::fputs(
      "usage: make_workload sparse|dense PATH BYTES\n"
      "       make_workload files FOLDER COUNT BYTES SUFFIX\n"
      "       make_workload lines PATH BYTES MISS HIT EVERY mixed|as-is\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string kind = argv[1];
  const std::string path = argv[2];
  bool ok = false;
  if (kind == "sparse" && argc == 4) {
    sparse_text text(0x5eed0001, 10000);
    ok = write_large(path, std::strtoull(argv[3], nullptr, 10),
                     [&](std::string& out, std::size_t n) { text.append(out, n); });
  } else if (kind == "dense" && argc == 4) {
    xorshift random(0x5eed0002);
    std::size_t column = 0;
    ok = write_large(
        path, std::strtoull(argv[3], nullptr, 10),
        [&](std::string& out, std::size_t n) { append_dense(random, out, n, column); });
  } else if (kind == "files" && argc == 6) {
    const unsigned long count = std::strtoul(argv[3], nullptr, 10);
    const std::size_t bytes = std::strtoull(argv[4], nullptr, 10);
    const std::string suffix = argv[5];
    // Small files get an occurrence every 2 KB or so, one or two per file.
    sparse_text text(0x5eed0003, 2000);
    ok = true;
    for (unsigned long i = 0; ok && i < count; ++i) {
      std::string content;
      text.append(content, bytes);
      content.resize(bytes);
      if (bytes > 0) content.back() = '\n';
      char name[32];
      std::snprintf(name, sizeof(name), "/f%05lu", i);
      ok = write_file(path + name + suffix, content);
    }
  } else if (kind == "lines" && argc == 8) {
    const std::string miss = argv[4], hit = argv[5], casing = argv[7];
    const std::size_t every = std::strtoull(argv[6], nullptr, 10);
    if (every == 0 || (casing != "mixed" && casing != "as-is")) return usage();
    xorshift random(0x5eed0004);
    std::size_t line = 0;
    ok = write_large(
        path, std::strtoull(argv[3], nullptr, 10), [&](std::string& out, std::size_t n) {
          append_lines(random, out, n, miss, hit, every, casing == "mixed", line);
        });
  } else {
    return usage();
  }
  if (!ok) {
    std::perror(path.c_str());
    return 1;
  }
  return 0;
}
