#include "app/connection_dialog.h"
#include "app/connection_dialog_model.h"
#include "app/ui_seam.h"
#include "schema/connection_string.h"
#include "support/errors.h"
#include "window_test_support.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QAbstractItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>

namespace korvista {
namespace {

using ::testing::HasSubstr;

// ---------------------------------------------------------------------------------------------
// The model alone

struct ProviderCase {
    const char* label;
    const char* text;
    TProviderKind kind;
    const char* name;
};

// Keeps the discovered test names short and stable.
void PrintTo(const ProviderCase& c, std::ostream* os) {
    *os << c.label;
}

class ModelProviderTest : public ::testing::TestWithParam<ProviderCase> {};

TEST_P(ModelProviderTest, ReadsTheProviderFromTheKeys) {
    const TConnectionModel model(GetParam().text);
    EXPECT_EQ(model.Provider(), (TProviderChoice{GetParam().kind, GetParam().name}));
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ModelProviderTest,
    ::testing::Values(
        ProviderCase{"sqlite", "Provider=SQLite;Data Source=/a.db", TProviderKind::pkSqlite, ""},
        ProviderCase{"sqliteLowerCaseWithBlanks", "provider = sqlite ; data source=/a.db",
                     TProviderKind::pkSqlite, ""},
        ProviderCase{"blank", "", TProviderKind::pkSqlite, ""},
        ProviderCase{"driver", "Driver={PostgreSQL Unicode};Server=h", TProviderKind::pkOdbcDriver,
                     "PostgreSQL Unicode"},
        ProviderCase{"dataSource", "DSN=pg;Uid=u", TProviderKind::pkOdbcDataSource, "pg"},
        ProviderCase{"odbcProviderWithDataSource", "Provider=ODBC;DSN=pg", TProviderKind::pkOdbcDataSource,
                     "pg"},
        // the driver manager takes whichever comes first
        ProviderCase{"dataSourceBeforeDriver", "DSN=a;Driver=b", TProviderKind::pkOdbcDataSource, "a"},
        ProviderCase{"driverBeforeDataSource", "Driver=b;DSN=a", TProviderKind::pkOdbcDriver, "b"},
        ProviderCase{"foreignProvider", "Provider=SQLOLEDB;Data Source=srv", TProviderKind::pkOther,
                     "SQLOLEDB"},
        ProviderCase{"neitherDriverNorDataSource", "FILEDSN=/x.dsn", TProviderKind::pkOther, ""}));

TEST(ConnectionModel, ComposesTheSqliteString) {
    TConnectionModel model("");
    model.SetValue(TConnectionModel::kDataSource, "/data/my db.sqlite");
    EXPECT_EQ(model.Compose(), "Provider=SQLite;Data Source=/data/my db.sqlite");
}

TEST(ConnectionModel, ComposesADriverStringInTheUsualOrder) {
    TConnectionModel model("");
    model.SelectProvider({TProviderKind::pkOdbcDriver, "PostgreSQL Unicode"});
    model.SetValue(TConnectionModel::kPassword, "geheim");
    model.SetValue(TConnectionModel::kUser, "jan");
    model.SetValue(TConnectionModel::kDatabase, "voorraad");
    model.SetValue(TConnectionModel::kServer, "db.example");
    model.SetValue(TConnectionModel::kPort, "5432");
    EXPECT_EQ(model.Compose(),
              "Driver=PostgreSQL Unicode;Server=db.example;Port=5432;Database=voorraad;Uid=jan;"
              "Pwd=geheim");
}

TEST(ConnectionModel, ValuesWithSeparatorsSurviveParsingBack) {
    TConnectionModel model("");
    model.SelectProvider({TProviderKind::pkOdbcDriver, "X"});
    model.SetValue(TConnectionModel::kPassword, "a;b}c");
    model.SetValue(TConnectionModel::kUser, " spatie");
    const ConnectionString parsed = ConnectionString::Parse(model.Compose());
    EXPECT_EQ(parsed.Get("Pwd"), "a;b}c");
    EXPECT_EQ(parsed.Get("Uid"), " spatie");
}

TEST(ConnectionModel, EmptyFieldRemovesItsKey) {
    TConnectionModel model("Driver={X};Server=s;Port=1");
    model.SetValue(TConnectionModel::kPort, "");
    EXPECT_EQ(model.Compose(), "Driver=X;Server=s");
}

TEST(ConnectionModel, SwitchingProvidersKeepsUnknownKeysAndBringsBackPageValues) {
    TConnectionModel model("Driver={X};Server=s;Uid=u;Pwd=p;sslmode=require");

    model.SelectProvider({TProviderKind::pkSqlite, {}});
    EXPECT_EQ(model.Compose(), "Provider=SQLite;sslmode=require");
    model.SetValue(TConnectionModel::kDataSource, "/a.db");

    model.SelectProvider({TProviderKind::pkOdbcDataSource, "pg"});
    EXPECT_EQ(model.Compose(), "DSN=pg;Uid=u;Pwd=p;sslmode=require");

    model.SelectProvider({TProviderKind::pkOdbcDriver, "X"});
    EXPECT_EQ(model.Compose(), "Driver=X;Server=s;Uid=u;Pwd=p;sslmode=require");

    model.SelectProvider({TProviderKind::pkSqlite, {}});
    EXPECT_EQ(model.Value(TConnectionModel::kDataSource), "/a.db");
}

TEST(ConnectionModel, KeepsAnOdbcProviderKeyOnlyWhenTheStringHadOne) {
    TConnectionModel with("Provider=ODBC;DSN=a");
    with.SelectProvider({TProviderKind::pkSqlite, {}});
    with.SelectProvider({TProviderKind::pkOdbcDriver, "b"});
    EXPECT_EQ(with.Compose(), "Provider=ODBC;Driver=b");

    TConnectionModel without("DSN=a");
    without.SelectProvider({TProviderKind::pkSqlite, {}});
    without.SelectProvider({TProviderKind::pkOdbcDriver, "b"});
    EXPECT_EQ(without.Compose(), "Driver=b");
}

TEST(ConnectionModel, ReplacingEntriesDropsRowsWithoutKey) {
    TConnectionModel model("");
    model.ReplaceEntries({{"Driver", "X"}, {"", "los"}, {"  ", "ook los"}, {"Extra", ""}});
    EXPECT_EQ(model.Provider(), (TProviderChoice{TProviderKind::pkOdbcDriver, "X"}));
    EXPECT_EQ(model.Compose(), "Driver=X;Extra=");
}

TEST(ConnectionModel, UnreadableStringIsAnError) {
    EXPECT_THROW(TConnectionModel("Driver={open"), Error);
}

// ---------------------------------------------------------------------------------------------
// The dialog, driven without a modal loop

OdbcDriverListing FakeListing() {
    return {{{"PostgreSQL Unicode", "PostgreSQL"}, {"MariaDB Unicode", ""}},
            {{"voorraad", "PostgreSQL Unicode"}}};
}

class ConnectionDialogTest : public testing::UiFixture {
protected:
    std::unique_ptr<TfrmConnection> Open(const std::string& initial,
                                         OdbcDriverListingSource listing = FakeListing) {
        return std::make_unique<TfrmConnection>(nullptr, initial, listing);
    }

