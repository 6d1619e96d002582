// The commit record of the catalogue pair, as a crash, a damaged disk or a hostile hand leaves it: any bytes
// are either refused as damaged or give pairs that replace one of the two catalogue files with a temporary
// of that very file, each file once.
#include "base/atomicfile.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> files = {"mvx.dat", "subjects.dat"};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const marovex::CommitRecord record = marovex::parseCommitRecord(bytes, files);
    if (!record.damage.empty()) {
        if (!record.pairs.empty()) __builtin_trap();
        return 0;
    }
    if (record.pairs.empty()) __builtin_trap();
    std::set<std::string> seen;
    for (const auto& [temp, file] : record.pairs) {
        if (file != files[0] && file != files[1]) __builtin_trap();
        if (!seen.insert(file).second) __builtin_trap();
        const std::string stem = "." + file + ".tmp-";
        if (temp.compare(0, stem.size(), stem) != 0 || temp.size() <= stem.size()) __builtin_trap();
        if (temp.find_first_of("/\\\t\n") != std::string::npos) __builtin_trap();
    }
    return 0;
}
