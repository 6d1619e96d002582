// Catalogue files from the application folder: any bytes either open as a table or raise a TableError.
#include "catalogue/catalogue.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("marovex-fuzz-" + std::to_string(::getpid()) + ".dat");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    marovex::RecordTable table;
    try {
        marovex::catalogue::openArticleTable(table, file, {});
        table.setSortKeys(marovex::catalogue::kTitleOrder);
        for (table.first(); !table.eof(); table.next()) (void)table.asText("Statia");
        table.discard();
    } catch (const marovex::TableError&) {
    }
    return 0;
}
