// korvista-cli --format html: the page taken apart (every row, grouped per table with its count, the
// databases masked, nothing fetched from elsewhere) and rendered by headless Chromium, on screen and printed.
// With KORVISTA_REPORT_SCREENSHOT=FILE the screenshot of the targets page is kept there (scripts/screenshot).
#include "cli/cli_test_helpers.h"

#include <QXmlStreamReader>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

using namespace korvista;
using namespace korvista::clitest;
using ::testing::HasSubstr;

namespace {

constexpr unsigned kTimeLimit = 60;

// What a reader of the page sees, in document order.
struct Page {
    std::vector<std::string> elements; // every element name
    std::map<std::string, std::vector<std::string>> attributes; // every value per attribute name
    std::vector<std::string> headings; // h2 and h3 texts
    std::vector<std::string> captions; // th texts of the row tables
    std::vector<ResultRow> rows;       // td texts of the row tables
    std::map<std::string, std::string> meta; // dt -> dd of the first list (later ones: per target)
    std::vector<std::string> database2; // dd of "Database 2", in order
    std::vector<std::string> summaries; // p.summary texts
    std::string style;
    std::string text; // all text
};

Page ParsePage(const std::string& html) {
    Page page;
    QXmlStreamReader xml(QByteArray::fromStdString(html));
    std::vector<std::string> open; // element names, with the class of each in classes
    std::vector<std::string> classes;
    std::string current; // text of the innermost element collected
    std::vector<std::string> cells;
    std::string lastTerm;
    bool inRowTable = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const std::string name = xml.name().toString().toStdString();
            const std::string cls = xml.attributes().value("class").toString().toStdString();
            page.elements.push_back(name);
            for (const QXmlStreamAttribute& attribute : xml.attributes())
                page.attributes[attribute.name().toString().toStdString()].push_back(
                    attribute.value().toString().toStdString());
            if (name == "table")
                inRowTable = cls == "rows";
            if (name == "tr")
                cells.clear();
            if (name == "th" || name == "td" || name == "h2" || name == "h3" || name == "dt" || name == "dd" ||
                (name == "p" && cls.find("summary") != std::string::npos))
                current.clear();
            open.push_back(name);
            classes.push_back(cls);
        } else if (xml.isCharacters()) {
            const std::string text = xml.text().toString().toStdString();
            page.text += text;
            if (!open.empty() && open.back() == "style")
                page.style += text;
            current += text;
        } else if (xml.isEndElement()) {
            const std::string name = open.back();
            const std::string cls = classes.back();
            open.pop_back();
            classes.pop_back();
            if (name == "h2" || name == "h3")
                page.headings.push_back(current);
            else if (name == "th" && inRowTable && page.captions.size() < 5)
                page.captions.push_back(current);
            else if (name == "td" && inRowTable)
                cells.push_back(current);
            else if (name == "tr" && inRowTable && cells.size() == 5)
                page.rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
            else if (name == "dt")
                lastTerm = current;
            else if (name == "dd" && lastTerm == "Database 2")
                page.database2.push_back(current);
            else if (name == "dd" && !page.meta.count(lastTerm))
                page.meta[lastTerm] = current;
            else if (name == "p" && cls.find("summary") != std::string::npos)
                page.summaries.push_back(current);
            else if (name == "table")
                inRowTable = false;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    return page;
}

// The difference items a row counts.
int Count(const ResultRow& row) {
    if (row.difference.rfind("FIELD ", 0) == 0)
        return 1;
    return static_cast<int>(std::count(row.difference.begin(), row.difference.end(), ',')) + 1;
}

// "Table (n)" for each run of rows of one table.
std::vector<std::string> TableHeadings(const std::vector<ResultRow>& rows) {
    std::vector<std::string> headings;
    for (std::size_t i = 0; i < rows.size();) {
        int count = 0;
        std::size_t end = i;
        while (end < rows.size() && rows[end].table == rows[i].table)
            count += Count(rows[end++]);
        headings.push_back(rows[i].table + " (" + std::to_string(count) + ")");
        i = end;
    }
    return headings;
}

// Nothing on the page asks for another file: no element that loads one, no link off the page, no
// style that imports or points anywhere.
void ExpectSelfContained(const Page& page, const std::string& html) {
    for (const char* element : {"link", "script", "img", "iframe", "object", "embed", "source", "video", "audio",
                                "base", "form", "picture", "svg", "frame"})
        EXPECT_EQ(std::count(page.elements.begin(), page.elements.end(), element), 0) << element;
    for (const char* attribute : {"src", "srcset", "action", "background", "poster", "data"})
        EXPECT_EQ(page.attributes.count(attribute), 0u) << attribute;
    std::set<std::string> ids;
    if (page.attributes.count("id"))
        ids.insert(page.attributes.at("id").begin(), page.attributes.at("id").end());
    if (page.attributes.count("href"))
        for (const std::string& href : page.attributes.at("href")) {
            ASSERT_FALSE(href.empty());
            EXPECT_EQ(href[0], '#') << href;
            EXPECT_TRUE(ids.count(href.substr(1))) << href << " points at nothing";
        }
    for (const char* away : {"url(", "@import", "@font-face", "://"})
        EXPECT_EQ(html.find(away), std::string::npos) << away;
    EXPECT_FALSE(page.style.empty());
}

std::string ChromiumPath() {
    if (const char* path = std::getenv("KORVISTA_CHROMIUM"))
        return path;
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(path))
            return path;
    return {};
}

