#include "ui/icons.h"

#include <QString>

#include <array>

// The resources live in a static library; registering them here ties them to the code that uses them.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace marovex::icons {

namespace {

constexpr std::array<const char*, kToolIconCount> kFiles = {
    "arrow-up",
    "arrow-down",
    "wrench",
    "info-white",
    "door-leave",
    "letter-f-green",
    "letter-f-grey",
    "window-pen",
    "book-help",
    "binoculars",
    "info-blue",
    "red-cross",
    "favourite",
    "letters-abc-underlined",
    "favourite-outline",
    "letters-aa",
    "arrow-left",
    "arrow-right",
    "zoom-out",
    "zoom-in",
    "printer",
};

QIcon load(const char* name) {
    static const bool registered = (initIconResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(name) + QStringLiteral(".svg"));
}

} // namespace

QIcon toolIcon(int index) {
    if (index < 0 || index >= kToolIconCount) return {};
    return load(kFiles[size_t(index)]);
}

QIcon favouriteMark() {
    return load("favourite");
}

} // namespace marovex::icons