    template <typename T> static T* Find(QWidget* dialog, const char* name) {
        T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            ADD_FAILURE() << "no widget " << name;
        return widget;
    }

    static QTreeWidgetItem* ProviderItem(QWidget* dialog, const QString& caption) {
        auto* tree = Find<QTreeWidget>(dialog, "tvProviders");
        const auto items = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
        for (QTreeWidgetItem* item : items) {
            if (item->flags() & Qt::ItemIsSelectable)
                return item;
        }
        ADD_FAILURE() << "no provider " << caption.toStdString();
        return nullptr;
    }

    static void Choose(QWidget* dialog, const QString& caption) {
        Find<QTreeWidget>(dialog, "tvProviders")->setCurrentItem(ProviderItem(dialog, caption));
    }

    static QString Current(QWidget* dialog) {
        const QTreeWidgetItem* item = Find<QTreeWidget>(dialog, "tvProviders")->currentItem();
        return item ? item->text(0) : QString();
    }

    static int RowOf(QTableWidget* table, const QString& key) {
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->item(row, 0)->text() == key)
                return row;
        }
        return -1;
    }
};

TEST_F(ConnectionDialogTest, OpensASqliteStringOnItsFields) {
    auto dialog = Open("Provider=SQLite;Data Source=/srv/data/a.db");
    EXPECT_EQ(Find<QTabWidget>(dialog.get(), "tcPages")->currentIndex(), 1);
    EXPECT_EQ(Find<QStackedWidget>(dialog.get(), "pcConnection")->currentWidget()->objectName(), "pgSqlite");
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtDataSource")->text(), "/srv/data/a.db");
    EXPECT_EQ(Current(dialog.get()), "SQLite");
}

