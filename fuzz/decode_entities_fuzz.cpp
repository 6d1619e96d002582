// DecodeEntities against its literal step-by-step definition.
#include "textops_reference.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string fast = input;
    marovex::text::DecodeEntities(fast);
    if (fast.size() > input.size()) std::abort();
    if (fast != marovex::fuzzref::decodeEntities(input)) std::abort();
    return 0;
}
