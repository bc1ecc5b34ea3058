// The block-at-a-time loops over string bytes, checked where they can go wrong: at the edges of
// their blocks, at the end of the buffer, and next to memory that may not be read.
#include "jsonio/scan.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "containers/arena.hpp"
#include "jsonio/chars.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/utf8.hpp"
#include "jsonio/writer.hpp"
#include "read_text.hpp"
#include "reference_quote.hpp"

// The portable build of these tests must exercise the word loop alone.
#if defined(VORLIK_PORTABLE_SCAN) && (defined(VORLIK_SCAN_SSE2) || defined(VORLIK_SCAN_NEON))
#error "VORLIK_PORTABLE_SCAN left a vector loop in"
#endif

namespace vorlik::json {
namespace {

// Concatenation by append: GCC 12 warns falsely (-Wrestrict) on literal + std::string.
std::string cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out += p;
  return out;
}

std::size_t first_special(std::string_view s, std::size_t from) {
  while (from < s.size() && !is_string_special(static_cast<unsigned char>(s[from]))) ++from;
  return from;
}

// Each byte the scans stop at, and a plain byte next to each class boundary.
constexpr unsigned char kSpecials[] = {'"', '\\', 0x00, 0x01, 0x0A, 0x1F};
constexpr unsigned char kPlains[] = {0x20, '!', '#', '[', ']', 0x7F, 0x80, 0x9F, 0xDC, 0xFF};

// Two pages, the second unreadable: text placed to end at the first page's end has no readable
// byte after it.
class GuardedPage {
 public:
  GuardedPage() : size_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    void* m = mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return;
    base_ = static_cast<char*>(m);
    if (mprotect(base_ + size_, size_, PROT_NONE) != 0) {
      munmap(base_, 2 * size_);
      base_ = nullptr;
    }
  }
  ~GuardedPage() {
    if (base_) munmap(base_, 2 * size_);
  }
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;
  bool ok() const { return base_ != nullptr; }
  // A copy of s whose last byte is the last readable one.
  std::string_view place(std::string_view s) {
    char* at = base_ + size_ - s.size();
    std::memcpy(at, s.data(), s.size());
    return {at, s.size()};
  }

 private:
  std::size_t size_;
  char* base_ = nullptr;
};

TEST(FindStringSpecial, EverySpecialByteAtEveryOffset) {
  for (std::size_t len = 1; len <= 70; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      for (unsigned char special : kSpecials) {
        std::string s(len, 'a');
        s[at] = static_cast<char>(special);
        for (std::size_t from = 0; from <= len; from += (from < 20 ? 1 : 7))
          ASSERT_EQ(find_string_special(s.data(), from, len), first_special(s, from))
              << "len " << len << " at " << at << " from " << from << " byte " << int{special};
      }
    }
  }
}

TEST(FindStringSpecial, PlainBytesRunToTheEnd) {
  for (unsigned char plain : kPlains) {
    for (std::size_t len = 0; len <= 70; ++len) {
      std::string s(len, static_cast<char>(plain));
      for (std::size_t from = 0; from <= len; ++from)
        ASSERT_EQ(find_string_special(s.data(), from, len), len) << int{plain} << " " << len;
    }
  }
}

TEST(FindStringSpecial, StopsAtTheFirstOfSeveral) {
  std::string s(64, 'x');
  s[40] = '"';
  s[17] = '\\';
  s[33] = '\n';
  EXPECT_EQ(find_string_special(s.data(), 0, s.size()), 17u);
  EXPECT_EQ(find_string_special(s.data(), 18, s.size()), 33u);
  EXPECT_EQ(find_string_special(s.data(), 34, s.size()), 40u);
  EXPECT_EQ(find_string_special(s.data(), 41, s.size()), 64u);
  // A special byte just past the end given is not looked at.
  EXPECT_EQ(find_string_special(s.data(), 0, 17), 17u);
}

