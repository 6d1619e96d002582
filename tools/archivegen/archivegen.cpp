#include "archivegen/archivegen.h"

#include "base/cp1251.h"
#include "base/platform.h"

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace marovex::gen {
namespace {

namespace fs = std::filesystem;

// xoshiro256** seeded through splitmix64, with hand-made ranges: the standard distributions are not
// required to give the same numbers everywhere, and the archive must.
class Rng {
public:
    explicit Rng(std::uint64_t seed) {
        for (auto& w : m_s)
            w = splitmix(seed);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotl(m_s[1] * 5, 7) * 9;
        const std::uint64_t t = m_s[1] << 17;
        m_s[2] ^= m_s[0];
        m_s[3] ^= m_s[1];
        m_s[1] ^= m_s[2];
        m_s[0] ^= m_s[3];
        m_s[2] ^= t;
        m_s[3] = rotl(m_s[3], 45);
        return result;
    }

    // 0 .. n-1; 0 when n is 0.
    std::uint32_t below(std::size_t n) { return std::uint32_t(((next() >> 32) * std::uint64_t(n)) >> 32); }
    int range(int lo, int hi) { return lo + int(below(std::size_t(hi - lo + 1))); }
    bool perMille(int p) { return below(1000) < std::uint32_t(p); }
    template <class T> const T& pick(const std::vector<T>& v) { return v[below(v.size())]; }

    static std::uint64_t splitmix(std::uint64_t& x) {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t m_s[4];
};

std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    std::uint64_t x = a ^ (b * 0xD6E8FEB86659FD93ull);
    return Rng::splitmix(x);
}

std::string W(std::string_view utf8) {
    return cp1251::fromUtf8(utf8);
}

std::string asciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string asciiUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// First letter to upper case, Latin or Cyrillic (Windows-1251 bytes).
std::string capFirst(std::string s) {
    if (s.empty()) return s;
    auto c = static_cast<unsigned char>(s[0]);
    if (c >= 0xE0)
        c = static_cast<unsigned char>(c - 0x20);
    else if (c == 0xB8)
        c = 0xA8;
    else if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - 0x20);
    s[0] = static_cast<char>(c);
    return s;
}

struct Topic {
    std::string name; // HTML text as it stands in a heading, Windows-1251
    std::string dir;  // folder under pub
};

// Every word list converted to Windows-1251 once.
struct Vocab {
    std::vector<Topic> topics;
    std::vector<std::string> adjectives, nouns, verbs, opinions, products, words, firstNames, lastNames;
    std::string how, tips, microscope, dash, readInIssue, bestOf, editorial, editorialTitle, archive,
        nextIssue, materials, articles, home, contents, author, back, download;

    static const Vocab& get() {
        static const Vocab v;
        return v;
    }

private:
    static std::vector<std::string> list(std::initializer_list<const char*> items) {
        std::vector<std::string> out;
        for (const char* s : items)
            out.push_back(W(s));
        return out;
    }

    Vocab() {
        const std::pair<const char*, const char*> topicList[] = {
            {"Новости", "news"},
            {"Софт", "soft"},
            {"Железо", "hard"},
            {"Игры", "games"},
            {"Интернет", "inet"},
            {"Безопасность", "secur"},
            {"Программирование", "prog"},
            {"Сети", "net"},
            {"Мультимедиа", "media"},
            {"Графика", "graph"},
            {"Обзоры", "review"},
            {"Тесты", "tests"},
            {"Советы", "tips"},
            {"Вопросы &amp; ответы", "faq"},
            {"Юмор", "humor"},
            {"Интервью", "interview"},
            {"Операционные системы", "os"},
            {"Linux", "linux"},
            {"Windows", "windows"},
            {"Мобильная связь", "mobile"},
            {"Цифровое фото", "photo"},
            {"Музыка", "music"},
            {"Кино", "kino"},
            {"Книги", "books"},
            {"Почта", "mail"},
            {"Форум", "forum"},
            {"Конкурсы", "konkurs"},
            {"Хакерство", "hack"},
            {"Вирусы", "virus"},
            {"Разгон", "overclock"},
            {"Апгрейд", "upgrade"},
            {"Периферия", "periph"},
            {"Ноутбуки", "notebook"},
            {"Базы данных", "db"},
            {"Веб-дизайн", "webdesign"},
            {"Утилиты", "util"},
            {"Драйверы", "drivers"},
            {"История", "history"},
            {"Наука", "science"},
            {"Рассказы", "stories"},
            {"Письма читателей", "letters"},
            {"Shareware", "shareware"},
            {"Редакция", "redakt"},
        };
        for (const auto& [name, dir] : topicList)
            topics.push_back({W(name), dir});
        adjectives = list({"новый", "быстрый", "старый", "домашний", "бесплатный", "надёжный", "собственный",
                           "цифровой", "сетевой", "виртуальный", "секретный", "лучший", "карманный",
                           "идеальный", "народный", "маленький", "универсальный", "беспроводной"});
        nouns = list({"модем",   "браузер", "процессор", "компьютер", "файл",     "сайт",      "диск",
                      "архив",   "реестр",  "сервер",    "пароль",    "монитор",  "сканер",    "принтер",
                      "ноутбук", "драйвер", "антивирус", "плеер",     "редактор", "интерфейс", "кулер",
                      "чипсет",  "форум",   "блог",      "смартфон"});
        verbs = list({"настроить", "ускорить", "защитить", "выбрать", "собрать", "починить", "разогнать",
                      "обновить", "спасти", "очистить", "установить", "проверить", "обмануть"});
        opinions = list({"за и против", "взгляд изнутри", "первое знакомство", "вопросы и ответы",
                         "что нового", "работа над ошибками", "шаг за шагом", "тонкая настройка",
                         "история вопроса", "мифы и факты", "без лишних слов", "руководство для чайников"});
        products = list({"Windows XP", "Opera 7.23", "The Bat!", "Delphi 7", "Photoshop CS",
                         "Total Commander", "WinRAR 3.30", "Quake III", "Mozilla 1.7", "Outlook Express",
                         "ICQ Lite", "FreeBSD 5", "Far Manager", "Winamp 5", "Nero 6", "Miranda IM"});
        words = list({"компьютер",  "программа",   "система",     "пользователь",
                      "настройка",  "возможность", "работа",      "файл",
                      "версия",     "сеть",        "данные",      "скорость",
                      "память",     "диск",        "экран",       "окно",
                      "меню",       "кнопка",      "ошибка",      "проблема",
                      "решение",    "вопрос",      "ответ",       "пример",
                      "случай",     "время",       "день",        "год",
                      "ёмкость",    "объём",       "ещё",         "всё",
                      "очень",      "можно",       "нужно",       "быстро",
                      "просто",     "легко",       "теперь",      "сначала",
                      "потом",      "однако",      "кроме",       "того",
                      "этот",       "такой",       "новый",       "старый",
                      "большой",    "маленький",   "важный",      "удобный",
                      "работает",   "позволяет",   "запускает",   "сохраняет",
                      "открывает",  "показывает",  "находит",     "читатель",
                      "редакция",   "журнал",      "номер",       "статья",
                      "автор",      "интернет",    "сайт",        "страница",
                      "письмо",     "почта",       "сервер",      "клиент",
                      "протокол",   "адрес",       "пароль",      "вирус",
                      "защита",     "процессор",   "частота",     "плата",
                      "видеокарта", "драйвер",     "игра",        "уровень",
                      "герой",      "мир",         "звук",        "музыка",
                      "картинка",   "цвет",        "шрифт",       "текст",
                      "поиск",      "результат",   "тест",        "цена",
                      "рубль",      "доллар",      "разработчик", "фирма",
                      "рынок",      "модель",      "устройство",  "связь",
                      "телефон",    "и",           "в",           "на",
                      "с",          "по",          "для",         "не",
                      "но",         "а",           "что",         "как",
                      "из",         "к",           "от",          "при",
                      "без"});
        firstNames = list({"Андрей", "Сергей", "Дмитрий", "Алексей", "Ирина", "Ольга", "Павел", "Наталья",
                           "Максим", "Елена", "Артём", "Юрий"});
        lastNames = list({"Волков", "Смирнов", "Кузнецов", "Попов", "Соколов", "Лебедев", "Козлов", "Новиков",
                          "Морозов", "Петров", "Фёдоров", "Зайцев"});
        how = W("Как ");
        tips = W(" советов: как ");
        microscope = W(" под микроскопом");
        dash = W("—");
        readInIssue = W("Читайте в номере:");
        bestOf = W("Выбор редакции");
        editorial = W("Слово редактора");
        editorialTitle = W("От редакции");
        archive = W("Архив статей");
        nextIssue = W("Анонс следующего номера");
        materials = W("Материалы");
        articles = W("Статьи");
        home = W("Главная");
        contents = W("содержание");
        author = W("Автор: ");
        back = W("Назад");
        download = W("Скачать: ");
    }
};

// kind 0..19 picks a pattern; -1 a random one.
std::string makeTitle(Rng& r, const Vocab& v, int forced = -1) {
    const std::uint32_t random = r.below(20);
    const std::uint32_t kind = forced >= 0 ? std::uint32_t(forced) : random;
    if (kind < 5) return capFirst(r.pick(v.adjectives) + " " + r.pick(v.nouns));
    if (kind < 9) return v.how + r.pick(v.verbs) + " " + r.pick(v.adjectives) + " " + r.pick(v.nouns);
    if (kind < 12) return capFirst(r.pick(v.nouns)) + ": " + r.pick(v.opinions);
    if (kind < 15) return r.pick(v.products) + ": " + r.pick(v.opinions);
    if (kind == 15)
        return "&laquo;" + capFirst(r.pick(v.adjectives) + " " + r.pick(v.nouns)) + "&raquo; " + v.dash +
               " " + r.pick(v.opinions);
    if (kind == 16) { // two different nouns
        const std::size_t first = r.below(v.nouns.size());
        const std::size_t second = (first + 1 + r.below(v.nouns.size() - 1)) % v.nouns.size();
        return capFirst(v.nouns[first]) + " &amp; " + v.nouns[second];
    }
    if (kind == 17) return "&quot;" + r.pick(v.products) + "&quot;" + v.microscope;
    if (kind == 18) return std::to_string(r.range(5, 20)) + v.tips + r.pick(v.verbs) + " " + r.pick(v.nouns);
    return capFirst(r.pick(v.adjectives) + " " + r.pick(v.nouns)) + " " + v.dash + " " + r.pick(v.opinions);
}

// bold allows <b> tags, which contents pages must not hold outside their topic headings.
std::string sentence(Rng& r, const Vocab& v, bool bold = true) {
    const int n = r.range(5, 14);
    std::string s;
    for (int i = 0; i < n; ++i) {
        std::string w = r.pick(v.words);
        if (i == 0) w = capFirst(std::move(w));
        if (i > 0) s += (r.perMille(30) ? "&nbsp;" : " ");
        const std::uint32_t dress = r.below(60);
        if (dress == 0)
            s += bold ? "<b>" + w + "</b>" : "<i>" + w + "</i>";
        else if (dress == 1)
            s += "<i>" + w + "</i>";
        else if (dress == 2)
            s += "&laquo;" + w + "&raquo;";
        else if (dress == 3)
            s += "&quot;" + r.pick(v.products) + "&quot;";
        else if (dress == 4)
            s += w + " &amp;";
        else
            s += w;
        if (i + 1 < n && r.perMille(80)) s += ",";
    }
    return s + (r.perMille(100) ? "!" : ".");
}

std::string paragraph(Rng& r, const Vocab& v) {
    std::string p = "<p>";
    const int n = r.range(2, 6);
    for (int i = 0; i < n; ++i) {
        if (i > 0) p += ' ';
        p += sentence(r, v);
    }
    return p + "</p>\n";
}

// Page names as the issue spells them; Windows archives come in any letter case.
struct Names {
    const char* index;
    const char* frameDir;
    const char* left;
    const char* main;
    const char* pagesDir;
    const char* materials;
    const char* statii;
    const char* pub;
    const char* srcLeft;
    const char* srcMain;
    const char* imgDir; // the pictures the pages show, written "../img/..." in every issue
    const char* logo;
    const char* newMark;
};
constexpr Names kNames[3] = {
    {"index.htm", "frame", "left.htm", "main.htm", "pages", "materials.htm", "statii.htm", "pub",
     "frame/left.htm", "frame/main.htm", "img", "logo.gif", "new.gif"},
    {"Index.htm", "FRAME", "Left.HTM", "Main.htm", "Pages", "Materials.htm", "Statii.htm", "Pub",
     "FRAME/Left.HTM", "FRAME/MAIN.HTM", "IMG", "Logo.GIF", "NEW.GIF"},
    {"INDEX.HTM", "Frame", "LEFT.HTM", "MAIN.HTM", "PAGES", "MATERIALS.HTM", "STATII.HTM", "PUB",
     "Frame/LEFT.HTM", "frame/main.htm", "Img", "LOGO.gif", "New.gif"},
};

const char* const kEditionTitles[3] = {"Kelvrania Gold", "Kelvrania Release", "Kelvrania"};

struct Article {
    std::string disk;  // path under pub on disk, '/'-separated
    std::string href;  // the address after "../pub/" as the pages write it
    std::string title; // HTML text
    int topic = 0;
    bool html = true;
    std::string word; // a word only this article's page holds; empty for most
};

enum class LinkStyle { Plain, UpperHref, UpperClose, FontTitle, ImageThenText, Wrapped, Attributes };

// A link whose title scan runs on to the next lower-case "<a": it must be followed by such a link in the
// same section, or the scan would swallow a heading or another link.
bool runsOn(LinkStyle s) {
    return s == LinkStyle::UpperClose || s == LinkStyle::ImageThenText;
}

struct IssueContent {
    std::vector<Article> articles;
    std::string index, left, main, materials, statii;
    std::uint64_t links = 0;
};

class IssueBuilder {
public:
    IssueBuilder(const PlannedIssue& issue, const std::string& number, bool fullSize)
        : m_issue(issue), m_r(issue.seed), m_v(Vocab::get()), m_number(number), m_topics(issue.edition != 2),
          m_showcase(issue.showcase), m_full(fullSize), m_pad(mix(issue.seed, 0x66756C6C)) {}

    IssueContent build() {
        m_crlf = m_r.perMille(850);
        planArticles();
        const Names& n = kNames[m_issue.caseStyle];
        m_c.index = finish(indexPage(n));
        m_c.left = finishContents(leftPage());
        m_c.materials = finishContents(materialsPage());
        m_c.statii = finishContents(statiiPage());
        m_c.main = finish(mainPage());
        return std::move(m_c);
    }

private:
    // A rare construct; a showcase issue has every one of them.
    bool rare(int perMille) {
        const bool hit = m_r.perMille(perMille);
        return hit || m_showcase;
    }

    std::string finish(std::string_view page) const {
        if (!m_crlf) return std::string(page);
        std::string out;
        out.reserve(page.size() + page.size() / 16);
        for (char c : page) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    }

    // Full-size pages: where filler may go without changing what an indexer reads from the page. Never
    // right after a link whose title scan runs on to the next link.
    void slot(const std::string& s) {
        if (m_full) m_slots.push_back(s.size());
    }

    // A contents page as the magazine ships it, or, for full-size pages, grown to 100-150 KB with filler
    // at the marked places: a quarter of it in the head, the rest spread evenly over the body. The filler
    // has its own random source, so the rest of the issue is the same with or without it.
    std::string finishContents(const std::string& page) {
        if (!m_full || m_slots.empty()) return finish(page);
        std::vector<std::string> parts;
        std::size_t size = 0, from = 0;
        for (std::size_t at : m_slots) {
            parts.push_back(finish(std::string_view(page).substr(from, at - from)));
            size += parts.back().size();
            from = at;
        }
        std::string tail = finish(std::string_view(page).substr(from));
        size += tail.size();
        m_slots.clear();

        const std::size_t target = 100 * 1024 + m_pad.below(46 * 1024); // filler overshoots by < 4 KB
        std::size_t missing = target > size ? target - size : 0;
        std::string out;
        out.reserve(std::max(target, size) + 4096);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            out += parts[i];
            const std::size_t quota = i == 0 ? missing / 4 : missing / (parts.size() - i);
            const std::size_t before = out.size();
            if (quota > 0 && i == 0) headFiller(out, quota);
            if (quota > 0 && i > 0) bodyFiller(out, quota);
            missing -= std::min(missing, out.size() - before);
        }
        return out + tail;
    }

    // Line ends as pages edited on different systems mix them; tabs for indentation.
    void line(std::string& out, const std::string& text) {
        const std::uint32_t indent = m_pad.below(4);
        out.append(indent, '\t');
        out += text;
        const std::uint32_t k = m_pad.below(100);
        out += k < 60 ? "\r\n" : k < 85 ? "\n" : "\r";
    }

    std::string words(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i > 0) s += ' ';
            s += m_pad.pick(m_v.words);
        }
        return s;
    }

    // Every random draw in a statement of its own: the order in which the operands of + are evaluated is
    // unspecified, and the pages must come out the same with every compiler.
    std::string num(int lo, int hi) { return std::to_string(m_pad.range(lo, hi)); }

    // Style and script blocks and comments, as the head of a real contents page carries them.
    void headFiller(std::string& out, std::size_t quota) {
        static const char* const kColours[] = {"#800000", "#000080", "#336699", "#666666", "#CC0000"};
        const std::size_t end = out.size() + quota;
        while (out.size() < end) {
            const std::uint32_t kind = m_pad.below(3);
            const std::string block = num(1, 999);
            if (kind == 0) {
                line(out, "<style type=\"text/css\">");
                line(out, "<!--");
                for (int i = m_pad.range(8, 30); i > 0; --i) {
                    const std::string colour = kColours[m_pad.below(5)];
                    const std::string size = num(7, 12);
                    const std::string margin = num(0, 9);
                    line(out, ".k" + block + "x" + std::to_string(i) + " { color: " + colour +
                                  "; font: " + size + "pt Verdana, Tahoma, sans-serif; margin: 0 0 " +
                                  margin + "px 12px }");
                }
                line(out, "-->");
                line(out, "</style>");
            } else if (kind == 1) {
                line(out, "<script language=\"JavaScript\" type=\"text/javascript\">");
                line(out, "<!--");
                for (int i = m_pad.range(3, 10); i > 0; --i) {
                    line(out, "// " + sentence(m_pad, m_v, false));
                    const std::string text = words(4);
                    const std::string limit = num(1, 99);
                    line(out, "function show" + block + "_" + std::to_string(i) + "(id) { var t = \"" + text +
                                  "\"; if (id < " + limit +
                                  " && document.all) { document.all[id].style.display = (t.length > 3) ? "
                                  "\"none\" : \"block\"; } return t; }");
                }
                line(out, "//-->");
                line(out, "</script>");
            } else {
                line(out, "<!-- " + sentence(m_pad, m_v, false) + " -->");
                const int count = m_pad.range(5, 15);
                line(out, "<meta name=\"keywords\" content=\"" + words(count) + "\">");
            }
        }
    }

    // Annotations, comments, links that lead elsewhere, inline styles and entities between the articles.
    // Nothing here opens a bold tag, a line break tag or a link into pub.
    void bodyFiller(std::string& out, std::size_t quota) {
        const std::size_t end = out.size() + quota;
        while (out.size() < end) {
            const std::uint32_t kind = m_pad.below(5);
            const std::string n = num(1, 9999);
            if (kind == 0) {
                std::string p =
                    "<p class=\"ann\" style=\"margin: 0 0 4px 12px; color: #555555; font-size: 8pt\">";
                for (int i = m_pad.range(2, 5); i > 0; --i)
                    p += sentence(m_pad, m_v, false) + " ";
                line(out, p + "</p>");
            } else if (kind == 1) {
                line(out, "<!-- block " + n + ": " + sentence(m_pad, m_v, false) + " -->");
            } else if (kind == 2) {
                const std::string forum = words(1);
                const std::string picture = words(2);
                line(out, "<span class=\"more\">[<a href=\"http://www.kelvra.ru/forum/topic" + n +
                              ".html\" target=\"_blank\">" + forum + "</a>] [<a href=\"../img/pic" + n +
                              ".gif\" onclick=\"return show(this)\">" + picture + "</a>]</span>");
            } else if (kind == 3) {
                const std::string quoted = words(3);
                const std::string year = num(1999, 2006);
                const std::string product = words(2);
                line(out, "<div style=\"border-top: 1px dotted #999999; padding: 2px 0 2px 8px\">&laquo;" +
                              quoted + "&raquo; &mdash; &copy; " + year + "&nbsp;&nbsp;&#8470;&nbsp;" + n +
                              " &amp; &quot;" + product + "&quot;</div>");
            } else {
                line(out, "<script type=\"text/javascript\">document.write(\"<img src='../img/c" + n +
                              ".gif' width=1 height=1>\");</script>");
            }
        }
    }

    std::string head(const std::string& title) const {
        return "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
               "charset=windows-1251\">\n"
               "<title>" +
               title + "</title>\n";
    }

    std::string issueTitle() const {
        return std::string(kEditionTitles[m_issue.edition - 1]) + " \xB9" + m_number;
    }

    void planArticles() {
        const int total = m_issue.articles;
        const int inMaterials = total - total * 3 / 10;
        // Topics of this issue, Новости first in most issues.
        const int topicCount =
            std::min<int>(int(m_v.topics.size()) - 1, std::clamp(total / 8, 3, 10) + m_r.range(0, 2));
        std::vector<int> all;
        for (int i = 0; i + 1 < int(m_v.topics.size()); ++i) // the last one, Редакция, is for the editorial
            all.push_back(i);
        for (int i = 0; i < topicCount; ++i)
            std::swap(all[std::size_t(i)], all[std::size_t(i) + m_r.below(all.size() - std::size_t(i))]);
        m_sections.assign(all.begin(), all.begin() + topicCount);
        if (m_r.perMille(800)) {
            auto news = std::find(m_sections.begin(), m_sections.end(), 0);
            if (news != m_sections.end())
                std::iter_swap(news, m_sections.begin());
            else
                m_sections.front() = 0;
        }
        std::vector<int> weight;
        int sum = 0;
        for (int i = 0; i < topicCount; ++i) {
            weight.push_back(1 + int(m_r.below(4)));
            sum += weight.back();
        }
        m_materialsBySection.assign(std::size_t(topicCount), {});
        m_statiiBySection.assign(std::size_t(topicCount), {});
        int section = 0, upTo = weight[0];
        for (int j = 0; j < inMaterials; ++j) {
            while (section + 1 < topicCount && j * sum >= upTo * inMaterials)
                upTo += weight[std::size_t(++section)];
            m_materialsBySection[std::size_t(section)].push_back(
                addArticle(m_sections[std::size_t(section)], 'a'));
        }
        for (int j = inMaterials; j < total; ++j) {
            const int s = int(m_r.below(std::size_t(topicCount)));
            m_statiiBySection[std::size_t(s)].push_back(addArticle(m_sections[std::size_t(s)], 's'));
        }
    }

    std::size_t addArticle(int topic, char letter) {
        const int id = int(m_c.articles.size()) + 1;
        const std::string ids = std::to_string(id);
        const std::string dir = m_v.topics[std::size_t(topic)].dir + "/";
        Article a;
        a.topic = topic;
        a.title = makeTitle(m_r, m_v, m_showcase && id <= 3 ? 15 + id : -1); // &amp; &quot; and a number
        std::uint32_t kind = m_r.below(1000);
        if (m_showcase && id <= 7) {
            static constexpr std::uint32_t kRareNames[] = {0,   50,  100, 115,
                                                           135, 145, 165}; // one of each name
            kind = kRareNames[id - 1];
        }
        if (kind < 50) {
            static const char* const caps[] = {"Page", "Obzor", "ReadMe", "Test", "Story"};
            a.disk = dir + caps[m_r.below(5)] + ids + ".htm";
        } else if (kind < 100) {
            a.disk = std::string(1, letter) + "t" + ids + ".htm";
        } else if (kind < 115) {
            static const char* const spaced[] = {"Total Commander ", "new page ", "My Docs "};
            a.disk = dir + spaced[m_r.below(3)] + ids + ".htm";
        } else if (kind < 135) {
            a.disk = dir + letter + ids + ".html";
        } else if (kind < 145) {
            a.disk = dir + "q&a" + ids + ".htm";
        } else if (kind < 165) {
            a.disk = dir + std::to_string(2000 + m_r.range(1, 5)) + "/" + letter + ids + ".htm";
        } else if (kind < 172) {
            a.disk = "files/prog" + ids + ".zip";
            a.html = false;
            a.title = m_v.download + m_r.pick(m_v.products);
        } else {
            a.disk = dir + letter + ids + ".htm";
        }
        for (char c : a.disk) {
            if (c == ' ')
                a.href += "%20";
            else if (c == '&')
                a.href += "&amp;";
            else
                a.href += c;
        }
        m_c.articles.push_back(std::move(a));
        return m_c.articles.size() - 1;
    }

    LinkStyle chooseStyle(bool mayRunOn, bool afterRunOn) {
        static constexpr std::uint32_t kShowcase[] = {0, 30, 60, 170, 80, 100, 120};
        std::uint32_t k = m_r.below(1000);
        if (m_showcase && m_showStyle < int(std::size(kShowcase))) {
            const std::uint32_t want = kShowcase[m_showStyle];
            const bool fits = (want != 0 || !afterRunOn) && ((want != 60 && want != 80) || mayRunOn);
            if (fits) {
                k = want;
                ++m_showStyle;
            }
        }
        if (k < 30 && !afterRunOn) return LinkStyle::UpperHref;
        if (k >= 30 && k < 60) return LinkStyle::FontTitle;
        if (k >= 60 && k < 80 && mayRunOn) return LinkStyle::UpperClose;
        if (k >= 80 && k < 100 && mayRunOn) return LinkStyle::ImageThenText;
        if (k >= 100 && k < 120) return LinkStyle::Wrapped;
        if (k >= 120 && k < 170) return LinkStyle::Attributes;
        return LinkStyle::Plain;
    }

    void link(std::string& s, const std::string& href, const std::string& title, LinkStyle style) {
        ++m_c.links;
        switch (style) {
        case LinkStyle::UpperHref:
            s += "<A HREF=\"../pub/" + href + "\">" + title + "</a>";
            break;
        case LinkStyle::UpperClose:
            s += "<a href=\"../pub/" + href + "\">" + title + "</A>";
            break;
        case LinkStyle::FontTitle:
            s += "<a href=\"../pub/" + href + "\"><font color=\"#CC0000\">" + title + "</font></a>";
            break;
        case LinkStyle::ImageThenText:
            s += "<a href=\"../pub/" + href +
                 "\"><img src=\"../img/new.gif\" width=28 height=11 border=0></a> " + title;
            break;
        case LinkStyle::Wrapped: {
            std::string t = title;
            const auto space = t.find(' ');
            if (space != std::string::npos) t[space] = '\n';
            s += "<a href=\"../pub/" + href + "\">" + t + "</a>";
            break;
        }
        case LinkStyle::Attributes:
            s += "<a class=\"m\" href=\"../pub/" + href + "\" target=\"_self\">" + title + "</a>";
            break;
        case LinkStyle::Plain:
            s += "<a href=\"../pub/" + href + "\">" + title + "</a>";
            break;
        }
    }

    void heading(std::string& s, const std::string& name) {
        if (!m_topics) {
            s += m_r.perMille(500) ? "<hr size=1>\n" : "<br>\n";
            return;
        }
        const std::uint32_t k = m_r.below(100);
        const bool empty = m_r.perMille(30);
        const std::string text = (m_showcase ? m_headings == 1 : empty) ? std::string() : name;
        ++m_headings;
        if (k < 45)
            s += "<b>" + text + "</b><br>\n";
        else if (k < 70)
            s += "<B class=\"t\">" + text + "</B><br>\n";
        else if (k < 85)
            s += "<p><b><font color=\"#990000\">" + text + "</font></b><br>\n";
        else if (k < 95)
            s += "<tr><td><b> " + text + " </b><br>\n";
        else
            s += "<B>" + text + "</B><BR>\n";
    }

    // A run of links under one heading; only the last one may not run on.
    void linkList(std::string& s, const std::vector<std::size_t>& list, bool annotated) {
        bool afterRunOn = false;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Article& a = m_c.articles[list[i]];
            const bool mayRunOn = !annotated && i + 1 < list.size();
            const LinkStyle style = chooseStyle(mayRunOn, afterRunOn);
            link(s, a.href, a.title, style);
            afterRunOn = runsOn(style);
            s += "<br>\n";
            if (annotated && m_r.perMille(600)) s += "<small>" + sentence(m_r, m_v, false) + "</small><br>\n";
            if (!afterRunOn) slot(s);
        }
    }

    std::string indexPage(const Names& n) {
        std::string s = head(issueTitle());
        s += "</head>\n<frameset cols=\"210,*\" border=\"0\" framespacing=\"0\">\n";
        s += std::string("  <frame name=\"left\" src=\"") + n.srcLeft + "\" scrolling=\"auto\" noresize>\n";
        s += std::string("  <frame name=\"main\" src=\"") + n.srcMain + "\">\n";
        s +=
            "  <noframes><body><a href=\"pages/materials.htm\">" + m_v.materials + "</a></body></noframes>\n";
        s += "</frameset>\n</html>\n";
        return s;
    }

    std::string leftPage() {
        std::string s = head("menu");
        s += "<style>a { text-decoration: none } body { font-size: 9pt }</style>\n<base target=\"main\">\n";
        slot(s);
        s += "</head>\n<body bgcolor=\"#E8E8F0\" leftmargin=\"4\">\n"
             "<p align=\"center\"><img src=\"../img/logo.gif\" alt=\"Kelvrania\"></p>\n";
        s += "<a href=\"main.htm\">" + m_v.home + "</a><br>\n";
        s += "<a href=\"../pages/materials.htm\">" + m_v.materials + "</a><br>\n";
        s += "<a href=\"../pages/statii.htm\">" + m_v.articles + "</a><br>\n<hr>\n";
        if (m_topics && m_r.perMille(700)) s += "<b>" + m_v.readInIssue + "</b><br>\n";
        // Highlights: articles the contents pages list as well, now and then in another letter case.
        std::vector<std::size_t> picks;
        const std::size_t count = std::min<std::size_t>(m_c.articles.size(), std::size_t(m_r.range(2, 6)));
        while (picks.size() < count) {
            std::size_t i = m_r.below(m_c.articles.size());
            if (m_showcase && picks.empty()) i = 0; // an article of the materials page
            if (std::find(picks.begin(), picks.end(), i) == picks.end()) picks.push_back(i);
        }
        for (std::size_t i : picks) {
            const Article& a = m_c.articles[i];
            std::string href = a.href;
            const auto slash = href.find('/');
            if (slash != std::string::npos && (m_r.perMille(100) || (m_showcase && i == picks.front())))
                href = asciiUpper(href.substr(0, slash)) + href.substr(slash);
            link(s, href, a.title, LinkStyle::Plain);
            s += "<br>\n";
            slot(s);
        }
        if (rare(200)) {
            Article a;
            a.topic = int(m_v.topics.size()) - 1;
            a.disk = a.href = "anons/next.htm";
            a.title = m_v.nextIssue;
            m_c.articles.push_back(a);
            link(s, a.href, a.title, LinkStyle::Attributes);
            s += "<br>\n";
        }
        slot(s);
        s += "<hr>\n<small>&copy; Kelvrania</small>\n</body>\n</html>\n";
        return s;
    }

    std::string contentsHead(const std::string& what) {
        std::string s = head(issueTitle() + ": " + what);
        s += "<style type=\"text/css\">\n.t { color: #800000; font-size: 11pt }\na { color: #000080 "
             "}\n</style>\n";
        slot(s);
        s += "</head>\n<body bgcolor=\"#FFFFFF\" text=\"#000000\">\n<table width=\"100%\" "
             "border=\"0\"><tr><td>\n";
        return s;
    }

    std::string materialsPage() {
        std::string s = contentsHead(m_v.contents);
        s += "<h2 align=\"center\">" + m_v.materials + " " + W("номера") + "</h2>\n";
        if (m_topics && rare(50)) {
            // A link ahead of the first heading.
            Article a;
            a.topic = int(m_v.topics.size()) - 1;
            a.disk = a.href = "redakt/slovo.htm";
            a.title = m_v.editorialTitle;
            m_c.articles.push_back(a);
            link(s, a.href, m_v.editorial, LinkStyle::Plain);
            s += "<br>\n";
        }
        std::vector<std::size_t> listed;
        for (std::size_t i = 0; i < m_sections.size(); ++i) {
            if (m_materialsBySection[i].empty()) continue;
            heading(s, m_v.topics[std::size_t(m_sections[i])].name);
            linkList(s, m_materialsBySection[i], false);
            listed.insert(listed.end(), m_materialsBySection[i].begin(), m_materialsBySection[i].end());
            s += "<br>\n";
        }
        // The same article twice on one page.
        if (listed.size() >= (m_showcase ? 1u : 10u) && rare(300)) {
            std::vector<std::size_t> best;
            const int n = m_r.range(1, 3);
            for (int i = 0; i < n; ++i)
                best.push_back(listed[m_r.below(listed.size())]);
            std::sort(best.begin(), best.end());
            best.erase(std::unique(best.begin(), best.end()), best.end());
            heading(s, m_v.bestOf);
            linkList(s, best, false);
        }
        slot(s);
        s +=
            "</td></tr></table>\n<p align=\"center\"><small>&copy; Kelvrania</small></p>\n</body>\n</html>\n";
        return s;
    }

    std::string statiiPage() {
        std::string s = contentsHead(m_v.articles);
        s += "<h3>" + m_v.materials + ": " + W("статьи номера") + "</h3>\n";
        for (std::size_t i = 0; i < m_sections.size(); ++i) {
            std::vector<std::size_t> list = m_statiiBySection[i];
            // Now and then an article of the materials page again.
            if (!m_materialsBySection[i].empty() && rare(80))
                list.push_back(m_materialsBySection[i][m_r.below(m_materialsBySection[i].size())]);
            if (list.empty()) continue;
            heading(s, m_v.topics[std::size_t(m_sections[i])].name);
            linkList(s, list, true);
        }
        if (m_showcase) {
            // Names as an archive unpacked without converting them keeps them: Windows-1251 bytes on disk,
            // one reached through an escape. Fixed, and drawing nothing, so the rest stays as it was.
            static const char* const kDisk[] = {"\xC0\xC1\xC2.htm", "odd\x98_dir/a\x98\xFF.htm", "b\x98.htm"};
            for (std::size_t i = 0; i < std::size(kDisk); ++i) {
                Article a;
                a.topic = m_sections.front();
                a.disk = kDisk[i];
                a.href = i == 2 ? "b%98.htm" : a.disk;
                a.title = W("Имя файла без перекодировки");
                a.word = kRawNameWords[i];
                m_c.articles.push_back(a);
                link(s, a.href, a.title, LinkStyle::Plain);
                s += "<br>\n";
            }
        }
        if (rare(30)) {
            // An address with nothing after the folder: no article, but a link all the same.
            link(s, "", m_v.archive, LinkStyle::Plain);
            s += "<br>\n";
        }
        slot(s);
        s += "</td></tr></table>\n</body>\n</html>\n";
        return s;
    }

    std::string mainPage() {
        std::string s = head(issueTitle());
        s += "</head>\n<body bgcolor=\"#FFFFFF\">\n<h1>" + issueTitle() + "</h1>\n";
        for (int i = m_r.range(2, 4); i > 0; --i)
            s += paragraph(m_r, m_v);
        s += "<p><a href=\"../pages/materials.htm\">" + m_v.materials +
             "</a> | <a href=\"../pages/statii.htm\">" + m_v.articles + "</a></p>\n</body>\n</html>\n";
        return s;
    }

    const PlannedIssue& m_issue;
    Rng m_r;
    const Vocab& m_v;
    std::string m_number;
    bool m_topics;
    bool m_showcase;
    bool m_full;
    Rng m_pad;                        // filler of full-size pages only
    std::vector<std::size_t> m_slots; // filler places in the contents page being built
    int m_showStyle = 0;
    int m_headings = 0;
    bool m_crlf = true;
    IssueContent m_c;
    std::vector<int> m_sections;
    std::vector<std::vector<std::size_t>> m_materialsBySection, m_statiiBySection;
};