class HtmlReport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        BuildSamples(dir_->Path());
        WriteFile(File("tenants.tsv"), "# three tenants\ntenant-a\t" + Db2() + "\ntenant-b\t" + Db1() +
                                           "\ntenant-c\t" + SqliteConnection(File("tenant-c.db")) + ";Pwd=Geheim\n");
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::string File(const std::string& name) { return dir_->File(name); }
    static std::string Db1() { return SqliteConnection(File("sample1.db")); }
    static std::string Db2() { return SqliteConnection(File("sample2.db")); }

    static std::string Run(std::vector<std::string> args, const std::string& format, int status) {
        args.insert(args.begin(), {"--format", format});
        const ProcessResult run = RunCli(args, kTimeLimit);
        EXPECT_EQ(run.status, status) << run.err;
        return run.out;
    }

private:
    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> HtmlReport::dir_;

TEST_F(HtmlReport, APairPageHoldsEveryRowGroupedPerTableWithItsCount) {
    const std::vector<std::string> args = {"--both-ways", "--no-null", Db1(), Db2() + ";Pwd=Geheim"};
    const std::string html = Run(args, "html", 1);
    const Page page = ParsePage(html);
    const std::vector<ResultRow> rows = ParseTsvRows(Run(args, "tsv", 1));
    ASSERT_GT(rows.size(), 10u);
    EXPECT_EQ(page.rows, rows);
    EXPECT_EQ(page.captions, (std::vector<std::string>{"Table", "Veldnaam", "Veld (DB1)", "Veld (DB2)", "Verschil"}));
    EXPECT_EQ(page.headings, TableHeadings(rows));
    int total = 0;
    for (const ResultRow& row : rows)
        total += Count(row);
    EXPECT_EQ(page.summaries, std::vector<std::string>{"Er zijn " + std::to_string(total) + " verschillen gevonden!"});

    EXPECT_EQ(page.meta.at("Database 1"), Db1());
    EXPECT_EQ(page.database2, std::vector<std::string>{Db2() + ";Pwd=***"});
    EXPECT_EQ(html.find("Geheim"), std::string::npos);
    EXPECT_THAT(html, HasSubstr("<span class=\"switch off\">Null-velden</span>"));
    EXPECT_THAT(html, HasSubstr("<span class=\"switch on\">Beide richtingen</span>"));
    ExpectSelfContained(page, html);

    // Without differences the page says so and lists nothing; patterns are shown.
    const Page same = ParsePage(Run({"--table", "Cust*", "--exclude-table", "*Orders", Db1(), Db1()}, "html", 0));
    EXPECT_TRUE(same.rows.empty());
    EXPECT_EQ(same.summaries, std::vector<std::string>{"Geen verschillen gevonden."});
    EXPECT_EQ(same.meta.at("Tabellen"), "Cust*");
    EXPECT_EQ(same.meta.at("Behalve"), "*Orders");
}

TEST_F(HtmlReport, ATargetsPageHasASectionPerTargetInFileOrder) {
    const std::vector<std::string> args = {"--targets", File("tenants.tsv"), "--both-ways", Db1()};
    const std::string html = Run(args, "html", 2);
    const Page page = ParsePage(html);
    // Per target its rows, in the file's order; tsv gives the same with the target in front.
    std::vector<ResultRow> expected;
    std::vector<std::string> headings;
    std::vector<ResultRow> sectionRows;
    std::string target = "tenant-a";
    const auto close = [&] {
        headings.push_back(target);
        for (const std::string& heading : TableHeadings(sectionRows))
            headings.push_back(heading);
        sectionRows.clear();
    };
    for (const std::string& line : std::vector<std::string>(Lines(Run(args, "tsv", 2)))) {
        if (line.rfind("Target\t", 0) == 0)
            continue;
        const std::size_t tab = line.find('\t');
        if (line.substr(0, tab) != target) {
            close();
            target = line.substr(0, tab);
        }
        const ResultRow row = ParseTsvRows("Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n" + line.substr(tab + 1))[0];
        expected.push_back(row);
        sectionRows.push_back(row);
    }
    close();
    headings.push_back("tenant-b");
    headings.push_back("tenant-c");
    EXPECT_EQ(page.rows, expected);
    EXPECT_EQ(page.headings, headings);
    EXPECT_EQ(page.database2, (std::vector<std::string>{Db2(), Db1(), SqliteConnection(File("tenant-c.db")) + ";Pwd=***"}));
    EXPECT_EQ(html.find("Geheim"), std::string::npos);
    ASSERT_EQ(page.summaries.size(), 4u);
    EXPECT_EQ(page.summaries[0], "1 van 3 doelen wijken af; 1 van 3 doelen mislukt");
    EXPECT_THAT(page.summaries[1], HasSubstr(" verschillen gevonden!"));
    EXPECT_EQ(page.summaries[2], "Geen verschillen gevonden.");
    EXPECT_THAT(page.summaries[3], HasSubstr("Vergelijking mislukt: database 2 cannot be opened: "));
    ExpectSelfContained(page, html);
}

