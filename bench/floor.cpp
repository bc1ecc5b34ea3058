// The native floor: a simdjson DOM parse of each file, timed in this process.
// Usage: floor REPS FILE...   prints one line per file: the median nanoseconds of REPS parses.
// REPS 0 only loads the files (the baseline of an instruction count).
#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: floor REPS FILE...\n");
    return 2;
  }
  const int reps = std::atoi(argv[1]);
  std::vector<simdjson::padded_string> texts;
  for (int i = 2; i < argc; ++i) {
    auto loaded = simdjson::padded_string::load(argv[i]);
    if (loaded.error()) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    texts.push_back(std::move(loaded).value());
  }
  simdjson::dom::parser parser;
  for (const auto& text : texts) {
    std::vector<long long> times;
    for (int r = 0; r < reps; ++r) {
      const auto start = std::chrono::steady_clock::now();
      simdjson::dom::element doc;
      if (parser.parse(text).get(doc)) {
        std::fprintf(stderr, "parse failed\n");
        return 1;
      }
      const auto stop = std::chrono::steady_clock::now();
      times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%lld\n", times.empty() ? 0LL : times[times.size() / 2]);
  }
  return 0;
}
