#include "ui/aboutdialog.h"

#include "app/language.h"
#include "ui/distributor.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui/splashscreen.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace marovex {

namespace {
constexpr int kWidth = 360;
constexpr int kMargin = 8;
// $008396A0, the colour of the line beside the OK button.
const QColor kLineColor(0xA0, 0x96, 0x83);

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}
} // namespace

LinkLabel::LinkLabel(const QString& text, QString address, QWidget* parent)
    : QLabel(text, parent), m_address(std::move(address)) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80)); // navy
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        QDesktopServices::openUrl(QUrl(m_address));
}

AboutDialog::AboutDialog(const std::filesystem::path& appDir, std::string_view languageFile, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::fromLatin1(language::kAboutBox.data(), qsizetype(language::kAboutBox.size())));
    setWindowTitle(u("О программе Marovex"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(QPixmap::fromImage(loadPicture(QStringLiteral("about.jpg"))));
    image->setGeometry(kMargin, kMargin, 100, 75);

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto link = [this](const char* name, const QString& text, const QString& address) {
        auto* l = new LinkLabel(text, address, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    namespace d = distributor;
    // Our own wording speaks the interface language; the rest is fixed or the distributor's.
    const MessageTexts texts = messageTextsOf(appDir, languageFile);
    const auto own = [&texts](int key, std::initializer_list<std::string> args = {}) {
        return QString::fromStdString(texts.format(key, args));
    };
    QLabel* name1 = label("Label7", u(d::kNameLine1));
    QLabel* name2 = label("Label8", own(msg::AboutNameLine));
    for (QLabel* l : {name1, name2}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    QLabel* version = label("Label9", own(msg::AboutVersion, {MAROVEX_VERSION}));
    QLabel* rights = label("Label3", u(d::kRightsNotice));
    rights->setWordWrap(true);
    QLabel* mailCaption = label("Label4", own(msg::AboutEmail));
    LinkLabel* mail = link("Label5", u(d::kEmail), QStringLiteral("mailto:") + u(d::kEmail));
    QLabel* magazine = label("Label1", own(msg::AboutMagazine));
    LinkLabel* magazineLink = link("Label6", u(d::kMagazineAddress), u(d::kMagazineAddress));
    QLabel* support = label("Label2", own(msg::AboutSupportLine));
    LinkLabel* supportLink = link("Label10", u(d::kSupportAddress), u(d::kSupportAddress));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("FlatButton1"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    // Placed by hand like the fixed box it is; the lines follow the font's height. A line whose value the
    // distributor left empty is left out, and the box closes up below what remains.
    const int line = fontMetrics().height() + 1;
    const int right = 120;
    const int width = kWidth - right - kMargin;
    name1->setGeometry(right, kMargin, width, line);
    name2->setGeometry(right, kMargin + line, width, line);
    version->setGeometry(right, kMargin + 2 * line + 4, width, line);
    rights->setGeometry(right, kMargin + 3 * line + 8, width, rights->heightForWidth(width));
    rights->setVisible(!rights->text().isEmpty());
    int y = std::max(kMargin + 75, rights->isVisible() ? rights->geometry().bottom() : 0) + 6;
    const int full = kWidth - 2 * kMargin;
    mailCaption->adjustSize();
    mailCaption->move(kMargin, y);
    mail->setGeometry(kMargin + mailCaption->width() + 4, y, full - mailCaption->width() - 4, line);
    const bool mailShown = !mail->text().isEmpty();
    mailCaption->setVisible(mailShown);
    mail->setVisible(mailShown);
    if (mailShown) y += line;
    for (const auto& [caption, address] : {std::pair<QLabel*, LinkLabel*>{magazine, magazineLink},
                                           std::pair<QLabel*, LinkLabel*>{support, supportLink}}) {
        const bool shown = !address->text().isEmpty();
        caption->setVisible(shown);
        address->setVisible(shown);
        if (!shown) continue;
        caption->setGeometry(kMargin, y, full, line);
        address->setGeometry(kMargin, y + line, full, line);
        y += 2 * line;
    }
    const QSize button = m_ok->sizeHint().expandedTo(QSize(75, 25));
    // Below the text, and with it the line painted beside the button.
    const int buttonTop = y + 4;
    m_ok->setGeometry(kWidth - kMargin - button.width(), buttonTop, button.width(), button.height());
    setFixedSize(kWidth, buttonTop + button.height() + kMargin);

    // startUp: the caption from the language file.
    MessageTexts unused;
    applyLanguage(
        language::Target::AboutBox, appDir, languageFile,
        [this](const TextAssignment& a) {
            if (a.property == TextProperty::Caption) setWindowTitle(QString::fromStdString(a.text));
        },
        unused);
}

void AboutDialog::showModal(QWidget* parent, const std::filesystem::path& appDir,
                            std::string_view languageFile) {
    auto* box = new AboutDialog(appDir, languageFile, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    centreOnScreen(*box);
    box->exec();
}

void AboutDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setPen(QPen(kLineColor, 1));
    const int y = m_ok->geometry().top() + 17;
    p.drawLine(7, y, m_ok->geometry().left() - 7, y);
}

} // namespace marovex
