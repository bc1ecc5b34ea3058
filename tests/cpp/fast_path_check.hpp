// What the tests of a fast reader share: the property it must keep against the exact reader,
// and texts damaged by single bytes to hold it to.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace vorlik::testing {

// Each form is what a reader makes of the text, written out, or nullopt where it refuses it (or,
// for the fast path, gives up). Wherever the fast path reads a text, the exact reader reads the
// same; returns whether the fast path read it.
template <class FastForm, class ExactForm>
bool fast_path_agrees(std::string_view text, FastForm&& fast_form, ExactForm&& exact_form) {
  const std::optional<std::string> fast = fast_form(text);
  const std::optional<std::string> exact = exact_form(text);
  if (fast) {
    EXPECT_TRUE(exact.has_value())
        << "the fast path accepted a text the exact reader refuses: " << text;
    if (exact) {
      EXPECT_EQ(*fast, *exact) << text;
    }
  }
  return fast.has_value();
}

// `count` copies of `text`, each with one byte that matters to JSON's structure deleted,
// replaced or inserted somewhere, handed to `check`.
template <class Check>
void for_each_damaged(const std::string& text, std::mt19937& random, int count, Check&& check) {
  constexpr std::string_view kBytes = "{}[],:\"\\ 0-1.eEtnfulx\x01";
  for (int k = 0; k < count; ++k) {
    std::string damaged = text;
    const auto at = std::uniform_int_distribution<std::size_t>(0, damaged.size() - 1)(random);
    const char byte =
        kBytes[std::uniform_int_distribution<std::size_t>(0, kBytes.size() - 1)(random)];
    switch (k % 3) {
      case 0:
        damaged.erase(at, 1);
        break;
      case 1:
        damaged[at] = byte;
        break;
      default:
        damaged.insert(at, 1, byte);
    }
    check(damaged);
  }
}

}  // namespace vorlik::testing
