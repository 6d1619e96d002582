// "mvx.ini", language files and "search.dat" from the application folder: any bytes are read without a
// crash; values that do not convert raise a ConversionError naming them.
#include "app/colorfont.h"
#include "app/language.h"
#include "app/settings.h"
#include "base/cp1251.h"
#include "search/history.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace fs = std::filesystem;
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("marovex-fuzz-app-" + std::to_string(::getpid()));
        fs::create_directories(d / "Locale");
        return d;
    }();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(dir / "mvx.ini", std::ios::binary | std::ios::trunc) << bytes;
    std::ofstream(dir / "Locale" / "x.lng", std::ios::binary | std::ios::trunc) << bytes;
    std::ofstream(dir / "search.dat", std::ios::binary | std::ios::trunc) << bytes;

    marovex::SettingsRecord rec;
    try {
        marovex::loadSettings(dir, rec);
    } catch (const marovex::ConversionError&) {
    }
    marovex::ArchiveAccess access;
    marovex::readAccess(dir, access);
    marovex::MessageTexts messages;
    marovex::applyLanguage(
        marovex::language::Target::MainWindow, dir, "x.lng", [](const marovex::TextAssignment&) {}, messages);
    (void)marovex::buildLanguageList(dir);
    for (const std::string& entry : marovex::readSearchHistory(dir / "search.dat"))
        // The capacity counts characters, one byte each in the file; the entry itself is UTF-8.
        if (marovex::cp1251::fromUtf8(entry).size() > marovex::kSearchTextCapacity ||
            entry.find_first_of("\r\n") != std::string::npos)
            __builtin_trap();
    return 0;
}
