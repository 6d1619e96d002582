#pragma once

#include <QDialog>
#include <QLabel>

#include <filesystem>
#include <string_view>

class QPushButton;

namespace marovex {

// A label that opens an address through the desktop when clicked: navy, with the hand cursor.
class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QString address, QWidget* parent);
    const QString& address() const { return m_address; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_address;
};

// The About box.
class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    // `languageFile`: the settings record's language file, applied to the caption.
    AboutDialog(const std::filesystem::path& appDir, std::string_view languageFile,
                QWidget* parent = nullptr);

    // Creates the About box, shows it modally and destroys it when it closes (showAboutDialog).
    static void showModal(QWidget* parent, const std::filesystem::path& appDir,
                          std::string_view languageFile);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* m_ok = nullptr;
};

} // namespace marovex
