// The window as people see it: every glyph of a name drawn, the focus visible, menus opened by their Alt
// keys, the toolkit's own texts in Dutch, and the layout scaled as one piece.

#include "app/application.h"
#include "app/list_view.h"
#include "support/u_Utility.h"
#include "window_test_support.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QTranslator>
#include <QtTest/QTest>

namespace korvista {
namespace {

using testing::WindowFixture;

// Set in the copy of this test that runs at twice the pixel density (see ScaledWindowTest).
constexpr const char* ScaledChild = "KORVISTA_SCALED_CHILD";

class WindowLookTest : public WindowFixture {
protected:
    void ShowActive() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

// The picture of one row of a list, in device pixels: the whole row, or only its first cell.
QImage RowImage(TListView* list, int row, bool firstCell = false) {
    const QImage image = list->viewport()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QRect rect = firstCell ? list->visualRect(list->model()->index(row, 0))
                                 : list->visualItemRect(list->topLevelItem(row));
    return image.copy(QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio).toRect());
}

// How far apart two colours are, summed over the channels.
int Distance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

bool Ink(const QImage& image, int x, int y, int background) {
    return qGray(image.pixel(x, y)) + 40 < background;
}

// Pixel rows that are ink across most of the width: the grid line, not a glyph.
bool GridRow(const QImage& image, int y, int background) {
    int inked = 0;
    for (int x = 0; x < image.width(); ++x)
        inked += Ink(image, x, y, background);
    return inked > image.width() * 4 / 5;
}

// The underscores of `underscored` ("a_b_c_d") against `blank` ("a b c d"): a, b, c and d reach no lower
// than the baseline, so whatever ink `underscored` has below the lowest ink of `blank` belongs to an
// underscore. Gives the number of separate stretches of such ink, one per underscore drawn.
int UnderscoresDrawn(const QImage& underscored, const QImage& blank) {
    int background = 0; // the brightest pixel: the row's background
    for (int y = 0; y < blank.height(); ++y)
        for (int x = 0; x < blank.width(); ++x)
            background = std::max(background, qGray(blank.pixel(x, y)));
    const int width = std::min(underscored.width(), blank.width()) - 3; // short of the grid line at the right
    const int height = std::min(underscored.height(), blank.height());
    int lettersEnd = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (Ink(blank, x, y, background) && !GridRow(blank, y, background))
                lettersEnd = y;
    int stretches = 0;
    bool inStretch = false;
    for (int x = 0; x < width; ++x) {
        bool ink = false;
        for (int y = lettersEnd + 1; y < height && !ink; ++y)
            ink = Ink(underscored, x, y, background) && !GridRow(underscored, y, background);
        stretches += ink && !inStretch;
        inStretch = ink;
    }
    return lettersEnd < 0 ? -1 : stretches;
}

// Two rows that differ only in their underscores must show all three of them, whatever the font: no
// grid line may cover them.
void ExpectUnderscoresDrawn(TListView* list, const QFont& font, const std::string& what) {
    list->setFont(font);
    list->SetRows({{{"a_b_c_d"}, {}}, {{"a b c d"}, {}}});
    list->clearSelection();
    list->setCurrentItem(nullptr);
    EXPECT_EQ(UnderscoresDrawn(RowImage(list, 0, true), RowImage(list, 1, true)), 3) << what;
}

TEST_F(WindowLookTest, EveryGlyphOfANameIsDrawnInEveryFont) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QStringList families = QFontDatabase::families();
    ASSERT_TRUE(families.contains("DejaVu Sans")) << "fonts-dejavu-core is one of the packages";
    std::vector<std::pair<std::string, QFont>> fonts = {
        {"the window's font", window->font()},
        {"the platform's default font", QFontDatabase::systemFont(QFontDatabase::GeneralFont)},
    };
    for (const QString& family : families)
        if (family.startsWith("DejaVu"))
            fonts.emplace_back(family.toStdString(), QFont(family));
    for (auto [name, font] : fonts) {
        for (const int pixels : {11, 13, 16}) {
            font.setPixelSize(pixels);
            ExpectUnderscoresDrawn(window->lvTables, font, name + " at " + std::to_string(pixels) + " px");
        }
        QFont narrow = font;
        narrow.setStretch(QFont::Condensed);
        ExpectUnderscoresDrawn(window->lvDB1, narrow, name + ", condensed");
    }
}

TEST_F(WindowLookTest, RefillingInPlaceShowsExactlyTheNewRows) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TListView* list = window->lvDB2;
    for (const int count : {3, 5, 2, 0, 4}) {
        std::vector<TListView::Row> rows;
        for (int i = 0; i < count; ++i)
            rows.push_back({{QString("f%1_%2").arg(count).arg(i), "integer", "0", "Null"}, i * 10 + count});
        list->SetRows(rows);
        ASSERT_EQ(list->topLevelItemCount(), count);
        ASSERT_EQ(list->model()->rowCount(), count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(testing::Row(list, i), rows[static_cast<std::size_t>(i)].cells) << count << "/" << i;
            EXPECT_EQ(list->topLevelItem(i)->data(0, Qt::UserRole), rows[static_cast<std::size_t>(i)].data);
            // The view knows every row where it is, so that it paints and hits the new ones.
            const QRect rect = list->visualItemRect(list->topLevelItem(i));
            EXPECT_TRUE(rect.isValid()) << count << "/" << i;
            EXPECT_EQ(list->itemAt(rect.center()), list->topLevelItem(i));
        }
    }
}

