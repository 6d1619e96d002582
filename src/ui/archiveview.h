#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <filesystem>
#include <functional>
#include <string>

class QWebEngineProfile;

namespace marovex {

// What a page shown in the pane highlights: the remembered search text, the search
// options of m_wholeWordsButton (whole words) and m_matchCaseButton (match case), and the colour as six
// hexadecimal digits RRGGBB (ColorToHex of color_htm_fon). The found text is drawn in black or white,
// whichever contrasts with that colour, whatever colour the page gives it.
struct HighlightRequest {
    std::string text;
    bool wholeWord = false;
    bool matchCase = false;
    std::string colourHex = "000075";
};

// The embedded browser of the pane: a web view with mouse enter and leave signals, the status text, and
// the treatment every document gets when it has loaded: the top document's body loses its border, and
// each document without frames, at any depth, gets the search text highlighted. The highlighting runs
// as a script inside every frame, in a world of its own that page scripts cannot reach, and inserts only
// elements and text nodes, never markup.
//
// The view has a profile of its own that keeps nothing on disk: no cache and no cookies anywhere; what the
// engine must put somewhere goes into a temporary folder removed with the view, and downloads are refused.
// A link to an archive file the engine would not show but download (a .zip, an .exe) does nothing, since
// the engine makes a download's file outside that folder before it can be refused.
//
// Pages come from the archive through an address space of its own (viewer/archiveaddress.h), never from
// file addresses: the archive's letter case is resolved as its authors' system did, and a page can reach
// nothing outside the archive. Pages cannot read local files, and remote addresses are not loaded: a link
// to one opens in the desktop's browser.
class ArchiveView final : public QWebEngineView {
    Q_OBJECT
public:
    // Created filling nothing yet; the host puts it into its pane. The first page is "about:blank".
    explicit ArchiveView(QWidget* parent = nullptr);
    ~ArchiveView() override;

    // The folder whose files the view may show: the archive folder. Until it is set, a file navigated to
    // stands for its own folder.
    void setArchiveRoot(const std::filesystem::path& root);
    // Loads a file path or an URL, with no navigation flags. A file is shown through the archive's
    // addresses; one outside the archive is not shown.
    void navigate(const QString& address);
    void navigate(const std::filesystem::path& file);
    // What the status bar and the user see for an address of the view: the file path for the archive's
    // addresses, the address itself for any other.
    QString displayAddress(const QUrl& url) const;

    // Asked for the current highlight each time a page is opened (navigate, and every navigation the
    // page starts itself), so the search options in force at that moment count.
    void setHighlightSource(std::function<HighlightRequest()> source);
    // Sets the highlight for the documents that load from now on.
    void setHighlight(const HighlightRequest& request);
    // The highlight of the documents loaded since the last navigation.
    const HighlightRequest& highlight() const { return m_highlight; }

    // Call before the QApplication is made: the web engine shares its graphics contexts with the
    // application's.
    static void prepareApplication();

signals:
    void pointerEntered(ArchiveView* sender);
    void pointerLeft(ArchiveView* sender);
    // The text a status bar shows for the page (the address under the pointer, empty when it leaves).
    void statusTextChanged(const QString& text);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // Back, forward, reload, copy and select all: nothing that saves a page or opens it elsewhere.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void refreshHighlight();

    QTemporaryDir m_engineFiles; // before the profile, which uses it until it is gone
    QWebEngineProfile* m_profile = nullptr;
    class ArchiveSchemeHandler* m_archive = nullptr;
    std::function<HighlightRequest()> m_source;
    HighlightRequest m_highlight;
};

} // namespace marovex
