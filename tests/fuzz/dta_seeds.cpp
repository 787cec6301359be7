// Writes the seed corpus of the dataset file reader's fuzz target: the
// hand-built files of the reader's unit tests, one per accepted format and
// byte order.
//   dta_seeds DIR
#include <cstdio>
#include <string>

#include "dta_bytes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dta_seeds DIR\n");
    return 2;
  }
  for (int format : {102, 103, 104, 105, 106, 107, 108, 110, 111, 112, 113, 114}) {
    for (bool hilo : {false, true}) {
      if (format == 102 && hilo) continue;
      std::vector<std::uint8_t> b = nuvra::testing::build(nuvra::testing::standard(format, hilo));
      std::string name = std::string(argv[1]) + "/f" + std::to_string(format) + (hilo ? "hilo" : "lohi") + ".dta";
      std::FILE* f = std::fopen(name.c_str(), "wb");
      if (!f) return 1;
      std::fwrite(b.data(), 1, b.size(), f);
      std::fclose(f);
    }
  }
  return 0;
}