std::string articlePage(const Article& a, std::uint64_t seed) {
    Rng r(seed);
    const Vocab& v = Vocab::get();
    if (!a.html) {
        std::string zip("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10);
        for (int i = r.range(200, 2000); i > 0; --i)
            zip += char(r.below(256));
        return zip;
    }
    const Topic& topic = v.topics[std::size_t(a.topic)];
    std::string s =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
        "<title>" +
        a.title + "</title>\n";
    s += "<style type=\"text/css\">\n<!--\nbody { font-family: Verdana, Tahoma, sans-serif; font-size: 10pt "
         "}\n"
         ".zag { color: #800000; font-weight: bold }\n-->\n</style>\n";
    s += "<script language=\"JavaScript\" type=\"text/javascript\">\n<!--\n// " + sentence(r, v) +
         "\nvar rubrika = \"" + topic.dir + "\", slovo = \"" + r.pick(v.words) +
         "\";\nfunction openPic(u) { if (u < \"a\") return; window.open(u, \"pic\", "
         "\"width=640,height=480\"); }\n"
         "//-->\n</script>\n</head>\n<body bgcolor=\"#FFFFFF\">\n";
    s += "<p class=\"zag\">" + a.title + "</p>\n";
    s +=
        "<p align=\"right\"><i>" + v.author + r.pick(v.firstNames) + " " + r.pick(v.lastNames) + "</i></p>\n";
    for (int i = r.range(3, 8); i > 0; --i) {
        s += paragraph(r, v);
        if (r.perMille(120))
            s += "<p align=\"center\"><img src=\"pic" + std::to_string(r.range(1, 9)) +
                 ".gif\" onclick=\"openPic(this.src)\"></p>\n";
        if (r.perMille(80)) s += "<pre>C:\\&gt; copy con autoexec.bat &amp;&amp; echo &lt;ok&gt;</pre>\n";
    }
    if (!a.word.empty()) s += "<p>" + a.word + "</p>\n";
    s += "<p><a href=\"javascript:history.back()\">" + v.back + "</a> &nbsp;&laquo;Kelvrania&raquo; &copy; " +
         std::to_string(r.range(1999, 2006)) + "</p>\n</body>\n</html>\n";
    if (r.perMille(700)) {
        std::string crlf;
        for (char c : s) {
            if (c == '\n') crlf += '\r';
            crlf += c;
        }
        return crlf;
    }
    return s;
}

class Writer {
public:
    Writer(fs::path root, GenSummary& summary) : m_root(std::move(root)), m_summary(summary) {}

    // Where a name lies on disk. Windows keeps names as UTF-16, so the Windows-1251 bytes an archive
    // unpacked elsewhere keeps are there the letters those bytes stand for.
    fs::path onDisk(const std::string& rel) const {
#if defined(_WIN32)
        return m_root / platform::pathFromUtf8(cp1251::toUtf8(cp1251::fromFileName(rel)));
#else
        return m_root / platform::pathFromUtf8(rel);
#endif
    }

    void file(const std::string& rel, std::string_view bytes) {
        const auto slash = rel.rfind('/');
        if (slash != std::string::npos) dir(rel.substr(0, slash));
        const fs::path p = onDisk(rel);
        std::ofstream f(p, std::ios::binary | std::ios::trunc);
        if (!f) throw std::runtime_error("cannot create " + platform::pathToUtf8(p));
        f.write(bytes.data(), std::streamsize(bytes.size()));
        f.close();
        if (!f) throw std::runtime_error("cannot write " + platform::pathToUtf8(p));
        ++m_summary.files;
        m_summary.bytes += bytes.size();
    }

    void dir(const std::string& rel) {
        if (m_made.count(rel)) return;
        std::error_code ec;
        const fs::path p = onDisk(rel);
        fs::create_directories(p, ec);
        if (ec) throw std::runtime_error("cannot create " + platform::pathToUtf8(p) + ": " + ec.message());
        m_made.insert(rel);
    }

private:
    fs::path m_root;
    GenSummary& m_summary;
    std::unordered_set<std::string> m_made;
};

// Writes one issue's pages under folder; returns what it holds.
IssueContent writeIssue(Writer& w, const PlannedIssue& issue, const std::string& folder, bool withArticles,
                        bool fullSize) {
    IssueContent c =
        IssueBuilder(issue, issue.number.substr(issue.number.find_first_not_of(' ')), fullSize).build();
    const Names& n = kNames[issue.caseStyle];
    const std::string base = folder + "/";
    w.file(base + n.index, c.index);
    w.file(base + n.frameDir + "/" + n.left, c.left);
    w.file(base + n.pagesDir + "/" + n.materials, c.materials);
    w.file(base + n.pagesDir + "/" + n.statii, c.statii);
    if (withArticles) {
        // A one-pixel GIF for each picture the pages name, in this issue's letter case.
        static constexpr unsigned char kPixel[] = {
            'G', 'I', 'F', '8', '9', 'a',  1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0x21, 0xf9, 4,
            1,   0,   0,   0,   0,   0x2c, 0, 0, 0, 0, 1,    0, 1, 0, 0, 2, 2,    0x44, 1,    0,    0x3b};
        const std::string_view pixel(reinterpret_cast<const char*>(kPixel), sizeof kPixel);
        w.file(base + n.imgDir + "/" + n.logo, pixel);
        w.file(base + n.imgDir + "/" + n.newMark, pixel);
        w.file(base + n.frameDir + "/" + n.main, c.main);
        for (std::size_t i = 0; i < c.articles.size(); ++i)
            w.file(base + n.pub + "/" + c.articles[i].disk,
                   articlePage(c.articles[i], mix(issue.seed, i + 1)));
    }
    return c;
}

std::string numberText(int k, Rng& r) {
    if (k < 999) {
        const int n = k + 1;
        const std::string d = std::to_string(n);
        const std::uint32_t u = r.below(100);
        if (n < 10) return u < 65 ? "0" + d : u < 85 ? "00" + d : d;
        if (n < 100) return u < 90 ? d : "0" + d;
        return d;
    }
    // Supplements once the plain numbers run out: 01a .. 99a, 01b ...
    const int j = k - 999;
    const int n = j % 99 + 1;
    return (n < 10 ? "0" : "") + std::to_string(n) + char('a' + j / 99);
}

bool startsWithFolded(const std::string& name, const std::string& prefix) {
    return name.size() >= prefix.size() && asciiLower(name.substr(0, prefix.size())) == asciiLower(prefix);
}

} // namespace