TEST_F(ConnectionDialogTest, OpensDriverAndDataSourceStringsOnTheirFields) {
    auto driver = Open("Driver={MariaDB Unicode};Server=db;Port=3306;Database=d;Uid=u;Pwd=p");
    EXPECT_EQ(Find<QStackedWidget>(driver.get(), "pcConnection")->currentWidget()->objectName(), "pgDriver");
    EXPECT_EQ(Current(driver.get()), "MariaDB Unicode");
    EXPECT_EQ(Find<QLineEdit>(driver.get(), "edtServer")->text(), "db");
    EXPECT_EQ(Find<QLineEdit>(driver.get(), "edtPort")->text(), "3306");
    EXPECT_EQ(Find<QLineEdit>(driver.get(), "edtDatabase")->text(), "d");
    EXPECT_EQ(Find<QLineEdit>(driver.get(), "edtUser")->text(), "u");
    EXPECT_EQ(Find<QLineEdit>(driver.get(), "edtPassword")->text(), "p");
    EXPECT_EQ(Find<QLineEdit>(driver.get(), "edtPassword")->echoMode(), QLineEdit::Password);

    auto source = Open("DSN=voorraad;Uid=jan");
    EXPECT_EQ(Find<QStackedWidget>(source.get(), "pcConnection")->currentWidget()->objectName(),
              "pgDataSource");
    EXPECT_EQ(Current(source.get()), "voorraad");
    EXPECT_EQ(Find<QLineEdit>(source.get(), "edtDsnUser")->text(), "jan");
}

TEST_F(ConnectionDialogTest, ADriverThisMachineLacksStaysChosen) {
    auto dialog = Open("Driver={Oracle 19};Server=x");
    EXPECT_EQ(Current(dialog.get()), "Oracle 19");
    dialog->accept();
    EXPECT_EQ(dialog->Result(), "Driver=Oracle 19;Server=x");
}

TEST_F(ConnectionDialogTest, ComposesADriverStringFromTheFields) {
    auto dialog = Open("");
    EXPECT_EQ(Find<QTabWidget>(dialog.get(), "tcPages")->currentIndex(), 0);
    Choose(dialog.get(), "PostgreSQL Unicode");
    EXPECT_EQ(Find<QStackedWidget>(dialog.get(), "pcConnection")->currentWidget()->objectName(), "pgDriver");
    Find<QLineEdit>(dialog.get(), "edtServer")->setText("localhost");
    Find<QLineEdit>(dialog.get(), "edtPort")->setText("5432");
    Find<QLineEdit>(dialog.get(), "edtDatabase")->setText("korvista");
    Find<QLineEdit>(dialog.get(), "edtUser")->setText("jan");
    Find<QLineEdit>(dialog.get(), "edtPassword")->setText("ge;heim");
    dialog->accept();
    EXPECT_EQ(dialog->Result(),
              "Driver=PostgreSQL Unicode;Server=localhost;Port=5432;Database=korvista;Uid=jan;Pwd={ge;heim}");
}