TEST(GuardPage, ReadingStopsAtTheLastReadableByte) {
  GuardedPage page;
  if (!page.ok()) GTEST_SKIP() << "no guard page";
  for (std::size_t len = 1; len <= 70; ++len) {
    std::string body(len - 1, 'p');
    // A string closed by the very last byte reads; one left open fails at the end.
    std::string closed = cat({"\"", std::string_view(body).substr(0, len > 1 ? len - 2 : 0), "\""});
    std::string_view text = page.place(closed);
    Arena arena;
    Reader r(text, arena);
    EXPECT_EQ(r.read_str(), std::string_view(closed).substr(1, closed.size() - 2));
    std::string open = cat({"\"", body});
    EXPECT_EQ(testing::read_error(page.place(open), [](Reader& rd) { rd.read_str(); }),
              "EOF while parsing a string at line 1 column " + std::to_string(open.size()));
    EXPECT_EQ(
        testing::read_error(page.place(cat({"[", open})), [](Reader& rd) { rd.skip_value(); }),
        "EOF while parsing a string at line 1 column " + std::to_string(open.size() + 1));
    std::string_view raw = page.place(body);
    EXPECT_EQ(find_string_special(raw.data(), 0, raw.size()), raw.size());
    EXPECT_FALSE(find_utf8_fault(raw));
    Writer w;
    w.string(raw);
    EXPECT_EQ(w.view(), cat({"\"", body, "\""}));
  }
}

TEST(WriterEscapes, EveryEscapedByteAtEveryOffsetOfABlock) {
  for (std::size_t len : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 64u}) {
    for (std::size_t at = 0; at < len; ++at) {
      for (int b = 0; b < 0x20; ++b) {
        for (char extra : {'"', '\\'}) {
          std::string s(len, 'z');
          s[at] = static_cast<char>(b);
          s[len - 1 - at] = at == len - 1 - at ? s[at] : extra;
          Writer w;
          w.string(s);
          ASSERT_EQ(w.view(), testing::reference_quote(s)) << len << " " << at << " " << b;
        }
      }
    }
  }
}

TEST(ReaderStrings, EscapesAndControlsAtEveryOffset) {
  for (std::size_t len = 1; len <= 40; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      std::string body(len, 'q');
      // An escaped quote reads back as a quote wherever it stands.
      std::string_view b = body;
      std::string text = cat({"\"", b.substr(0, at), "\\\"", b.substr(at), "\""});
      Arena arena;
      Reader r(text, arena);
      ASSERT_EQ(r.read_str(), cat({b.substr(0, at), "\"", b.substr(at)}));
      // A raw line feed is refused just after it.
      body[at] = '\n';
      std::string bad = cat({"\"", body, "\""});
      ASSERT_EQ(testing::read_error(bad, [](Reader& rd) { rd.read_str(); }),
                "control character (\\u0000-\\u001F) found while parsing a string at line 2 "
                "column 0");
    }
  }
}

TEST(Utf8Faults, AtEveryOffsetAroundBlockEdges) {
  struct Bad {
    std::string_view bytes;
    std::size_t length;
  };
  const Bad kBad[] = {{"\xFF", 1}, {"\xC3(", 1}, {"\xE2\x82(", 2}, {"\xED\xA0\x80", 1}};
  for (std::size_t len = 1; len <= 70; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      for (const Bad& bad : kBad) {
        if (at + bad.bytes.size() > len) continue;
        std::string s(len, 'a');
        s.replace(at, bad.bytes.size(), bad.bytes);
        auto fault = find_utf8_fault(s);
        ASSERT_TRUE(fault) << len << " " << at;
        EXPECT_EQ(fault->index, at);
        EXPECT_EQ(fault->length, bad.length);
      }
      // A sequence cut short by the end, and a valid one in the same place.
      std::string cut(len, 'a');
      cut[at] = '\xE2';
      if (at + 1 < len) cut[at + 1] = '\x82';
      auto fault = find_utf8_fault(cut.substr(0, std::min(len, at + 2)));
      ASSERT_TRUE(fault);
      EXPECT_EQ(fault->index, at);
      EXPECT_EQ(fault->length, 0u);
      if (at + 3 <= len) {
        std::string good(len, 'a');
        good.replace(at, 3, "\xE2\x82\xAC");
        EXPECT_FALSE(find_utf8_fault(good)) << len << " " << at;
      }
    }
  }
}

TEST(Utf8Faults, CheckedStringsRefuseInvalidBytesAtEveryOffset) {
  for (std::size_t len = 1; len <= 40; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      std::string body(len, 'a');
      body[at] = '\xFE';
      std::string text = cat({"\"", body, "\""});
      EXPECT_EQ(testing::read_error(
                    text, [](Reader& rd) { rd.read_str(); }, true),
                "invalid unicode code point at line 1 column " + std::to_string(len + 2));
    }
  }
}

}  // namespace
}  // namespace vorlik::json
