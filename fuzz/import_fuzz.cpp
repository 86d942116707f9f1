// libFuzzer target of the communication file reader: any bytes, read for the working company and for
// the company the file names; see ImportProperties.h for what is checked. A broken property aborts.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ImportProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::string broken = exchange_fuzz::CheckInput(content);
    if (!broken.empty()) {
        std::fprintf(stderr, "import property broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