TEST_F(ConnectionDialogTest, ComposesASqliteStringThroughTheFileChooser) {
    auto dialog = Open("DSN=voorraad");
    Choose(dialog.get(), "SQLite");
    QString offered = "unset";
    dialog->SetFileChooser([&](QWidget*, const QString& current) {
        offered = current;
        return QStringLiteral("/tmp/gekozen.db");
    });
    Find<QPushButton>(dialog.get(), "btnBrowse")->click();
    EXPECT_EQ(offered, "");
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtDataSource")->text(), "/tmp/gekozen.db");

    // Cancelling the chooser leaves the field alone.
    dialog->SetFileChooser([](QWidget*, const QString&) { return QString(); });
    Find<QPushButton>(dialog.get(), "btnBrowse")->click();
    dialog->accept();
    EXPECT_EQ(dialog->Result(), "Provider=SQLite;Data Source=/tmp/gekozen.db");
}

TEST_F(ConnectionDialogTest, UnknownKeysSurvivePageSwitches) {
    auto dialog = Open("Provider=ODBC;Driver={PostgreSQL Unicode};Server=s;Pwd=p;sslmode=require");
    Choose(dialog.get(), "SQLite");
    Find<QLineEdit>(dialog.get(), "edtDataSource")->setText("/a.db");
    auto* table = Find<QTableWidget>(dialog.get(), "tblAll");
    EXPECT_GE(RowOf(table, "sslmode"), 0);
    EXPECT_EQ(RowOf(table, "Server"), -1);
    Choose(dialog.get(), "voorraad");
    Choose(dialog.get(), "PostgreSQL Unicode");
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtServer")->text(), "s");
    dialog->accept();
    EXPECT_EQ(dialog->Result(), "Provider=ODBC;Driver=PostgreSQL Unicode;Server=s;Pwd=p;sslmode=require");
}

TEST_F(ConnectionDialogTest, EditsOnTheAllPageFlowBack) {
    auto dialog = Open("Driver={PostgreSQL Unicode};Server=oud");
    auto* table = Find<QTableWidget>(dialog.get(), "tblAll");
    ASSERT_EQ(table->rowCount(), 2);

    table->item(RowOf(table, "Server"), 1)->setText("nieuw");
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtServer")->text(), "nieuw");

    Find<QPushButton>(dialog.get(), "btnAddKey")->click();
    ASSERT_EQ(table->rowCount(), 3);
    table->item(2, 0)->setText("Port");
    table->item(2, 1)->setText("5433");
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtPort")->text(), "5433");

    // Renaming the driver on the table moves the provider page along.
    table->item(RowOf(table, "Driver"), 1)->setText("MariaDB Unicode");
    EXPECT_EQ(Current(dialog.get()), "MariaDB Unicode");

    table->setCurrentCell(RowOf(table, "Server"), 0);
    Find<QPushButton>(dialog.get(), "btnRemoveKey")->click();
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtServer")->text(), "");

    // Field edits show on the table.
    Find<QLineEdit>(dialog.get(), "edtDatabase")->setText("d");
    EXPECT_EQ(table->item(RowOf(table, "Database"), 1)->text(), "d");

    dialog->accept();
    EXPECT_EQ(dialog->Result(), "Driver=MariaDB Unicode;Port=5433;Database=d");
}

