#include "ui/icons.h"

#include <QString>

#include <iterator>

// The resources live in a static library; registering them here ties them to the code that uses them.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace marovex::icons {

namespace {

// By Icon, in its order.
constexpr const char* kFiles[] = {
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
static_assert(std::size(kFiles) == std::size_t(Icon::None), "one file for every icon");

QIcon load(const char* name) {
    static const bool registered = (initIconResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(name) + QStringLiteral(".svg"));
}

} // namespace

QIcon toolIcon(Icon icon) {
    if (icon == Icon::None) return {};
    return load(kFiles[std::size_t(icon)]);
}

QIcon favouriteMark() {
    return load("favourite");
}

} // namespace marovex::icons
