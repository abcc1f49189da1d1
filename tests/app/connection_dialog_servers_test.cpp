// The connection dialog composing, testing and reopening strings for the real PostgreSQL and MariaDB
// test servers, through the ODBC drivers installed on this machine.

#include "app/connection_dialog.h"
#include "app/ui_seam.h"
#include "odbc/test_servers_helpers.h"
#include "schema/ado_connection.h"
#include "window_test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace korvista {
namespace {

using testservers::Engine;

class DialogServers : public testing::UiFixture, public ::testing::WithParamInterface<Engine> {
protected:
    static QLineEdit* Field(QWidget* dialog, const char* name) {
        auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
        EXPECT_NE(edit, nullptr) << name;
        return edit;
    }

    // Chooses the server's driver on the provider page and fills the connection page as a user would.
    static void Fill(TfrmConnection& dialog, const testservers::ServerInfo& server,
                     const std::string& password) {
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("tvProviders"));
        ASSERT_NE(tree, nullptr);
        const auto items =
            tree->findItems(QString::fromStdString(server.driver), Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_FALSE(items.isEmpty()) << "driver " << server.driver << " is not offered";
        tree->setCurrentItem(items.first());
        Field(&dialog, "edtServer")->setText(QString::fromStdString(server.host));
        Field(&dialog, "edtPort")->setText(QString::fromStdString(server.port));
        Field(&dialog, "edtDatabase")->setText(QString::fromStdString(server.database));
        Field(&dialog, "edtUser")->setText(QString::fromStdString(server.user));
        Field(&dialog, "edtPassword")->setText(QString::fromStdString(password));
    }

    void ClickTest(TfrmConnection& dialog) {
        auto* button = dialog.findChild<QPushButton*>(QStringLiteral("btnTest"));
        ASSERT_NE(button, nullptr);
        button->click();
    }
};

TEST_P(DialogServers, ComposesAWorkingStringThatReopensOnItsFields) {
    KORVISTA_REQUIRE_SERVER(GetParam());
    const testservers::ServerInfo server = testservers::Server(GetParam());

    TfrmConnection dialog(nullptr, "");
    Fill(dialog, server, server.password);
    ClickTest(dialog);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_FALSE(ui->boxes[0].error) << ui->boxes[0].text.toStdString();
    EXPECT_EQ(ui->boxes[0].text, "Verbinding geslaagd.");
    dialog.accept();
    const std::string composed = dialog.Result();

    TADOConnection connection;
    connection.SetConnectionString(composed);
    EXPECT_NO_THROW(connection.Open()) << composed;
    EXPECT_TRUE(connection.Connected());

    TfrmConnection reopened(nullptr, composed);
    EXPECT_EQ(Field(&reopened, "edtServer")->text().toStdString(), server.host);
    EXPECT_EQ(Field(&reopened, "edtPort")->text().toStdString(), server.port);
    EXPECT_EQ(Field(&reopened, "edtDatabase")->text().toStdString(), server.database);
    EXPECT_EQ(Field(&reopened, "edtUser")->text().toStdString(), server.user);
    EXPECT_EQ(Field(&reopened, "edtPassword")->text().toStdString(), server.password);
    reopened.accept();
    EXPECT_EQ(reopened.Result(), composed) << "reopening and confirming changes nothing";
}

TEST_P(DialogServers, AWrongPasswordIsReportedWithTheDriversMessage) {
    KORVISTA_REQUIRE_SERVER(GetParam());
    const testservers::ServerInfo server = testservers::Server(GetParam());

    TfrmConnection dialog(nullptr, "");
    Fill(dialog, server, server.password + "-wrong");
    ClickTest(dialog);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_TRUE(ui->boxes[0].error);
    const QString expected = GetParam() == Engine::PostgreSQL
                                 ? QStringLiteral("password authentication failed")
                                 : QStringLiteral("Access denied");
    EXPECT_TRUE(ui->boxes[0].text.contains(expected)) << ui->boxes[0].text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, DialogServers, ::testing::Values(Engine::PostgreSQL, Engine::MariaDB),
                         [](const auto& info) { return std::string(testservers::EngineName(info.param)); });

} // namespace
} // namespace korvista