TEST_F(WindowLookTest, TheListWithTheFocusShowsItAndTheOthersKeepTheirSelection) {
    MakeDatabases("create table T(a int, b int);", "create table T(a int, b int);");
    Open();
    window->lvTables->SelectRow(0);
    window->lvTablesClick(window->lvTables);
    ShowActive();
    const auto selection = [](TListView* list) {
        const QImage row = RowImage(list, 0);
        return row.pixelColor(row.width() - 4, row.height() / 2); // the empty end of the row
    };
    const QColor unselected = window->lvDB1->palette().color(QPalette::Base);

    window->lvTables->setFocus();
    ASSERT_TRUE(window->lvTables->hasFocus());
    const QColor focused = selection(window->lvTables);
    const QColor withoutFocus = selection(window->lvDB1);
    EXPECT_GE(Distance(focused, withoutFocus), 60) << "the focus can be seen";
    EXPECT_GE(Distance(withoutFocus, unselected), 60) << "the selection stays highlighted without the focus";
    EXPECT_EQ(selection(window->lvDB2), withoutFocus);

    // Tab moves the focus on, and the look follows it.
    for (TListView* next : {window->lvDB1, window->lvDB2}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(next->hasFocus()) << next->objectName().toStdString();
        for (TListView* list : {window->lvTables, window->lvDB1, window->lvDB2})
            EXPECT_EQ(selection(list), list == next ? focused : withoutFocus)
                << next->objectName().toStdString() << " has the focus, " << list->objectName().toStdString();
    }
}

TEST_F(WindowLookTest, EveryMenuOpensByItsAltKey) {
    ShowActive();
    const std::pair<QMenu*, Qt::Key> menus[] = {{window->Bestand1, Qt::Key_B},
                                                {window->Database11, Qt::Key_D},
                                                {window->Database21, Qt::Key_A},
                                                {window->Acties1, Qt::Key_C}};
    for (const auto& [menu, key] : menus) {
        ASSERT_FALSE(menu->isVisible());
        QTest::keyClick(window.get(), key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000))
            << menu->objectName().toStdString();
        // Escape closes the menu, a second one leaves the menu bar.
        QTest::keyClick(menu, Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([menu] { return !menu->isVisible(); }, 2000));
    }
}

TEST(QtTranslationsTest, FileChooserAndStandardButtonsSpeakDutch) {
    QTranslator* translator = InstallQtTranslations(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is one of the packages";
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove('&'), "Annuleren");

    QFileDialog chooser(nullptr, "Databasebestand kiezen");
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    const auto* lookIn = chooser.findChild<QLabel*>("lookInLabel");
    ASSERT_NE(lookIn, nullptr);
    EXPECT_NE(lookIn->text(), "Look in:");
    EXPECT_EQ(lookIn->text(), QCoreApplication::translate("QFileDialog", "Look in:"));
    const auto* box = chooser.findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text().remove('&'), "Annuleren");

    QCoreApplication::removeTranslator(translator);
    delete translator;
}

// At twice the pixel density the window is the same layout in twice the pixels, its width fixed with
// it, and its pictures are drawn for the density, not enlarged. Runs in a copy of this test started
// with QT_SCALE_FACTOR=2.
class ScaledWindowTest : public WindowFixture {};

TEST_F(ScaledWindowTest, LayoutAndPicturesScaleAsOnePiece) {
    if (!qEnvironmentVariableIsSet(ScaledChild)) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(ScaledChild, "1");
        environment.insert("QT_SCALE_FACTOR", "2");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QString::fromStdString(TUtility::GetExeName()),
                    {"--gtest_filter=ScaledWindowTest.*:WindowLookTest.EveryGlyph*"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString output = QString::fromUtf8(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 2 tests")) << output.toStdString();
        return;
    }
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_EQ(window->devicePixelRatio(), 2.0);
    EXPECT_EQ(window->width(), 714);
    EXPECT_EQ(window->maximumWidth(), 714);
    EXPECT_EQ(window->lvDB1->geometry(), QRect(165, 4, 273, 277));
    const QImage picture = window->grab().toImage();
    EXPECT_EQ(picture.width(), 2 * 714);

    // A picture drawn for the density has detail inside its 2 by 2 blocks; an enlarged one has none.
    for (QToolButton* button : {window->ToolButton1, window->ToolButton2, window->ToolButton6}) {
        const QImage icon = button->icon().pixmap(QSize(24, 24), 2.0).toImage();
        ASSERT_EQ(icon.size(), QSize(48, 48)) << button->objectName().toStdString();
        int detailed = 0;
        for (int y = 0; y < 48; y += 2)
            for (int x = 0; x < 48; x += 2)
                detailed +=
                    icon.pixel(x, y) != icon.pixel(x + 1, y + 1) || icon.pixel(x, y) != icon.pixel(x + 1, y);
        EXPECT_GT(detailed, 48) << button->objectName().toStdString();
    }
}

} // namespace
} // namespace korvista