TEST_F(HtmlReport, ChromiumRendersThePageOnScreenAndPrinted) {
    const std::string chromium = ChromiumPath();
    if (chromium.empty()) {
        if (std::getenv("CI") && std::string(std::getenv("CI")) == "true")
            FAIL() << "chromium is not installed (Debian package chromium)";
        GTEST_SKIP() << "chromium is not installed (Debian package chromium); the page is not rendered";
    }
    // The picture kept for the README names a short folder of its own instead of a scratch folder.
    const char* keep = std::getenv("KORVISTA_REPORT_SCREENSHOT");
    const std::string shop = keep ? "/tmp/shop" : File("shop");
    std::filesystem::create_directories(shop);
    for (const auto& [from, to] : {std::pair{"sample1.db", "reference.db"}, std::pair{"sample2.db", "tenant-a.db"},
                                   std::pair{"sample1.db", "tenant-b.db"}})
        std::filesystem::copy_file(File(from), shop + "/" + to, std::filesystem::copy_options::overwrite_existing);
    const auto in = [&](const char* name) { return SqliteConnection(shop + "/" + name); };
    WriteFile(shop + "/tenants.tsv", "tenant-a\t" + in("tenant-a.db") + "\ntenant-b\t" + in("tenant-b.db") +
                                         "\ntenant-c\t" + in("tenant-c.db") + ";Pwd=Geheim\n");
    const std::string html = Run({"--targets", shop + "/tenants.tsv", "--both-ways", in("reference.db")}, "html", 2);
    if (keep)
        std::filesystem::remove_all(shop);
    const std::string page = File("report.html");
    WriteFile(page, html);
    const std::string url = "file://" + page;
    // A profile of its own, and nothing that would reach the network on its own account.
    const auto render = [&](const std::string& profile, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                         "--no-first-run", "--disable-background-networking",
                                         "--disable-component-update", "--disable-sync",
                                         "--user-data-dir=" + File(profile)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(url);
        const ProcessResult run = RunProgram(chromium, args, 120);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0) << run.err;
        return run;
    };

    const std::string png = File("report.png");
    render("profile-png", {"--screenshot=" + png, "--window-size=1280,1500", "--hide-scrollbars"});
    const std::string image = ReadFile(png);
    ASSERT_GT(image.size(), 24u);
    EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
    const auto be32 = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(image[at + i]);
        return value;
    };
    EXPECT_EQ(be32(16), 1280u);
    EXPECT_EQ(be32(20), 1500u);
    EXPECT_GT(image.size(), 40000u) << "a blank page compresses to almost nothing";

    const std::string pdf = File("report.pdf");
    render("profile-pdf", {"--print-to-pdf=" + pdf, "--no-pdf-header-footer"});
    const std::string printed = ReadFile(pdf);
    EXPECT_EQ(printed.substr(0, 5), "%PDF-");
    std::size_t pages = 0;
    for (std::size_t at = printed.find("/Type /Page"); at != std::string::npos; at = printed.find("/Type /Page", at + 1))
        pages += printed.compare(at, 12, "/Type /Pages") != 0;
    EXPECT_GE(pages, 1u);
    EXPECT_LE(pages, 4u) << "three small targets fit on a few pages";

    // Chromium's own reading of the page finds the rows that ours found.
    const ProcessResult dom = render("profile-dom", {"--dump-dom"});
    const std::size_t rows = ParsePage(html).rows.size();
    std::size_t cells = 0;
    for (std::size_t at = dom.out.find("<td class=\"cell\">"); at != std::string::npos;
         at = dom.out.find("<td class=\"cell\">", at + 1))
        ++cells;
    EXPECT_EQ(cells, 4 * rows + 3) << "four cells per row, one per target in the overview";

    if (keep)
        std::filesystem::copy_file(png, keep, std::filesystem::copy_options::overwrite_existing);
}

} // namespace