ArchivePlan PlanArchive(const GenOptions& options) {
    if (options.issues < 0 || options.issues > kMaxIssues)
        throw std::invalid_argument("the issue count must lie between 0 and " + std::to_string(kMaxIssues));
    if (options.articlesPerIssue < 0 || options.articlesPerIssue > 10000)
        throw std::invalid_argument("the article count per issue must lie between 0 and 10000");
    for (std::size_t e = 0; e < 3; ++e) {
        const std::string& p = options.prefixes[e];
        if (p.empty() || p.find_first_of("/\\") != std::string::npos || p.find('\0') != std::string::npos)
            throw std::invalid_argument("edition prefix " + std::to_string(e + 1) +
                                        " is empty or holds a separator");
        for (std::size_t o = 0; o < e; ++o)
            if (asciiLower(p) == asciiLower(options.prefixes[o]))
                throw std::invalid_argument("editions " + std::to_string(o + 1) + " and " +
                                            std::to_string(e + 1) + " have the same prefix");
    }

    ArchivePlan plan;
    Rng r(mix(options.seed, 0x706C616E));
    std::unordered_set<std::string> used; // entry names, lower case
    const int a = options.articlesPerIssue;
    for (int e = 0; e < 3; ++e) {
        const int count = options.issues / 3 + (e < options.issues % 3 ? 1 : 0);
        const std::string& prefix = options.prefixes[std::size_t(e)];
        for (int k = 0; k < count; ++k) {
            PlannedIssue is;
            is.edition = e + 1;
            const std::string raw = numberText(k, r);
            std::string base = prefix + raw;
            const std::uint32_t letterCase = r.below(100);
            if (letterCase < 4 || (e == 0 && k == 3))
                base = asciiLower(base);
            else if (letterCase < 6)
                base = asciiUpper(base);
            is.number = std::string(3 - raw.size(), ' ') + asciiUpper(raw);
            std::uint32_t form = r.below(100);
            // The first issues of every edition show each form and spelling at least once.
            if (k == 1) form = 70;
            if (k == 2) form = 85;
            if (k == 3) form = 0;
            if (form < 70) {
                is.form = IssueForm::Plain;
                is.entry = is.folder = base;
            } else if (form < 85) {
                is.form = IssueForm::UnpackedZip;
                is.entry = base + (r.perMille(200) ? ".ZIP" : ".zip");
                is.folder = is.entry + "/" + base;
            } else {
                is.form = IssueForm::Nested;
                is.entry = base;
                is.folder = base + "/" + base;
            }
            const std::uint32_t style = r.below(100);
            is.caseStyle = style < 8 ? 1 : style < 12 ? 2 : 0;
            is.articles = a == 0 ? 0 : std::max(1, a * 7 / 10 + int(r.below(std::size_t(a * 6 / 10 + 1))));
            is.seed = mix(mix(options.seed, std::uint64_t(e + 1)), std::uint64_t(k));
            is.showcase = k == 0;
            if (k == 3) is.caseStyle = 1;
            if (k == 4) is.caseStyle = 2;
            // The indexer gives an entry to the longest prefix it begins with.
            for (std::size_t o = 0; o < 3; ++o)
                if (o != std::size_t(e) && options.prefixes[o].size() > prefix.size() &&
                    startsWithFolded(is.entry, options.prefixes[o]))
                    throw std::invalid_argument("the folder " + is.entry + " would belong to edition " +
                                                std::to_string(o + 1));
            if (!used.insert(asciiLower(is.entry)).second)
                throw std::invalid_argument("two issues share the folder " + is.entry);
            plan.issues.push_back(std::move(is));
        }
    }

    const std::string& gold = options.prefixes[0];
    auto addDecoy = [&](DecoyKind kind, const std::string& name, std::size_t original = 0) {
        if (!used.insert(asciiLower(name)).second) return false;
        plan.decoys.push_back({kind, name, original});
        return true;
    };
    addDecoy(DecoyKind::RootFile, "readme.txt");
    addDecoy(DecoyKind::RootFile, "autorun.inf");
    addDecoy(DecoyKind::UnrelatedFolder, "Docs");
    addDecoy(DecoyKind::PagesFolder, gold);
    addDecoy(DecoyKind::ZipPagesFolder, gold + ".zip");
    addDecoy(DecoyKind::PagesFolder, gold + " 09");
    for (int n = 7; n < 100; ++n)
        if (addDecoy(DecoyKind::FileNamedLikeIssue, gold + (n < 10 ? "0" : "") + std::to_string(n) + ".zip"))
            break;
    for (std::size_t i = 0; i < plan.issues.size(); ++i) {
        const PlannedIssue& is = plan.issues[i];
        if (is.form == IssueForm::Plain && is.caseStyle == 0 &&
            addDecoy(DecoyKind::DuplicateIssue, is.entry + ".zip", i))
            break;
    }
    return plan;
}

