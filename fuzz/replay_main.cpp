// Stands in for libFuzzer where the compiler has none: feeds a fixed number of seeded random
// inputs of random length to the target. Takes the libFuzzer flags -runs=N and -seed=S.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  long runs = 10000;
  unsigned seed = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "-runs=", 6) == 0) runs = std::stol(argv[i] + 6);
    if (std::strncmp(argv[i], "-seed=", 6) == 0) seed = static_cast<unsigned>(std::stoul(argv[i] + 6));
  }
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> length(0, 4096);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> input;
  for (long run = 0; run < runs; ++run) {
    input.resize(static_cast<std::size_t>(length(generator)));
    for (auto& value : input) value = static_cast<std::uint8_t>(byte(generator));
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("Done %ld runs (replay driver)\n", runs);
  return 0;
}
