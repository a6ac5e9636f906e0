// SPDX-License-Identifier: MIT
// Without libFuzzer: feeds every file of the folder given to the target once, so that an
// ordinary build runs the kept corpus as a test.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Check.h"

int main(int argc, char** argv) {
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argc == 2 ? argv[1] : "")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        std::fprintf(stderr, "%s\n", entry.path().c_str());  // names the input a check aborts on
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++inputs;
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