TEST_F(ConnectionDialogTest, TheAllPageMasksPasswordsAndStillEditsThem) {
    auto dialog = Open("Driver={PostgreSQL Unicode};Server=s;Uid=u;Pwd=geheim;"
                       "Extended Properties=\"DSN=a;PWD=geheim\"");
    auto* table = Find<QTableWidget>(dialog.get(), "tblAll");
    const auto shown = [&] {
        QString all;
        for (int row = 0; row < table->rowCount(); ++row) {
            for (int column = 0; column < 2; ++column)
                all += table->model()->index(row, column).data(Qt::DisplayRole).toString() + "|";
        }
        return all;
    };
    const QChar mask(static_cast<char16_t>(
        table->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, table)));
    EXPECT_FALSE(shown().contains("geheim")) << shown().toStdString();
    EXPECT_EQ(table->item(RowOf(table, "Pwd"), 1)->text(), QString(6, mask));
    EXPECT_EQ(table->item(RowOf(table, "Extended Properties"), 1)->text(), "DSN=a;PWD=***");
    EXPECT_EQ(table->item(RowOf(table, "Server"), 1)->text(), "s");

    // Editing a masked value happens in a password field that starts from the real value.
    const QModelIndex index = table->model()->index(RowOf(table, "Pwd"), 1);
    QAbstractItemDelegate* delegate = table->itemDelegateForColumn(1);
    std::unique_ptr<QWidget> editor(delegate->createEditor(table->viewport(), QStyleOptionViewItem(), index));
    auto* edit = qobject_cast<QLineEdit*>(editor.get());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    delegate->setEditorData(edit, index);
    EXPECT_EQ(edit->text(), "geheim");
    edit->setText("nieuw1");
    delegate->setModelData(edit, table->model(), index);
    EXPECT_EQ(Find<QLineEdit>(dialog.get(), "edtPassword")->text(), "nieuw1");
    EXPECT_EQ(table->item(RowOf(table, "Pwd"), 1)->text(), QString(6, mask));

    // The password field of the other page shows up masked, and renaming a key moves the mask along.
    Find<QLineEdit>(dialog.get(), "edtPassword")->setText("nieuw2");
    EXPECT_FALSE(shown().contains("nieuw")) << shown().toStdString();
    table->item(RowOf(table, "Server"), 0)->setText("Password");
    EXPECT_EQ(table->item(RowOf(table, "Password"), 1)->text(), QString(1, mask));
    table->item(RowOf(table, "Pwd"), 0)->setText("Note");
    EXPECT_EQ(table->item(RowOf(table, "Note"), 1)->text(), "nieuw2");

    dialog->accept();
    EXPECT_EQ(dialog->Result(), "Driver=PostgreSQL Unicode;Password=s;Uid=u;Note=nieuw2;"
                                "Extended Properties={DSN=a;PWD=geheim}");
}

TEST_F(ConnectionDialogTest, TheWarningAboutAnUnreadableStringQuotesNoPassword) {
    for (const char* initial : {"Server=\"h;Uid=u;Pwd=geheim", "Uid=u;Pwd=geh;eim"}) {
        auto dialog = Open(initial);
        const QString warning = Find<QLabel>(dialog.get(), "lblWarning")->text();
        EXPECT_THAT(warning.toStdString(), HasSubstr("Invalid connection string"));
        for (const char* piece : {"geheim", "geh", "eim"})
            EXPECT_FALSE(warning.contains(piece)) << warning.toStdString();
    }
}

TEST_F(ConnectionDialogTest, CancelGivesBackTheInitialStringUnchanged) {
    const std::string initial = " provider = SQLite ; data source = /a.db ; ";
    auto dialog = Open(initial);
    Find<QLineEdit>(dialog.get(), "edtDataSource")->setText("/b.db");
    dialog->reject();
    EXPECT_EQ(dialog->Result(), initial);
}

TEST_F(ConnectionDialogTest, AnUnreadableStringOpensAfreshAndCancelKeepsIt) {
    const std::string initial = "Driver={PostgreSQL Unicode;Server=x";
    auto dialog = Open(initial);
    const QLabel* warning = Find<QLabel>(dialog.get(), "lblWarning");
    EXPECT_FALSE(warning->isHidden());
    EXPECT_TRUE(warning->text().startsWith("De huidige verbindingsreeks kon niet worden gelezen; "
                                           "Annuleren laat haar ongewijzigd.\n"))
        << warning->text().toStdString();
    EXPECT_EQ(Current(dialog.get()), "SQLite");
    dialog->reject();
    EXPECT_EQ(dialog->Result(), initial);

    auto readable = Open("DSN=voorraad");
    EXPECT_TRUE(Find<QLabel>(readable.get(), "lblWarning")->isHidden());
}

