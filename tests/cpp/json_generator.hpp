// Random JSON texts for comparing readers: every kind of value, numbers at the integer
// boundaries, strings with escapes, objects with keys out of order and repeated (some with more
// than 16 members), and white space wherever it may stand.
#pragma once

#include <random>
#include <string>
#include <string_view>

namespace vorlik::testing {

class JsonGenerator {
 public:
  explicit JsonGenerator(unsigned seed) : random_(seed) {}

  std::string document() {
    std::string out;
    space(out);
    value(out, 0);
    space(out);
    return out;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  void space(std::string& out) {
    static constexpr std::string_view kSpaces[] = {"", "", "", " ", "\n", "\t", "\r\n  "};
    out += kSpaces[pick(7)];
  }

  void value(std::string& out, int depth) {
    const int kinds = depth < 6 ? 9 : 7;
    switch (pick(kinds)) {
      case 0:
        out += pick(2) ? "true" : "false";
        return;
      case 1:
        out += "null";
        return;
      case 2:
      case 3:
        number(out);
        return;
      case 4:
      case 5:
      case 6:
        string(out);
        return;
      case 7:
        array(out, depth);
        return;
      default:
        object(out, depth);
    }
  }

  void number(std::string& out) {
    static constexpr std::string_view kNumbers[] = {"0",
                                                    "-0",
                                                    "7",
                                                    "-7",
                                                    "18446744073709551615",
                                                    "18446744073709551616",
                                                    "-9223372036854775808",
                                                    "-9223372036854775809",
                                                    "1.5",
                                                    "-0.0",
                                                    "1e16",
                                                    "1E-7",
                                                    "2.5e+3",
                                                    "123456789012345678901234567890",
                                                    "0.1",
                                                    "1e-400",
                                                    "4.9e-324"};
    out += kNumbers[pick(static_cast<int>(std::size(kNumbers)))];
  }

  void string(std::string& out) {
    static constexpr std::string_view kPieces[] = {
        "a",        "b",       "key", "\\n", "\\\"", "\\\\", "\\/", "\\u00e9", "\\ud83d\\ude00",
        "\xC3\xA9", "\\u0000", "\\t", " ",   "z"};
    out += '"';
    for (int n = pick(4); n > 0; --n) out += kPieces[pick(static_cast<int>(std::size(kPieces)))];
    out += '"';
  }

  void array(std::string& out, int depth) {
    out += '[';
    for (int n = pick(5), k = 0; k < n; ++k) {
      if (k) out += ',';
      space(out);
      value(out, depth + 1);
      space(out);
    }
    out += ']';
  }

  void object(std::string& out, int depth) {
    static constexpr std::string_view kKeys[] = {
        "a", "b",  "c",        "d",        "e",       "f", "g",   "h", "i", "j",
        "k", "l",  "m",        "n",        "o",       "p", "q",   "r", "s", "t",
        "",  "aa", "a\\u0000", "\xC3\xA9", "\\u00e9", "Z", "\\n", "ab"};
    out += '{';
    const int n = pick(4) == 0 ? 17 + pick(12) : pick(5);
    for (int k = 0; k < n; ++k) {
      if (k) out += ',';
      space(out);
      out += '"';
      out += kKeys[pick(static_cast<int>(std::size(kKeys)))];
      out += '"';
      space(out);
      out += ':';
      space(out);
      value(out, depth + 1);
    }
    space(out);
    out += '}';
  }

  std::mt19937 random_;
};

}  // namespace vorlik::testing