GenSummary GenerateArchive(const GenOptions& options) {
    const ArchivePlan plan = PlanArchive(options);
    std::error_code ec;
    if (fs::exists(options.out, ec)) {
        if (!fs::is_directory(options.out, ec))
            throw std::invalid_argument(options.out.string() + " is not a folder");
        if (!fs::is_empty(options.out, ec))
            throw std::invalid_argument(options.out.string() + " is not empty");
    }
    GenSummary summary;
    Writer w(options.out, summary);
    w.dir("");
    const bool withArticles = !options.contentsOnly;
    for (const PlannedIssue& is : plan.issues) {
        const IssueContent c = writeIssue(w, is, is.folder, withArticles, options.fullSizeContents);
        ++summary.issues;
        summary.links += c.links;
        summary.articles += c.articles.size();
    }
    for (std::size_t i = 0; i < plan.decoys.size(); ++i) {
        const Decoy& d = plan.decoys[i];
        PlannedIssue fake;
        fake.edition = 1;
        fake.number = "  0";
        fake.articles = std::min(options.articlesPerIssue, 20);
        fake.seed = mix(options.seed, 0xDEC0 + i);
        switch (d.kind) {
        case DecoyKind::RootFile:
            w.file(d.name, W("Архив журнала Kelvrania.\r\nКаждый номер лежит в своей папке.\r\n"));
            break;
        case DecoyKind::UnrelatedFolder:
            w.file(d.name + "/readme.htm", W("<html><body><h1>Материалы</h1><b>Документация</b><br>\r\n"
                                             "<a href=\"../pub/help.htm\">Справка</a></body></html>\r\n"));
            break;
        case DecoyKind::PagesFolder:
            writeIssue(w, fake, d.name, false, options.fullSizeContents);
            break;
        case DecoyKind::ZipPagesFolder:
            writeIssue(w, fake, d.name + "/" + d.name.substr(0, d.name.size() - 4), false,
                       options.fullSizeContents);
            break;
        case DecoyKind::FileNamedLikeIssue: {
            Rng r(fake.seed);
            std::string zip("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10);
            for (int k = 0; k < 512; ++k)
                zip += char(r.below(256));
            w.file(d.name, zip);
            break;
        }
        case DecoyKind::DuplicateIssue: {
            const PlannedIssue& original = plan.issues[d.original];
            writeIssue(w, original, d.name + "/" + original.entry, withArticles, options.fullSizeContents);
            break;
        }
        }
        ++summary.decoys;
    }
    return summary;
}

} // namespace marovex::gen
