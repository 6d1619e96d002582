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

namespace marovex {

namespace {
constexpr QSize kClientArea(360, 199);
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
    image->setPixmap(QPixmap::fromImage(LoadPicture(QStringLiteral("about.jpg"))));
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
    // The two lines of our own wording speak the interface language; the rest is fixed or the distributor's.
    const MessageTexts texts = MessageTextsOf(appDir, languageFile);
    QLabel* name1 = label("Label7", u(d::kNameLine1));
    QLabel* name2 = label("Label8", QString::fromStdString(texts.format(msg::AboutNameLine)));
    for (QLabel* l : {name1, name2}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    QLabel* version = label("Label9", u(d::kVersion));
    QLabel* rights = label("Label3", u(d::kRightsNotice));
    rights->setWordWrap(true);
    QLabel* mailCaption = label("Label4", QStringLiteral("E-Mail:"));
    LinkLabel* mail = link("Label5", u(d::kEmail), QStringLiteral("mailto:") + u(d::kEmail));
    QLabel* magazine = label("Label1", u("\"Kelvrania\" electronic journal :"));
    LinkLabel* magazineLink = link("Label6", u(d::kMagazineAddress), u(d::kMagazineAddress));
    QLabel* support = label("Label2", QString::fromStdString(texts.format(msg::AboutSupportLine)));
    LinkLabel* supportLink = link("Label10", u(d::kSupportAddress), u(d::kSupportAddress));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("FlatButton1"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    // Placed by hand like the fixed box it is; the lines follow the font's height.
    const int line = fontMetrics().height() + 1;
    const int right = 120;
    const int width = kClientArea.width() - right - kMargin;
    name1->setGeometry(right, kMargin, width, line);
    name2->setGeometry(right, kMargin + line, width, line);
    version->setGeometry(right, kMargin + 2 * line + 4, width, line);
    rights->setGeometry(right, kMargin + 3 * line + 8, width, rights->heightForWidth(width));
    int y = std::max(kMargin + 75, rights->geometry().bottom()) + 6;
    const int full = kClientArea.width() - 2 * kMargin;
    mailCaption->adjustSize();
    mailCaption->move(kMargin, y);
    mail->setGeometry(kMargin + mailCaption->width() + 4, y, full - mailCaption->width() - 4, line);
    for (QLabel* l : {static_cast<QLabel*>(magazine), static_cast<QLabel*>(magazineLink), support,
                      static_cast<QLabel*>(supportLink)}) {
        y += line;
        l->setGeometry(kMargin, y, full, line);
    }
    const int textBottom = y + line;
    const QSize button = m_ok->sizeHint().expandedTo(QSize(75, 25));
    // The painted line runs 17 pixels below the button's top edge and must stay below the text.
    const int buttonTop = std::max(kClientArea.height() - kMargin - button.height(), textBottom + 4 - 17);
    m_ok->setGeometry(kClientArea.width() - kMargin - button.width(), buttonTop, button.width(),
                      button.height());
    setFixedSize(kClientArea.width(), buttonTop + button.height() + kMargin);

    // startUp: the caption from the language file.
    MessageTexts unused;
    ApplyLanguage(
        language::kTargetAboutBox, appDir, languageFile,
        [this](const TextAssignment& a) {
            if (a.property == TextProperty::Caption) setWindowTitle(QString::fromStdString(a.text));
        },
        unused);
}

void AboutDialog::showModal(QWidget* parent, const std::filesystem::path& appDir,
                            std::string_view languageFile) {
    auto* box = new AboutDialog(appDir, languageFile, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    CentreOnScreen(*box);
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