TEST_F(ConnectionDialogTest, FailingOdbcEnumerationStillOffersSqlite) {
    auto dialog = Open("", []() -> OdbcDriverListing { throw Error("driver manager weg"); });
    auto* tree = Find<QTreeWidget>(dialog.get(), "tvProviders");
    // The driver manager's words stand on their own line.
    const auto notes = tree->findItems("ODBC is niet beschikbaar:", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(notes.size(), 1);
    const QTreeWidgetItem* group = notes[0]->parent();
    ASSERT_NE(group, nullptr);
    const int at = group->indexOfChild(notes[0]);
    ASSERT_LT(at + 1, group->childCount());
    EXPECT_EQ(group->child(at + 1)->text(0), "driver manager weg");
    Choose(dialog.get(), "SQLite");
    EXPECT_EQ(Current(dialog.get()), "SQLite");
}

class ConnectionTestButtonTest : public ConnectionDialogTest {
protected:
    QString CreateDatabase() {
        const QString path = dir_.filePath("proef.db");
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE t (id INTEGER)", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        return path;
    }
    QTemporaryDir dir_;
};

TEST_F(ConnectionTestButtonTest, ReportsSuccessForAnExistingDatabase) {
    auto dialog = Open("");
    Find<QLineEdit>(dialog.get(), "edtDataSource")->setText(CreateDatabase());
    Find<QPushButton>(dialog.get(), "btnTest")->click();
    ASSERT_EQ(ui->boxes.size(), 1U);
    EXPECT_FALSE(ui->boxes[0].error);
    EXPECT_EQ(ui->boxes[0].text, "Verbinding geslaagd.");
    EXPECT_TRUE(Find<QPushButton>(dialog.get(), "btnTest")->isEnabled());
}

TEST_F(ConnectionTestButtonTest, ReportsTheProvidersMessageOnFailure) {
    const QString missing = dir_.filePath("bestaat-niet.db");
    auto dialog = Open("Provider=SQLite;Data Source=" + missing.toStdString());
    Find<QPushButton>(dialog.get(), "btnTest")->click();
    ASSERT_EQ(ui->boxes.size(), 1U);
    EXPECT_TRUE(ui->boxes[0].error);
    EXPECT_THAT(ui->boxes[0].text.toStdString(),
                HasSubstr("unable to open database file: " + missing.toStdString()));
    EXPECT_TRUE(ui->boxes[0].text.startsWith("Verbinding mislukt:\n"))
        << "the provider's words on a line of their own";
    EXPECT_FALSE(QFile::exists(missing)) << "testing must not create the database";

    // A non-database file fails as well, with SQLite's own words.
    const QString text = dir_.filePath("tekst.db");
    std::ofstream(text.toStdString()) << "dit is geen database, maar wel lang genoeg om gelezen te worden\n";
    Find<QLineEdit>(dialog.get(), "edtDataSource")->setText(text);
    Find<QPushButton>(dialog.get(), "btnTest")->click();
    ASSERT_EQ(ui->boxes.size(), 2U);
    EXPECT_TRUE(ui->boxes[1].error);
    EXPECT_THAT(ui->boxes[1].text.toStdString(), HasSubstr("not a database"));
}

TEST_F(ConnectionTestButtonTest, ReportsAnUnknownProvider) {
    auto dialog = Open("Provider=SQLOLEDB;Data Source=srv");
    EXPECT_EQ(Find<QStackedWidget>(dialog.get(), "pcConnection")->currentWidget()->objectName(), "pgOther");
    Find<QPushButton>(dialog.get(), "btnTest")->click();
    ASSERT_EQ(ui->boxes.size(), 1U);
    EXPECT_THAT(ui->boxes[0].text.toStdString(), HasSubstr("Provider cannot be found"));
}

} // namespace
} // namespace korvista
